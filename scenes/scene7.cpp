// SPDX-License-Identifier: MIT
// scenes/scene7.cpp — translucent cube runs: 400 cubes along the view axis, then two chains
// of 400 that twist as the angles advance, all at alpha 0.05 without depth test.
// Leaves line polygon mode on both faces (scenes that set none draw outlines after it),
// blending on, depth test off, slot 10 bound and the model-view of the last cube.
#include "engine/gl.h"
#include "engine/primitives.h"
#include "engine/projection.h"
#include "engine/scene.h"
#include "scenes/scene7.h"

float s7SpinX = 0.0f; // degrees, before every cube
float s7SpinY = 0.0f; // degrees
float s7SpinZ = 0.0f; // degrees

namespace {

// Six faces from -1 to 1, each counter-clockwise seen from outside.
const QuadVertex kCube[24] = {
    {0, 0, -1, -1, 1},  {1, 0, 1, -1, 1},   {1, 1, 1, 1, 1},    {0, 1, -1, 1, 1},   // z = +1
    {1, 0, -1, -1, -1}, {1, 1, -1, 1, -1},  {0, 1, 1, 1, -1},   {0, 0, 1, -1, -1},  // z = -1
    {0, 1, -1, 1, -1},  {0, 0, -1, 1, 1},   {1, 0, 1, 1, 1},    {1, 1, 1, 1, -1},   // y = +1
    {1, 1, -1, -1, -1}, {0, 1, 1, -1, -1},  {0, 0, 1, -1, 1},   {1, 0, -1, -1, 1},  // y = -1
    {1, 0, 1, -1, -1},  {1, 1, 1, 1, -1},   {0, 1, 1, 1, 1},    {0, 0, 1, -1, 1},   // x = +1
    {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1},  {1, 1, -1, 1, 1},   {0, 1, -1, 1, -1},  // x = -1
};

// A run position from -100 in steps of 0.5 while below 100: 400 cubes, 100 never drawn.
constexpr float kRunStart = -100.0f;
constexpr double kRunStep = 0.5;
constexpr float kRunEnd = 100.0f;

enum class Run { Z, Y, X };

void rotateCube()
{
    glRotatef(s7SpinX, 1, 0, 0);
    glRotatef(s7SpinY, 0, 1, 0);
    glRotatef(s7SpinZ, 0, 0, 1);
}

void setCubeState(GLenum face, GLenum mode)
{
    glBindTexture(GL_TEXTURE_2D, TextureTable[10]); // tex2
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glPolygonMode(face, mode);
    glColor4f(1, 1, 1, 0.05f);
}

void drawCube()
{
    glBegin(GL_QUADS);
    sendVertices(kCube);
    glEnd();
}

// The z-run places each cube afresh and sets only the front-face mode, so its back faces
// keep whatever mode was set last; the y- and x-runs multiply onto the previous cube.
void drawRun(Run run)
{
    float p = kRunStart;
    do {
        switch (run) {
        case Run::Z:
            glLoadIdentity();
            glTranslatef(0, 0, p);
            break;
        case Run::Y: glTranslatef(0, p, 0); break;
        case Run::X: glTranslatef(p, 0, 0); break;
        }
        rotateCube();
        if (run == Run::Z)
            setCubeState(GL_FRONT, GL_FILL);
        else
            setCubeState(GL_FRONT_AND_BACK, GL_LINE);
        drawCube();
        step(p, kRunStep);
    } while (p < kRunEnd);
}

} // namespace

bool drawScene7()
{
    resizeGLScene(45, 640, 480); // also leaves the model-view at identity
    glClearColor(0, 0, 0, 0.5f);
    glFogfv(GL_FOG_COLOR, FogColour);
    glFogf(GL_FOG_DENSITY, 0); // fog stays enabled, without effect
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    drawRun(Run::Z);
    drawRun(Run::Y);
    drawRun(Run::X);

    step(s7SpinX, 0.5);
    step(s7SpinY, 5);
    step(s7SpinZ, 2);
    Sleep(10);
    return true;
}
