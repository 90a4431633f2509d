// SPDX-License-Identifier: MIT
// scenes/scene4.cpp — the corridor flight: facing a picture on the side wall, the camera
// turns right through 90 degrees, travels down the corridor and on through the rising gate.
// Leaves depth test on, blending off, fill on both faces, slot 10 bound, colour
// (255, 255, 255, 255), fog density 0.05 and the gate's model-view.
#include "engine/gl.h"
#include "engine/primitives.h"
#include "engine/projection.h"
#include "engine/scene.h"
#include "engine/timeline.h"
#include "scenes/scene4.h"

float s4Yaw = 0.0f;        // degrees; stops at exactly 90 because it is stored as float
float s4YawPhase = 0.0f;   // phase units, +0.2 a frame
float s4FovPhase = 0.0f;   // phase units, +0.3 a frame once the turn is complete
float s4Fov = 0.0f;        // degrees, vertical field of view
float s4SwayPhase = 0.0f;  // phase units, +1 a frame
float s4Sway = 0.0f;       // eye-space units along x
float s4Forward = 2.5f;    // eye-space units along z: the travel down the corridor
float s4Speed = 0.0f;      // eye-space units a frame, before the gate
float s4Rise = 0.0f;       // eye-space units along y, the gate only

namespace {

constexpr int kCorridorSlot = 10; // segment 1 and the gate
constexpr int kFarSlot = 5;       // segments 2 to 4
constexpr int kPictureSlot = 9;

// One wall vertex of a segment: at its near end (x0) or far end (x1).
struct WallVertex {
    bool farEnd;
    GLfloat y, z;
};

// Every wall quad of every segment tiles its face the same way, one pair per vertex.
const GLfloat kWallTexCoords[4][2] = {{-10, 4}, {-10, -4}, {50, -4}, {50, 4}};

const WallVertex kSegmentQuads[4][4] = {
    {{false, 4, -5}, {false, -4, -5}, {true, -4, -5}, {true, 4, -5}}, // side wall z = -5
    {{false, 4, 5}, {false, -4, 5}, {true, -4, 5}, {true, 4, 5}},     // side wall z = 5
    {{false, 4, 5}, {false, 4, -5}, {true, 4, -5}, {true, 4, 5}},     // ceiling
    {{false, -4, 5}, {false, -4, -5}, {true, -4, -5}, {true, -4, 5}}, // floor
};

// Segment ends along x; only the first segment is closed, at its near end.
const GLfloat kSegmentEnds[5] = {-10, 300, 600, 900, 1200};

const QuadVertex kEndCap[4] = {
    {-5, 4, -10, 4, 5},
    {-5, -4, -10, -4, 5},
    {5, -4, -10, -4, -5},
    {5, 4, -10, 4, -5},
};

// 0.1 in front of the side wall z = -5, straight ahead of the unturned camera.
const QuadVertex kPicture[4] = {
    {0, 1, -1.5f, 1, -4.9f},
    {0, 0, -1.5f, -1, -4.9f},
    {1, 0, 1.5f, -1, -4.9f},
    {1, 1, 1.5f, 1, -4.9f},
};

// 0.1 short of the end of segment 1, larger than the corridor's section so it closes it.
const QuadVertex kGate[4] = {
    {0, 1, 299.9f, 5, 5.5f},
    {0, 0, 299.9f, -5, 5.5f},
    {1, 0, 299.9f, -5, -5.5f},
    {1, 1, 299.9f, 5, -5.5f},
};

// The four wall quads of the segment from x0 to x1, inside the caller's glBegin/glEnd.
void drawSegmentWalls(GLfloat x0, GLfloat x1)
{
    for (const auto& quad : kSegmentQuads)
        for (int k = 0; k < 4; ++k) {
            glTexCoord2f(kWallTexCoords[k][0], kWallTexCoords[k][1]);
            glVertex3f(quad[k].farEnd ? x1 : x0, quad[k].y, quad[k].z);
        }
}

void placeCamera(GLfloat rise)
{
    glLoadIdentity();
    glTranslatef(s4Sway, rise, s4Forward);
}

// Only the yaw turns anything; the x and z rotations by 0 are kept as the frame makes them.
void turnCamera()
{
    glRotatef(0, 1, 0, 0);
    glRotatef(s4Yaw, 0, 1, 0);
    glRotatef(0, 0, 0, 1);
}

void drawCorridor()
{
    placeCamera(0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    turnCamera();
    glBindTexture(GL_TEXTURE_2D, TextureTable[kCorridorSlot]);
    glColor4f(1, 1, 1, 0.7f);
    glBegin(GL_QUADS);
    drawSegmentWalls(kSegmentEnds[0], kSegmentEnds[1]);
    sendVertices(kEndCap);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, TextureTable[kFarSlot]);
    for (int segment = 1; segment < 4; ++segment) {
        glBegin(GL_QUADS);
        drawSegmentWalls(kSegmentEnds[segment], kSegmentEnds[segment + 1]);
        glEnd();
    }
}

void drawPicture()
{
    placeCamera(0);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    turnCamera();
    glBindTexture(GL_TEXTURE_2D, TextureTable[kPictureSlot]);
    glColor4f(255, 255, 255, 255); // clamped by GL; the texture shows unchanged
    glBegin(GL_QUADS);
    sendVertices(kPicture);
    glEnd();
}

// No colour of its own: the gate takes the picture's.
void drawGate()
{
    placeCamera(s4Rise);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    turnCamera();
    glBindTexture(GL_TEXTURE_2D, TextureTable[kCorridorSlot]);
    glBegin(GL_QUADS);
    sendVertices(kGate);
    glEnd();
}

// Each comparison tests the value the previous line left; the order is the motion's.
void advance()
{
    if (s4Forward > 270) // before this frame's travel: the gate starts a frame late
        step(s4Rise, 1);
    if (s4Speed < 0.5f)
        step(s4Speed, 0.005);
    if (s4Yaw < 90) // float storage is what makes the turn stop at exactly 90
        s4Yaw = oscillate(s4YawPhase, 90, 0);
    if (s4Yaw > 80 && s4Forward < 270)
        step(s4Forward, s4Speed);
    if (s4Forward > 270)
        step(s4Forward, 1);
    s4Sway = oscillate(s4SwayPhase, 2, 0);
}

} // namespace

bool drawScene4()
{
    if (s4Yaw >= 90) // the exact complement of the turn's own test
        step(s4FovPhase, 0.3);
    s4Fov = oscillate(s4FovPhase, 40, 70);
    resizeGLScene(s4Fov, 640, 480);
    glClearColor(0, 0, 0, 0.5f);
    glFogfv(GL_FOG_COLOR, FogColour);
    step(s4YawPhase, 0.2);
    step(s4SwayPhase, 1);
    glFogf(GL_FOG_DENSITY, 0.05f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    drawCorridor();
    drawPicture();
    drawGate();

    advance();
    Sleep(10); // the only pacing: the motion advances per frame
    return true;
}
