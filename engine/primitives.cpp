// SPDX-License-Identifier: MIT
// engine/primitives.cpp — the oscillator, the vertex loop and the title strip shared by the
// scenes.
#include "engine/primitives.h"

#include <cmath>

#include "engine/gl.h"
#include "engine/startup.h"

float oscillate(double phase, double amplitude, double offset)
{
    return store(std::sin(phase * kPhaseScale) * amplitude + offset);
}

void sendVertices(const QuadVertex* v, int count)
{
    for (int k = 0; k < count; ++k) {
        glTexCoord2f(v[k].s, v[k].t);
        glVertex3f(v[k].x, v[k].y, v[k].z);
    }
}

namespace {
const QuadVertex kStrip[4] = {
    {0, 0, -3.5f, -0.4f, 0},
    {1, 0, 3.5f, -0.4f, 0},
    {1, 1, 3.5f, 0.4f, 0},
    {0, 1, -3.5f, 0.4f, 0},
};
} // namespace

void titleStrip(int slot)
{
    glBindTexture(GL_TEXTURE_2D, TextureTable[slot]);
    glColor4f(1, 1, 1, 0.2f);
    glBegin(GL_QUADS);
    sendVertices(kStrip);
    glEnd();
}
