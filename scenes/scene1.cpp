// SPDX-License-Identifier: MIT
// scenes/scene1.cpp — the opening titles: a title picture fading over a turning floor and a
// flat blue ring that swing towards and away from the viewer, then three title strips
// gliding through. Sets no projection or polygon mode; leaves depth test off, blending on,
// slot 4 bound and colour (1, 1, 1, 0.2).
#include "engine/gl.h"
#include "engine/meshes/meshes.h"
#include "engine/primitives.h"
#include "engine/scene.h"
#include "engine/timeline.h"
#include "scenes/scene1.h"

float s1Phase = 0.0f;         // phase units; drives the depth of the floor and ring
float s1Spin = 0.0f;          // degrees; the turn of the floor and ring
float s1PictureAlpha = 1.0f;  // alpha of the title picture; fades to just under 0.4
float s1LowStripX = 6.0f;     // eye units; the low strip starts beyond the right edge
float s1ColumnY = -6.0f;      // eye units; the upright strip starts below the bottom edge
float s1HighStripX = -6.0f;   // eye units; the high strip starts beyond the left edge

namespace {

// 140 x 140 units; texture coordinates over 5 units repeat the picture five times an edge.
const QuadVertex kFloor[4] = {
    {10, 10, -70, 0, 70},
    {5, 10, 70, 0, 70},
    {5, 5, 70, 0, -70},
    {10, 5, -70, 0, -70},
};

// Slightly overfills the 45 degree view at depth 4.
const QuadVertex kPicture[4] = {
    {0, 0, -2.25f, -1.67f, 0},
    {1, 0, 2.25f, -1.67f, 0},
    {1, 1, 2.25f, 1.67f, 0},
    {0, 1, -2.25f, 1.67f, 0},
};

// 0.8 wide, 7 high; the picture is squeezed sideways, not turned.
const QuadVertex kColumn[4] = {
    {0, 0, -0.4f, -3.5f, 0},
    {1, 0, 0.4f, -3.5f, 0},
    {1, 1, 0.4f, 3.5f, 0},
    {0, 1, -0.4f, 3.5f, 0},
};

constexpr float kSpinStep = 0.4f; // the step is the 32-bit float nearest 0.4, widened

void drawQuad(const QuadVertex (&quad)[4])
{
    glBegin(GL_QUADS);
    sendVertices(quad);
    glEnd();
}

void drawFloor(float depth)
{
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glTranslatef(0, -1.7f, depth);
    glBindTexture(GL_TEXTURE_2D, TextureTable[0]);
    glRotatef(s1Spin, 0, 1, 0);
    glColor4f(1, 1, 1, 0.4f); // blending is off: the alpha does nothing here
    drawQuad(kFloor);
}

void drawRing(float depth)
{
    glLoadIdentity();
    glTranslatef(0, -1, depth);
    glRotatef(-90, 1, 0, 0); // the ring's z axis becomes the vertical: it lies flat
    glRotatef(s1Spin, 0, 0, 1);
    glBindTexture(GL_TEXTURE_2D, 0); // no picture: the ring shows its plain colour
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glColor4f(0, 0, 1, 0.4f);
    drawMesh(MeshA);
}

void drawPicture()
{
    glLoadIdentity();
    glTranslatef(0, 0, -4);
    // The alpha is examined only once the order test holds; the picture shows the new value.
    if (FMUSIC_GetOrder(song) > 1 && double(s1PictureAlpha) > 0.4)
        step(s1PictureAlpha, -0.001);
    glBindTexture(GL_TEXTURE_2D, TextureTable[1]);
    glColor4f(1, 1, 1, s1PictureAlpha);
    drawQuad(kPicture);
}

// Each strip is drawn where it stood before this frame's move.
void drawLowStrip()
{
    glLoadIdentity();
    glTranslatef(s1LowStripX, -1.2f, -4);
    if (FMUSIC_GetOrder(song) > 3)
        step(s1LowStripX, -0.01);
    titleStrip(2);
}

void drawUprightStrip()
{
    glLoadIdentity();
    glTranslatef(2, s1ColumnY, -4);
    if (FMUSIC_GetOrder(song) > 3)
        step(s1ColumnY, 0.01);
    glBindTexture(GL_TEXTURE_2D, TextureTable[3]);
    glColor4f(1, 1, 1, 0.2f);
    drawQuad(kColumn);
}

void drawHighStrip()
{
    glLoadIdentity();
    glTranslatef(s1HighStripX, 1, -4);
    if (FMUSIC_GetOrder(song) > 4)
        step(s1HighStripX, 0.01);
    titleStrip(4);
}

} // namespace

bool drawScene1()
{
    glFogfv(GL_FOG_COLOR, FogColour);
    glFogf(GL_FOG_DENSITY, 0.15f);
    glClearColor(0, 0, 0, 0.5f);
    step(s1Phase, 0.5);
    const float s1Depth = store(double(oscillate(s1Phase, 10, -15)) + 0.01); // -24.99 to -4.99
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    drawFloor(s1Depth);
    drawRing(s1Depth);
    drawPicture();
    drawLowStrip();
    drawUprightStrip();
    drawHighStrip();

    step(s1Spin, kSpinStep);
    Sleep(10);
    return true;
}
