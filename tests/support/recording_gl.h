// SPDX-License-Identifier: MIT
// tests/support/recording_gl.h — a GL 1.1 + GLU stand-in for tests: every entry point the
// engine and scenes call is defined here, records its name and arguments in order, and
// keeps the little state a test asks about. Link it in place of libGL.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include <GL/gl.h>

namespace recgl {

struct Call {
    std::string name;
    std::vector<double> args; // every argument widened to double; enums and names exactly
    bool operator==(const Call& other) const { return name == other.name && args == other.args; }
};

struct State {
    GLenum matrixMode = GL_MODELVIEW;
    GLuint boundTexture = 0;
    GLenum polygonModeFront = GL_FILL;
    GLenum polygonModeBack = GL_FILL;
    GLfloat colour[4] = {1, 1, 1, 1};
    GLfloat clearColour[4] = {0, 0, 0, 0};
    GLfloat fogDensity = 1;
    bool depthTest = false;
    bool blend = false;
    bool fog = false;
    bool texture2D = false;
    double projection[16] = {};  // column-major, as GL keeps it
    double modelview[16] = {};
    int viewport[4] = {0, 0, 0, 0};
    GLuint nextTextureName = 1;
};

// Clears the log and the state (matrices to identity, GL's defaults).
void reset();
const std::vector<Call>& calls();
const State& state();

// The calls from index first on, one per line ("glTranslatef(0, -1.7, -4)"), for messages.
std::string format(const std::vector<Call>& calls, size_t first = 0, size_t count = SIZE_MAX);
std::string format(const Call& call);

// Logs something that is not a GL call (a sleep, a music call) in the same log, so that a
// test can hold its place among the GL calls.
void note(const std::string& name, std::initializer_list<double> args = {});

// Builds an expected call: args given as doubles (pass floats as floats: 0.1f, not 0.1).
Call call(const char* name, std::initializer_list<double> args = {});

// How many logged calls have this name.
size_t count(const char* name);

// Index of the first call with this name at or after index from; SIZE_MAX if none.
size_t find(const char* name, size_t from = 0);

} // namespace recgl
