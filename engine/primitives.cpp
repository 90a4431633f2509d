// engine/primitives.cpp — the oscillator and the title strip shared by the scenes.
#include "engine/primitives.h"

#include <cmath>

#include "engine/gl.h"
#include "engine/startup.h"

float oscillate(double phase, double amplitude, double offset)
{
    return store(std::sin(phase * kPhaseScale) * amplitude + offset);
}

namespace {
struct StripVertex {
    GLfloat s, t, x, y, z;
};
const StripVertex kStrip[4] = {
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
    for (const StripVertex& v : kStrip) {
        glTexCoord2f(v.s, v.t);
        glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}
