// SPDX-License-Identifier: MIT
// scenes/scene3.cpp — two pairs of counter-rotating meshes, a picture strip sliding out to
// the left and a square tunnel rolling past the viewer, all blended without depth testing
// so drawing order alone layers them. Sets the 45 degree projection; leaves depth test off,
// blending on, slot 8 bound and colour (1, 1, 1, 0.2).
#include "engine/gl.h"
#include "engine/meshes/meshes.h"
#include "engine/primitives.h"
#include "engine/projection.h"
#include "engine/scene.h"
#include "engine/timeline.h"
#include "scenes/scene3.h"

float s3SpinAX = 0.0f;       // degrees; first mesh pair, forwards
float s3SpinAY = 0.0f;       // degrees
float s3SpinAZ = 0.0f;       // degrees
float s3SpinBX = 0.0f;       // degrees; second mesh pair, backwards and 1.5 times as fast
float s3SpinBY = 0.0f;       // degrees
float s3SpinBZ = 0.0f;       // degrees
float s3MeshDepth = -15.0f;  // eye units; never changes
float s3StripX = 6.0f;       // eye units; starts just beyond the right edge of the view
float s3TunnelZ = -50.0f;    // eye units; the tunnel travels towards and past the viewer
float s3TunnelRoll = 0.0f;   // degrees about the line of sight

namespace {

constexpr float kRollStep = 0.1f; // the step is the 32-bit float nearest 0.1, widened

struct TunnelVertex {
    GLfloat s, t, x, y;
    bool nearEnd; // z1 of the segment if set, z0 otherwise
};

// One 2 x 2 open square tube segment: top, bottom, right, left, four vertices each.
const TunnelVertex kTunnelSegment[16] = {
    {7, 10, -1, 1, false},  {7, 7, -1, 1, true},    {10, 7, 1, 1, true},   {10, 10, 1, 1, false},
    {10, 10, -1, -1, false}, {7, 10, 1, -1, false}, {7, 7, 1, -1, true},   {10, 7, -1, -1, true},
    {10, 7, 1, -1, false},  {10, 10, 1, 1, false},  {7, 10, 1, 1, true},   {7, 7, 1, -1, true},
    {7, 7, -1, -1, false},  {10, 7, -1, -1, true},  {10, 10, -1, 1, true}, {7, 10, -1, 1, false},
};

struct TunnelSegment {
    GLfloat z0, z1; // far and near end, 100 units apart
};
const TunnelSegment kTunnel[3] = {{-50, 50}, {-150, -50}, {-250, -150}};

void advanceState()
{
    step(s3TunnelZ, 0.7);
    step(s3SpinAX, 1);
    step(s3SpinAY, 1);
    step(s3SpinAZ, 1);
    step(s3SpinBX, -1.5);
    step(s3SpinBY, -1.5);
    step(s3SpinBZ, -1.5);
    step(s3TunnelRoll, kRollStep);
}

// The mesh at its own size, then three times as large about its origin.
void drawMeshPair(GLfloat r, GLfloat g, GLfloat b, GLfloat a, float spinX, float spinY, float spinZ)
{
    glLoadIdentity();
    glTranslatef(0, 0, s3MeshDepth);
    glBindTexture(GL_TEXTURE_2D, TextureTable[0]);
    glColor4f(r, g, b, a); // components above 1 are clamped by GL
    glRotatef(spinX, 1, 0, 0);
    glRotatef(spinY, 0, 1, 0);
    glRotatef(spinZ, 0, 0, 1);
    drawMesh(MeshB);
    glScalef(3, 3, 3);
    drawMesh(MeshB);
}

void drawStrip()
{
    glLoadIdentity();
    glTranslatef(s3StripX, -1.2f, -4);
    step(s3StripX, -0.08); // this frame's strip already stands at the old position
    titleStrip(7);
}

void drawTunnel()
{
    glLoadIdentity();
    glTranslatef(0, 0, s3TunnelZ);
    glRotatef(s3TunnelRoll, 0, 0, 1);
    glBindTexture(GL_TEXTURE_2D, TextureTable[8]);
    glColor4f(1, 1, 1, 0.2f);
    for (const TunnelSegment& segment : kTunnel) {
        glBegin(GL_QUADS);
        for (const TunnelVertex& v : kTunnelSegment) {
            glTexCoord2f(v.s, v.t);
            glVertex3f(v.x, v.y, v.nearEnd ? segment.z1 : segment.z0);
        }
        glEnd();
    }
}

} // namespace

bool drawScene3()
{
    advanceState(); // everything but the strip moves before drawing
    resizeGLScene(45, 640, 480);
    glFogfv(GL_FOG_COLOR, FogColour);
    glClearColor(0, 0, 0, 0.2f);
    glFogf(GL_FOG_DENSITY, 0.05f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST); // for the rest of the frame

    drawMeshPair(0, 0, 255, 0.25f, s3SpinAX, s3SpinAY, s3SpinAZ);
    drawMeshPair(1, 0, 255, 0.05f, s3SpinBX, s3SpinBY, s3SpinBZ);
    drawStrip();
    drawTunnel();

    Sleep(10);
    return true;
}
