// SPDX-License-Identifier: MIT
// tests/support/recording_gl.cpp — the recording GL layer (see the header).
#include "tests/support/recording_gl.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace recgl {
namespace {

std::vector<Call> log;
State current;

void identity(double* m)
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

double* currentMatrix() { return current.matrixMode == GL_PROJECTION ? current.projection : current.modelview; }

// m = m x r, column-major, as glMultMatrix does.
void multiply(double* m, const double* r)
{
    double out[16];
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += m[k * 4 + row] * r[col * 4 + k];
            out[col * 4 + row] = sum;
        }
    std::memcpy(m, out, sizeof out);
}

void record(const char* name, std::initializer_list<double> args) { log.push_back(Call{name, args}); }

struct Init {
    Init() { reset(); }
} init;

} // namespace

void reset()
{
    log.clear();
    current = State{};
    identity(current.projection);
    identity(current.modelview);
}

const std::vector<Call>& calls() { return log; }
const State& state() { return current; }

std::string format(const Call& c)
{
    std::string s = c.name + "(";
    for (size_t i = 0; i < c.args.size(); ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s%.9g", i ? ", " : "", c.args[i]);
        s += buf;
    }
    return s + ")";
}

std::string format(const std::vector<Call>& cs, size_t first, size_t count)
{
    std::string s;
    for (size_t i = first; i < cs.size() && i - first < count; ++i)
        s += std::to_string(i) + ": " + format(cs[i]) + "\n";
    return s;
}

Call call(const char* name, std::initializer_list<double> args) { return Call{name, args}; }

void note(const std::string& name, std::initializer_list<double> args) { log.push_back(Call{name, args}); }

size_t count(const char* name)
{
    size_t n = 0;
    for (const Call& c : log)
        n += c.name == name;
    return n;
}

size_t find(const char* name, size_t from)
{
    for (size_t i = from; i < log.size(); ++i)
        if (log[i].name == name)
            return i;
    return SIZE_MAX;
}

} // namespace recgl

using recgl::current;
using recgl::record;

extern "C" {

void glBegin(GLenum mode) { record("glBegin", {double(mode)}); }
void glEnd() { record("glEnd", {}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {x, y, z}); }
void glTexCoord2f(GLfloat s, GLfloat t) { record("glTexCoord2f", {s, t}); }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    record("glColor4f", {r, g, b, a});
    current.colour[0] = r;
    current.colour[1] = g;
    current.colour[2] = b;
    current.colour[3] = a;
}

void glMatrixMode(GLenum mode)
{
    record("glMatrixMode", {double(mode)});
    current.matrixMode = mode;
}
void glLoadIdentity()
{
    record("glLoadIdentity", {});
    recgl::identity(recgl::currentMatrix());
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    record("glTranslatef", {x, y, z});
    double t[16];
    recgl::identity(t);
    t[12] = x;
    t[13] = y;
    t[14] = z;
    recgl::multiply(recgl::currentMatrix(), t);
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    record("glRotatef", {angle, x, y, z});
    const double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (len == 0)
        return;
    const double ux = x / len, uy = y / len, uz = z / len;
    const double a = angle * M_PI / 180.0, c = std::cos(a), s = std::sin(a), k = 1 - c;
    const double r[16] = {ux * ux * k + c,      uy * ux * k + uz * s, ux * uz * k - uy * s, 0,
                          ux * uy * k - uz * s, uy * uy * k + c,      uy * uz * k + ux * s, 0,
                          ux * uz * k + uy * s, uy * uz * k - ux * s, uz * uz * k + c,      0,
                          0,                    0,                    0,                    1};
    recgl::multiply(recgl::currentMatrix(), r);
}
void glScalef(GLfloat x, GLfloat y, GLfloat z)
{
    record("glScalef", {x, y, z});
    double t[16];
    recgl::identity(t);
    t[0] = x;
    t[5] = y;
    t[10] = z;
    recgl::multiply(recgl::currentMatrix(), t);
}
void glMultMatrixd(const GLdouble* m)
{
    record("glMultMatrixd", {});
    recgl::multiply(recgl::currentMatrix(), m);
}
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h)
{
    record("glViewport", {double(x), double(y), double(w), double(h)});
    current.viewport[0] = x;
    current.viewport[1] = y;
    current.viewport[2] = w;
    current.viewport[3] = h;
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    record("gluPerspective", {fovy, aspect, zNear, zFar});
    const double f = 1.0 / std::tan(fovy * M_PI / 360.0);
    double p[16] = {};
    p[0] = f / aspect;
    p[5] = f;
    p[10] = (zFar + zNear) / (zNear - zFar);
    p[11] = -1;
    p[14] = 2 * zFar * zNear / (zNear - zFar);
    recgl::multiply(recgl::currentMatrix(), p);
}

