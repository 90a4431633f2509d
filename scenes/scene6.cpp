// SPDX-License-Identifier: MIT
// scenes/scene6.cpp — the credits: four credit pictures over the pulsing, tumbling ring on
// grey, one per 256 frames; at frame 1024 it hands the timeline on to scene 7 from inside
// its own frame. Leaves blending on, depth test off, the credit picture bound, the model-view
// at (0, 0, -4), and whatever polygon mode was in force (it sets none).
#include "engine/gl.h"
#include "engine/meshes/meshes.h"
#include "engine/primitives.h"
#include "engine/projection.h"
#include "engine/scene.h"
#include "engine/timeline.h"
#include "scenes/scene6.h"

float s6CycleFrame = 0.0f; // frames this scene has run; only grows, so the hand-over happens once
float s6Pulse = 0.0f;      // -0.5 to 0.5: ring scale and picture alpha (negative alpha clamps to 0)
int s6CreditSlot = 0;      // TextureTable slot of the credit picture; 0 is never drawn
float s6SpinX = 0.0f;      // degrees
float s6SpinY = 0.0f;      // degrees
float s6SpinZ = 0.0f;      // degrees

namespace {

constexpr float kHandOverFrame = 1024.0f;

// Both band ends are strict: on the edges (256, 512, 768, 1024) and past 1024 the slot keeps
// the previous frame's value, so each picture changes one frame after its edge.
struct CreditBand {
    float after, before;
    int slot;
};
const CreditBand kCreditBands[4] = {
    {0, 256, 14},    // rinta
    {256, 512, 15},  // pasko
    {512, 768, 16},  // mirel
    {768, 1024, 13}, // olvek
};

const QuadVertex kCreditPicture[4] = {
    {0, 0, -2, -1.67f, 0},
    {1, 0, 2, -1.67f, 0},
    {1, 1, 2, 1.67f, 0},
    {0, 1, -2, 1.67f, 0},
};

void selectCreditSlot()
{
    for (const CreditBand& band : kCreditBands)
        if (s6CycleFrame > band.after && s6CycleFrame < band.before)
            s6CreditSlot = band.slot;
}

void drawRing()
{
    glLoadIdentity();
    glTranslatef(0.1f, 0, -5);
    glRotatef(s6SpinX, 1, 0, 0);
    glRotatef(s6SpinY, 0, 1, 0);
    glRotatef(s6SpinZ, 0, 0, 1);
    glBindTexture(GL_TEXTURE_2D, TextureTable[10]); // tex2
    // Generation is never enabled, so the ring keeps its own texture coordinates.
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1.4f);
    glScalef(s6Pulse, s6Pulse, s6Pulse); // a negative pulse mirrors the ring through its origin
    drawMesh(MeshD);
}

void drawCreditPicture()
{
    glLoadIdentity();
    glTranslatef(0, 0, -4);
    glBindTexture(GL_TEXTURE_2D, TextureTable[s6CreditSlot]);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, s6Pulse);
    glBegin(GL_QUADS);
    sendVertices(kCreditPicture);
    glEnd();
}

} // namespace

bool drawScene6()
{
    resizeGLScene(45, 640, 480);
    glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
    glFogfv(GL_FOG_COLOR, FogColour);
    glFogf(GL_FOG_DENSITY, 0); // fog stays enabled, without effect
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    step(s6CycleFrame, 1);
    s6Pulse = oscillate(s6CycleFrame, 0.5, 0);
    selectCreditSlot();

    // The nested dispatch runs scene 7 (and this scene again at orders 20 to 22, then at
    // frame 1025) into this frame and may end the demo; the drawing below reads the state
    // it leaves and paints over its image without clearing.
    if (s6CycleFrame == kHandOverFrame) {
        dispatchScenes(6);
        SceneOverride = 6;
    }

    drawRing();
    drawCreditPicture();

    step(s6SpinX, 0.5);
    step(s6SpinY, 5);
    step(s6SpinZ, 2);
    Sleep(10);
    return true;
}
