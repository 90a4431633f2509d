// SPDX-License-Identifier: MIT
// fuzz/gl_stub.cpp — the few GL entry points the texture loader calls. Unlike the recording
// layer used by the unit tests, glTexImage2D reads every texel it is handed and checks that
// the levels halve down to 1 x 1, so a short or mis-sized mipmap buffer shows up under
// AddressSanitizer.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

namespace {
GLsizei gLastWidth = 0, gLastHeight = 0;
GLuint gNextName = 1;
volatile unsigned gTexelSum = 0; // keeps the reads from being optimised away

[[noreturn]] void broken(const char* what, GLint level, GLsizei w, GLsizei h)
{
    std::fprintf(stderr, "gl stub: %s (level %d, %d x %d)\n", what, level, w, h);
    std::abort();
}
} // namespace

extern "C" {

void glGetIntegerv(GLenum pname, GLint* out) { *out = pname == GL_MAX_TEXTURE_SIZE ? 16384 : 0; }
void glGenTextures(GLsizei n, GLuint* names)
{
    for (GLsizei i = 0; i < n; ++i) names[i] = gNextName++;
}
void glBindTexture(GLenum, GLuint) {}
void glTexParameteri(GLenum, GLenum, GLint) {}
void glPixelStorei(GLenum, GLint) {}

void glTexImage2D(GLenum, GLint level, GLint, GLsizei w, GLsizei h, GLint border, GLenum format, GLenum type,
                  const void* pixels)
{
    if (w < 1 || h < 1 || border != 0 || format != GL_RGBA || type != GL_UNSIGNED_BYTE || !pixels)
        broken("bad arguments", level, w, h);
    if (level > 0) {
        const GLsizei hw = gLastWidth > 1 ? gLastWidth / 2 : 1, hh = gLastHeight > 1 ? gLastHeight / 2 : 1;
        if (w != hw || h != hh) broken("level does not halve the one before", level, w, h);
    }
    gLastWidth = w;
    gLastHeight = h;
    const auto* p = static_cast<const unsigned char*>(pixels);
    unsigned sum = 0;
    for (size_t i = 0, n = static_cast<size_t>(w) * h * 4; i < n; ++i) sum += p[i];
    gTexelSum = gTexelSum + sum;
}

} // extern "C"
