// SPDX-License-Identifier: MIT
// scenes/scene2.cpp — two big textured planes tumbling around the viewer and, in front, a
// translucent mesh tumbling with them that doubles its size on every second band of eight
// rows. Sets the 90 degree projection; leaves depth test off, blending on, slot 0 bound and
// colour (1, 1, 1, 0.25).
#include "engine/gl.h"
#include "engine/meshes/meshes.h"
#include "engine/primitives.h"
#include "engine/projection.h"
#include "engine/scene.h"
#include "engine/timeline.h"
#include "scenes/scene2.h"

float s2SpinX = 0.0f; // degrees; steps of 0.5 are exact, so 720 frames give exactly 360
float s2SpinY = 0.0f; // degrees
float s2SpinZ = 0.0f; // degrees

namespace {

// One batch: the upper plane, then the lower, each 140 x 140 units and 5 from the viewer.
const QuadVertex kPlanes[8] = {
    {5, 10, -70, 5, -70},  {5, 5, -70, 5, 70},   {10, 5, 70, 5, 70},   {10, 10, 70, 5, -70},
    {10, 10, -70, -5, -70}, {5, 10, 70, -5, -70}, {5, 5, 70, -5, 70},  {10, 5, -70, -5, 70},
};

constexpr int kPulseBands = 16;
constexpr int kRowsPerBand = 8;

void rotateBySpin()
{
    glRotatef(s2SpinX, 1, 0, 0);
    glRotatef(s2SpinY, 0, 1, 0);
    glRotatef(s2SpinZ, 0, 0, 1);
}

void drawPlanes()
{
    glLoadIdentity(); // centred on the viewer: no translation
    glBindTexture(GL_TEXTURE_2D, TextureTable[19]);
    rotateBySpin();
    glBegin(GL_QUADS);
    sendVertices(kPlanes);
    glEnd();
}

// Band k holds the rows strictly between 8k and 8k + 8; odd bands double the mesh. Each
// bound reads the row afresh, so a frame straddling a band edge may scale by nothing.
void pulseFromRow()
{
    for (int k = 0; k < kPulseBands; ++k) {
        const int low = kRowsPerBand * k;
        if (FMUSIC_GetRow(song) > low && FMUSIC_GetRow(song) < low + kRowsPerBand) {
            const GLfloat factor = (k % 2 == 1) ? 2.0f : 1.0f;
            glScalef(factor, factor, factor);
        }
    }
}

void drawPulsedMesh()
{
    glLoadIdentity();
    glTranslatef(0, 0, -15);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_2D, TextureTable[0]);
    rotateBySpin();
    glColor4f(1, 1, 1, 0.25f);
    pulseFromRow(); // scales the matrix rebuilt above: nothing carries into the next frame
    drawMesh(MeshC);
}

} // namespace

bool drawScene2()
{
    resizeGLScene(90, 640, 480);
    glFogfv(GL_FOG_COLOR, FogColour);
    glFogf(GL_FOG_DENSITY, 0.05f);
    glClearColor(0, 0, 0, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(1, 1, 1, 255.25f); // clamped by GL; blending is off for the planes anyway
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);

    drawPlanes();
    drawPulsedMesh();

    step(s2SpinX, 0.5);
    step(s2SpinY, 0.5);
    step(s2SpinZ, 0.5);
    Sleep(10);
    return true;
}
