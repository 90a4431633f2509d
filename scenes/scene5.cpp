// SPDX-License-Identifier: MIT
// scenes/scene5.cpp — the greetings picture fading in under a trail of 200 translucent
// squares whose centre line circles the middle of the view. The picture is drawn with the
// blending the scene before it left. Leaves blending on, depth test off, fill on both faces,
// slot 1 bound, colour (0, 1, 1, 0.05), fog density 0. The only scene that does not sleep.
#include <cmath>

#include "engine/gl.h"
#include "engine/primitives.h"
#include "engine/projection.h"
#include "engine/scene.h"
#include "engine/timeline.h"
#include "scenes/scene5.h"

float s5Fade = 0.0f;       // alpha of the picture, +0.05 a frame, never clamped here
float s5OrbitPhase = 0.0f; // phase units, +0.005 a square, so +1 a frame
float s5TrailDepth = 0.0f; // eye-space units along z of the current square, 0 to 9.95

namespace {

constexpr int kPictureSlot = 11;
constexpr int kTrailSlot = 1;
constexpr double kOrbitRadius = 0.5;
constexpr GLfloat kViewDistance = 4; // the picture and the orbit, in front of the eye

const QuadVertex kPicture[4] = {
    {0, 0, -2.5f, -1.67f, 0},
    {1, 0, 2.5f, -1.67f, 0},
    {1, 1, 2.5f, 1.67f, 0},
    {0, 1, -2.5f, 1.67f, 0},
};

// A 2 by 2 square around its centre; z comes from the trail depth.
const QuadVertex kTrailSquare[4] = {
    {0, 0, -1, -1, 0},
    {1, 0, 1, -1, 0},
    {1, 1, 1, 1, 0},
    {0, 1, -1, 1, 0},
};

// No blend or depth state of its own: what the scene before it left decides how it mixes.
void drawPicture()
{
    glLoadIdentity();
    glTranslatef(0.3f, 0, -kViewDistance);
    glBindTexture(GL_TEXTURE_2D, TextureTable[kPictureSlot]);
    glColor4f(1, 1, 1, s5Fade);
    glBegin(GL_QUADS);
    sendVertices(kPicture);
    glEnd();
}

// Far squares first, each one blended over those behind it; the nearer half lies behind the
// near plane and is clipped, but all are submitted.
void drawTrail()
{
    s5TrailDepth = 0;
    do {
        step(s5OrbitPhase, 0.005);
        const double angle = static_cast<double>(s5OrbitPhase) * kPhaseScale; // radians
        const float x = store(kOrbitRadius * std::cos(angle));
        const float y = store(kOrbitRadius * std::sin(angle));
        glLoadIdentity();
        glTranslatef(x, y, -kViewDistance);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBindTexture(GL_TEXTURE_2D, TextureTable[kTrailSlot]);
        glColor4f(0, 1, 1, 0.05f);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glBegin(GL_QUADS);
        for (const QuadVertex& v : kTrailSquare) {
            glTexCoord2f(v.s, v.t);
            glVertex3f(v.x, v.y, s5TrailDepth);
        }
        glEnd();
        step(s5TrailDepth, 0.05);
    } while (s5TrailDepth < 10); // 32-bit steps of 0.05 reach 10.00002 on the 200th
}

} // namespace

bool drawScene5()
{
    step(s5Fade, 0.05);
    resizeGLScene(45, 640, 480);
    glClearColor(0, 0, 0, 0.5f);
    glFogfv(GL_FOG_COLOR, FogColour);
    glFogf(GL_FOG_DENSITY, 0); // fog stays on; density 0 leaves every fragment unchanged
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    drawPicture();
    drawTrail();
    return true; // no sleep of its own: a scene run beside it (scene 1 early on) paces the frame
}