static void setCap(GLenum cap, bool on)
{
    switch (cap) {
    case GL_DEPTH_TEST: current.depthTest = on; break;
    case GL_BLEND: current.blend = on; break;
    case GL_FOG: current.fog = on; break;
    case GL_TEXTURE_2D: current.texture2D = on; break;
    default: break;
    }
}
void glEnable(GLenum cap)
{
    record("glEnable", {double(cap)});
    setCap(cap, true);
}
void glDisable(GLenum cap)
{
    record("glDisable", {double(cap)});
    setCap(cap, false);
}
GLboolean glIsEnabled(GLenum cap)
{
    switch (cap) {
    case GL_DEPTH_TEST: return current.depthTest;
    case GL_BLEND: return current.blend;
    case GL_FOG: return current.fog;
    case GL_TEXTURE_2D: return current.texture2D;
    default: return GL_FALSE;
    }
}

void glBindTexture(GLenum target, GLuint name)
{
    record("glBindTexture", {double(target), double(name)});
    current.boundTexture = name;
}
void glPolygonMode(GLenum face, GLenum mode)
{
    record("glPolygonMode", {double(face), double(mode)});
    if (face == GL_FRONT || face == GL_FRONT_AND_BACK)
        current.polygonModeFront = mode;
    if (face == GL_BACK || face == GL_FRONT_AND_BACK)
        current.polygonModeBack = mode;
}
void glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void glClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    record("glClearColor", {r, g, b, a});
    current.clearColour[0] = r;
    current.clearColour[1] = g;
    current.clearColour[2] = b;
    current.clearColour[3] = a;
}
void glClearDepth(GLclampd depth) { record("glClearDepth", {depth}); }
void glDepthFunc(GLenum func) { record("glDepthFunc", {double(func)}); }
void glBlendFunc(GLenum s, GLenum d) { record("glBlendFunc", {double(s), double(d)}); }
void glShadeModel(GLenum mode) { record("glShadeModel", {double(mode)}); }
void glHint(GLenum target, GLenum mode) { record("glHint", {double(target), double(mode)}); }
void glFogf(GLenum pname, GLfloat param)
{
    record("glFogf", {double(pname), param});
    if (pname == GL_FOG_DENSITY)
        current.fogDensity = param;
}
void glFogi(GLenum pname, GLint param) { record("glFogi", {double(pname), double(param)}); }
void glFogfv(GLenum pname, const GLfloat* p) { record("glFogfv", {double(pname), p[0], p[1], p[2], p[3]}); }
void glTexEnvi(GLenum target, GLenum pname, GLint param)
{
    record("glTexEnvi", {double(target), double(pname), double(param)});
}
void glTexGeni(GLenum coord, GLenum pname, GLint param)
{
    record("glTexGeni", {double(coord), double(pname), double(param)});
}
void glGenTextures(GLsizei n, GLuint* names)
{
    record("glGenTextures", {double(n)});
    for (GLsizei i = 0; i < n; ++i)
        names[i] = current.nextTextureName++;
}
void glDeleteTextures(GLsizei n, const GLuint*) { record("glDeleteTextures", {double(n)}); }
void glTexParameteri(GLenum target, GLenum pname, GLint param)
{
    record("glTexParameteri", {double(target), double(pname), double(param)});
}
void glPixelStorei(GLenum pname, GLint param) { record("glPixelStorei", {double(pname), double(param)}); }
void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format,
                  GLenum type, const void*)
{
    record("glTexImage2D", {double(target), double(level), double(internal), double(w), double(h), double(border),
                            double(format), double(type)});
}
void glGetIntegerv(GLenum pname, GLint* out)
{
    if (pname == GL_MAX_TEXTURE_SIZE)
        *out = 16384;
    else
        *out = 0;
}
const GLubyte* glGetString(GLenum) { return reinterpret_cast<const GLubyte*>(""); }
GLenum glGetError() { return GL_NO_ERROR; }

// The render layer's calls (engine/present.cpp): recorded, reading back nothing.
void glScissor(GLint x, GLint y, GLsizei w, GLsizei h)
{
    record("glScissor", {double(x), double(y), double(w), double(h)});
}
void glLineWidth(GLfloat width) { record("glLineWidth", {width}); }
void glGetFloatv(GLenum, GLfloat* out) { *out = 0; }
void glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void*)
{
    record("glReadPixels", {double(x), double(y), double(w), double(h), double(format), double(type)});
}

} // extern "C"
