// SPDX-License-Identifier: MIT
// engine/primitives.h — what every scene shares: 32-bit stepping, the oscillator, textured
// vertex tables and the title strip.
#pragma once

#include "engine/gl.h"

// Scene state is stored in 32-bit floats; every update is formed in double and stored
// back rounded. These two helpers make that visible at each use.
inline void step(float& v, double delta) { v = static_cast<float>(static_cast<double>(v) + delta); }
inline float store(double value) { return static_cast<float>(value); }

// The phase scale: close to, but not exactly, 2 pi / 256.
constexpr double kPhaseScale = 0.024543691875;

// sin(phase x kPhaseScale) x amplitude + offset, in double, stored as a 32-bit float.
float oscillate(double phase, double amplitude, double offset);

// One textured vertex of a quad table: texture coordinates, then position.
struct QuadVertex {
    GLfloat s, t, x, y, z;
};

// glTexCoord2f then glVertex3f for each vertex, in order. No glBegin/glEnd: the caller
// decides how the vertices are batched.
void sendVertices(const QuadVertex* v, int count);
template <int N>
void sendVertices(const QuadVertex (&v)[N])
{
    sendVertices(v, N);
}

// The 7 x 0.8 textured strip in the plane z = 0 of the current model-view matrix.
void titleStrip(int slot);
