// SPDX-License-Identifier: MIT
// scenes/scene8.cpp — closing titles: a circling column of faint cyan squares, the
// wireframe ring swinging in depth, the closing picture and three title strips. Sets no
// projection: it draws with whatever the scene before it left. Leaves fill on both faces,
// blending on, depth test off, slot 4 bound and the high strip's model-view.
#include <cmath>

#include "engine/gl.h"
#include "engine/meshes/meshes.h"
#include "engine/music.h"
#include "engine/primitives.h"
#include "engine/scene.h"
#include "scenes/scene8.h"

float s8Phase = 0.0f;       // phase units; +0.5 a frame, +0.005 per square: about 1.5 a frame
float s8Spin = 0.0f;        // degrees, the ring's turn
float s8MidStripX = 6.0f;   // x of the mid strip; moves every frame, whatever the order
float s8ColumnY = -6.0f;    // y of the upright strip; moves past order 3
float s8HighStripX = -6.0f; // x of the high strip; moves past order 4

namespace {

// The z of each square is its offset q along the column, so only x and y come from here.
const QuadVertex kSquare[4] = {
    {0, 0, -1, -1, 0},
    {1, 0, 1, -1, 0},
    {1, 1, 1, 1, 0},
    {0, 1, -1, 1, 0},
};
const QuadVertex kClosingPicture[4] = {
    {0, 0, -2.25f, -1.67f, 0},
    {1, 0, 2.25f, -1.67f, 0},
    {1, 1, 2.25f, 1.67f, 0},
    {0, 1, -2.25f, 1.67f, 0},
};
const QuadVertex kUprightStrip[4] = { // texture not turned: squeezed sideways
    {0, 0, -0.4f, -3.5f, 0},
    {1, 0, 0.4f, -3.5f, 0},
    {1, 1, 0.4f, 3.5f, 0},
    {0, 1, -0.4f, 3.5f, 0},
};

constexpr double kSquareStep = 0.05; // column offset between squares
constexpr double kColumnLength = 10; // the double sum stops the loop: exactly 200 squares

void drawQuad(const QuadVertex (&quad)[4], float z)
{
    glBegin(GL_QUADS);
    for (const QuadVertex& v : quad) {
        glTexCoord2f(v.s, v.t);
        glVertex3f(v.x, v.y, v.z + z);
    }
    glEnd();
}

// Drawn back to front without depth test; each square advances the phase a little, so the
// column bends by about 1.4 degrees of the circle along its length.
void drawSquareColumn()
{
    float q = 0.0f; // offset along the column
    double next;
    do {
        const double phase = static_cast<double>(s8Phase) + 0.005;
        s8Phase = store(phase);
        const float x = store(0.5 * std::cos(phase * kPhaseScale));
        const float y = oscillate(phase, 0.5, 0); // both taken on the unrounded sum
        glLoadIdentity();
        glTranslatef(x, y, -4);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBindTexture(GL_TEXTURE_2D, TextureTable[0]); // tarvel
        glColor4f(0, 1, 1, 0.05f);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        drawQuad(kSquare, q);
        next = static_cast<double>(q) + kSquareStep;
        q = store(next);
    } while (next < kColumnLength);
}

void drawRing(float depth)
{
    glLoadIdentity();
    glTranslatef(0, -1, depth);
    glRotatef(-90, 1, 0, 0); // lies flat, turning about the vertical axis
    glRotatef(s8Spin, 0, 0, 1);
    glBindTexture(GL_TEXTURE_2D, 0); // plain colour
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glColor4f(0, 0, 1, 0.4f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    drawMesh(MeshA);
}

void drawClosingPicture()
{
    glLoadIdentity();
    glTranslatef(0, 0, -4);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); // the picture and strips are always filled
    glBindTexture(GL_TEXTURE_2D, TextureTable[17]); // fenro
    glColor4f(1, 1, 1, 0.1f);
    drawQuad(kClosingPicture, 0);
}

// Each strip is drawn where it stood before this frame's move.
void drawMidStrip()
{
    glLoadIdentity();
    glTranslatef(s8MidStripX, 0, -4);
    step(s8MidStripX, -0.1);
    titleStrip(18); // end
}

void drawUprightStrip()
{
    glLoadIdentity();
    glTranslatef(2, s8ColumnY, -4);
    if (FMUSIC_GetOrder(song) > 3)
        step(s8ColumnY, 0.01);
    glBindTexture(GL_TEXTURE_2D, TextureTable[3]); // style
    glColor4f(1, 1, 1, 0.2f);
    drawQuad(kUprightStrip, 0);
}

void drawHighStrip()
{
    glLoadIdentity();
    glTranslatef(s8HighStripX, 1, -4);
    if (FMUSIC_GetOrder(song) > 4)
        step(s8HighStripX, 0.01);
    titleStrip(4); // lomb
}

} // namespace

bool drawScene8()
{
    glFogfv(GL_FOG_COLOR, FogColour);
    glFogf(GL_FOG_DENSITY, 0.15f);
    glClearColor(0, 0, 0, 0.5f);
    step(s8Phase, 0.5);
    const float s8Depth = store(static_cast<double>(oscillate(s8Phase, 10, -15)) + 0.01); // ring z
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    drawSquareColumn();
    drawRing(s8Depth);
    drawClosingPicture();
    drawMidStrip();
    drawUprightStrip();
    drawHighStrip();

    step(s8Spin, 0.4f); // the float nearest 0.4, widened
    Sleep(10);
    return true;
}
