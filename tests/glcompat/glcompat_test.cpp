// SPDX-License-Identifier: MIT
// glcompat, the page's GL 1.1 over WebGL 2, built natively over a recording WebGL table: what
// it sends to WebGL for the GL calls the scenes make, and the errors and console lines it gives
// for the ones it refuses.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "glcompat/glcompat.h"
#include "glcompat/webgl.h"

namespace {

constexpr int kW = 64, kH = 48;
constexpr GLenum kMaxSamples = 0x8D57; // the recording WebGL offers 4

// ---- the recording WebGL -----------------------------------------------------------------

struct WebGLCall {
    std::string name;
    std::vector<double> args;
};

struct Position {
    float x, y, z, w;
    bool operator==(const Position& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
    friend std::ostream& operator<<(std::ostream& out, const Position& p)
    {
        return out << "(" << p.x << ", " << p.y << ", " << p.z << ", " << p.w << ")";
    }
};

struct Draw {
    GLenum mode;
    std::vector<Position> vertices; // clip coordinates, as WebGL reads attribute 0
    std::vector<Position> colours;  // attribute 2: from its array, or its one value
};

// A vertex attribute as WebGL keeps it: an array in a buffer, or one value for every vertex.
struct Attribute {
    GLuint buffer = 0;
    GLint size = 4;
    GLsizei stride = 0;
    size_t offset = 0;
    bool array = false;
    Position value{0, 0, 0, 1};
};

std::vector<WebGLCall> webglLog;
std::vector<Draw> draws;
std::map<GLuint, std::vector<unsigned char>> buffers; // by name, as last uploaded
GLuint boundArrayBuffer = 0;
Attribute attributes[3];
std::vector<std::vector<unsigned char>> uploads; // each texImage2D's pixels
GLuint nextObject = 1;
std::map<GLuint, std::string> shaderText, programText; // the sources given, by name
GLuint programInUse = 0;
std::map<GLuint, std::vector<float>> programMatrix; // each program's uMatrix, column-major

void record(const char* name, std::initializer_list<double> args = {}) { webglLog.push_back({name, args}); }

void makeNames(const char* name, GLsizei n, GLuint* out)
{
    record(name, {double(n)});
    for (GLsizei i = 0; i < n; ++i)
        out[i] = nextObject++;
}

const GlcompatWebGL kRecordingWebGL = {
    .enable = [](GLenum cap) { record("enable", {double(cap)}); },
    .disable = [](GLenum cap) { record("disable", {double(cap)}); },
    .blendFunc = [](GLenum s, GLenum d) { record("blendFunc", {double(s), double(d)}); },
    .depthFunc = [](GLenum f) { record("depthFunc", {double(f)}); },
    .viewport = [](GLint x, GLint y, GLsizei w, GLsizei h) { record("viewport", {double(x), double(y), double(w), double(h)}); },
    .scissor = [](GLint x, GLint y, GLsizei w, GLsizei h) { record("scissor", {double(x), double(y), double(w), double(h)}); },
    .clearColor = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { record("clearColor", {r, g, b, a}); },
    .clearDepthf = [](GLfloat d) { record("clearDepthf", {d}); },
    .clear = [](GLbitfield mask) { record("clear", {double(mask)}); },
    .genTextures = [](GLsizei n, GLuint* out) { makeNames("genTextures", n, out); },
    .deleteTextures = [](GLsizei n, const GLuint*) { record("deleteTextures", {double(n)}); },
    .bindTexture = [](GLenum target, GLuint t) { record("bindTexture", {double(target), double(t)}); },
    .texImage2D =
        [](GLenum target, GLint level, GLint internalFormat, GLsizei w, GLsizei h, GLint border, GLenum format,
           GLenum type, const void* pixels) {
            record("texImage2D", {double(target), double(level), double(internalFormat), double(w), double(h),
                                  double(border), double(format), double(type)});
            const auto* bytes = static_cast<const unsigned char*>(pixels);
            // as rows packed: what WebGL reads with an unpack alignment of 1
            uploads.emplace_back(bytes, bytes ? bytes + size_t(w) * size_t(h) * (format == GL_RGBA ? 4 : 3) : bytes);
        },
    .texParameteri = [](GLenum target, GLenum pname, GLint param) { record("texParameteri", {double(target), double(pname), double(param)}); },
    .pixelStorei = [](GLenum pname, GLint param) { record("pixelStorei", {double(pname), double(param)}); },
    .getIntegerv = [](GLenum pname, GLint* out) { *out = pname == GL_MAX_TEXTURE_SIZE ? 4096 : pname == kMaxSamples ? 4 : 0; },
    .getString = [](GLenum) { return reinterpret_cast<const GLubyte*>("recording"); },
    .genBuffers = [](GLsizei n, GLuint* out) { makeNames("genBuffers", n, out); },
    .bindBuffer =
        [](GLenum target, GLuint b) {
            record("bindBuffer", {double(target), double(b)});
            boundArrayBuffer = b;
        },
    .bufferData =
        [](GLenum, long size, const void* data, GLenum) {
            record("bufferData", {double(size)});
            const auto* bytes = static_cast<const unsigned char*>(data);
            buffers[boundArrayBuffer].assign(bytes, bytes + size);
        },
    .genVertexArrays = [](GLsizei n, GLuint* out) { makeNames("genVertexArrays", n, out); },
    .bindVertexArray = [](GLuint a) { record("bindVertexArray", {double(a)}); },
    .enableVertexAttribArray =
        [](GLuint i) {
            record("enableVertexAttribArray", {double(i)});
            attributes[i].array = true;
        },
    .disableVertexAttribArray =
        [](GLuint i) {
            record("disableVertexAttribArray", {double(i)});
            attributes[i].array = false;
        },
    .vertexAttrib4f =
        [](GLuint i, GLfloat x, GLfloat y, GLfloat z, GLfloat w) {
            record("vertexAttrib4f", {double(i), x, y, z, w});
            attributes[i].value = {x, y, z, w};
        },
    .vertexAttribPointer =
        [](GLuint index, GLint size, GLenum, GLboolean, GLsizei stride, const void* offset) {
            record("vertexAttribPointer", {double(index), double(size)});
            Attribute& a = attributes[index];
            a.buffer = boundArrayBuffer;
            a.size = size;
            a.stride = stride ? stride : GLsizei(size * sizeof(float));
            a.offset = reinterpret_cast<size_t>(offset);
        },
    .drawArrays =
        [](GLenum mode, GLint first, GLsizei count) {
            record("drawArrays", {double(mode), double(first), double(count)});
            // As WebGL reads each vertex; an array too short for the draw is refused there.
            auto read = [](const Attribute& a, GLsizei i) {
                Position p{0, 0, 0, 1};
                if (!a.array)
                    return a.value;
                const std::vector<unsigned char>& data = buffers[a.buffer];
                const size_t at = size_t(i) * size_t(a.stride) + a.offset;
                if (at + size_t(a.size) * sizeof(float) > data.size()) {
                    ADD_FAILURE() << "vertex " << i << " lies past its attribute's buffer: WebGL refuses the draw";
                    return p;
                }
                std::memcpy(&p, data.data() + at, size_t(a.size) * sizeof(float));
                return p;
            };
            // uMatrix x position, as the vertex program computes it
            auto transform = [](const Position& p) {
                const std::vector<float>& m = programMatrix[programInUse];
                if (m.size() != 16) {
                    ADD_FAILURE() << "a draw with no matrix sent to its program";
                    return p;
                }
                const float in[4] = {p.x, p.y, p.z, p.w};
                float out[4];
                for (size_t r = 0; r < 4; ++r)
                    out[r] = m[r] * in[0] + m[4 + r] * in[1] + m[8 + r] * in[2] + m[12 + r] * in[3];
                return Position{out[0], out[1], out[2], out[3]};
            };
            Draw d{mode, {}, {}};
            for (GLsizei i = first; i < first + count; ++i) {
                d.vertices.push_back(transform(read(attributes[0], i)));
                if (attributes[1].array)
                    read(attributes[1], i);
                d.colours.push_back(read(attributes[2], i));
            }
            draws.push_back(d);
        },
    .createShader = [](GLenum) { return nextObject++; },
    .shaderSource =
        [](GLuint shader, GLsizei count, const char* const* parts, const GLint*) {
            shaderText[shader].clear();
            for (GLsizei i = 0; i < count; ++i)
                shaderText[shader] += parts[i];
        },
    .compileShader = [](GLuint) {},
    .getShaderiv = [](GLuint, GLenum, GLint* out) { *out = 1; },
    .getShaderInfoLog = [](GLuint, GLsizei, GLsizei*, char*) {},
    .createProgram = []() { return nextObject++; },
    .attachShader = [](GLuint program, GLuint shader) { programText[program] += shaderText[shader]; },
    .bindAttribLocation = [](GLuint, GLuint, const char*) {},
    .linkProgram = [](GLuint) { record("linkProgram"); },
    .getProgramiv = [](GLuint, GLenum, GLint* out) { *out = 1; },
    .useProgram =
        [](GLuint p) {
            record("useProgram", {double(p)});
            programInUse = p;
        },
    .getUniformLocation = [](GLuint, const char* name) { return GLint(std::strlen(name)); },
    .uniform1i = [](GLint at, GLint v) { record("uniform1i", {double(at), double(v)}); },
    .uniform4f = [](GLint at, GLfloat x, GLfloat y, GLfloat z, GLfloat w) { record("uniform4f", {double(at), x, y, z, w}); },
    .uniformMatrix4fv =
        [](GLint, GLsizei, GLboolean, const GLfloat* m) {
            record("uniformMatrix4fv");
            programMatrix[programInUse].assign(m, m + 16);
        },
    .genFramebuffers = [](GLsizei n, GLuint* out) { makeNames("genFramebuffers", n, out); },
    .bindFramebuffer = [](GLenum target, GLuint f) { record("bindFramebuffer", {double(target), double(f)}); },
    .genRenderbuffers = [](GLsizei n, GLuint* out) { makeNames("genRenderbuffers", n, out); },
    .bindRenderbuffer = [](GLenum, GLuint) {},
    .renderbufferStorage = [](GLenum, GLenum format, GLsizei w, GLsizei h) { record("renderbufferStorage", {double(format), double(w), double(h)}); },
    .renderbufferStorageMultisample =
        [](GLenum, GLsizei samples, GLenum format, GLsizei w, GLsizei h) {
            record("renderbufferStorageMultisample", {double(samples), double(format), double(w), double(h)});
        },
    .deleteRenderbuffers = [](GLsizei n, const GLuint*) { record("deleteRenderbuffers", {double(n)}); },
    .deleteFramebuffers = [](GLsizei n, const GLuint*) { record("deleteFramebuffers", {double(n)}); },
    .framebufferRenderbuffer = [](GLenum, GLenum, GLenum, GLuint) {},
    .checkFramebufferStatus = [](GLenum) { return GLenum(0x8CD5); }, // complete
    .blitFramebuffer =
        [](GLint x0, GLint y0, GLint x1, GLint y1, GLint dx0, GLint dy0, GLint dx1, GLint dy1, GLbitfield, GLenum) {
            record("blitFramebuffer", {double(x0), double(y0), double(x1), double(y1), double(dx0), double(dy0), double(dx1),
                                       double(dy1)});
        },
    .readPixels = [](GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) { record("readPixels"); },
};

size_t countCalls(const char* name, size_t from = 0)
{
    return size_t(std::count_if(webglLog.begin() + std::ptrdiff_t(from), webglLog.end(),
                                [&](const WebGLCall& c) { return c.name == name; }));
}

std::string describe(size_t from = 0)
{
    std::string s;
    for (size_t i = from; i < webglLog.size(); ++i) {
        s += "  " + webglLog[i].name + "(";
        for (size_t a = 0; a < webglLog[i].args.size(); ++a)
            s += (a ? ", " : "") + std::to_string(webglLog[i].args[a]);
        s += ")\n";
    }
    return s;
}

// The sources of the program each draw call from `from` on was made with.
std::vector<std::string> drawingPrograms(size_t from = 0)
{
    GLuint inUse = 0;
    std::vector<std::string> programs;
    for (size_t i = 0; i < webglLog.size(); ++i) {
        if (webglLog[i].name == "useProgram")
            inUse = GLuint(webglLog[i].args[0]);
        else if (webglLog[i].name == "drawArrays" && i >= from)
            programs.push_back(programText[inUse]);
    }
    return programs;
}

// A line's triangles, as glcompat sends them: each end's two corners, the line between.
Position middle(const Position& a, const Position& b)
{
    return {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2, (a.w + b.w) / 2};
}
Position edgeStart(const Draw& d, int e) { return middle(d.vertices[size_t(6 * e)], d.vertices[size_t(6 * e + 1)]); }
Position edgeEnd(const Draw& d, int e) { return middle(d.vertices[size_t(6 * e + 5)], d.vertices[size_t(6 * e + 2)]); }

bool near(const Position& a, const Position& b)
{
    auto close = [](float p, float q) { return std::fabs(p - q) <= 1e-5f * (1 + std::fabs(p)); };
    return close(a.x, b.x) && close(a.y, b.y) && close(a.z, b.z) && close(a.w, b.w);
}

// ---- the GL side -------------------------------------------------------------------------

using Corners = float[4][3];
const Corners kCounterClockwise = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
const Corners kClockwise = {{-1, -1, 0}, {-1, 1, 0}, {1, 1, 0}, {1, -1, 0}};

void quad(const Corners& v)
{
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i)
        glVertex3f(v[i][0], v[i][1], v[i][2]);
    glEnd();
}

void point(float x, float y, float z)
{
    glBegin(GL_POINTS);
    glVertex3f(x, y, z);
    glEnd();
}

// A new texture name bound, with a picture of one pixel.
GLuint onePixelTexture(const unsigned char (&rgba)[4])
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return name;
}

// The scenes' camera: a 45 degree perspective, the quad five units in front of the eye.
void lookAtQuadFromFiveUnits()
{
    glMatrixMode(GL_PROJECTION);
    gluPerspective(45, double(kW) / kH, 0.1, 100);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0, 0, -5);
}

class Glcompat : public ::testing::Test {
protected:
    void SetUp() override
    {
        webglLog.clear();
        draws.clear();
        buffers.clear(); // a new context
        programMatrix.clear();
        std::fill(std::begin(attributes), std::end(attributes), Attribute{});
        ASSERT_TRUE(glcompatStart(kRecordingWebGL, kW, kH));
        webglLog.clear();
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
};

TEST_F(Glcompat, MatrixStacksOverflowAndUnderflowWithGlsErrorsAndStayAsTheyWere)
{
    glPopMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_STACK_UNDERFLOW)) << "popping the only model-view matrix";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "reading the error clears it";

    glTranslatef(1, 0, 0);
    for (int i = 1; i < 32; ++i)
        glPushMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "the model-view stack holds 32";
    glTranslatef(0, 1, 0);
    glPushMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_STACK_OVERFLOW)) << "a 33rd model-view matrix";
    point(0, 0, 0);
    for (int i = 1; i < 32; ++i)
        glPopMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "the refused push left 31 pops, not 32";
    point(0, 0, 0);
    glPopMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_STACK_UNDERFLOW));
    glFinish();
    ASSERT_EQ(draws.size(), 1u) << describe();
    ASSERT_EQ(draws[0].vertices.size(), 2u);
    EXPECT_EQ(draws[0].vertices[0], (Position{1, 1, 0, 1})) << "the top kept its own translation";
    EXPECT_EQ(draws[0].vertices[1], (Position{1, 0, 0, 1})) << "popping back restored the bottom";

    glMatrixMode(GL_PROJECTION);
    for (int i = 1; i < 4; ++i)
        glPushMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "the projection stack holds 4";
    glPushMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_STACK_OVERFLOW)) << "a 5th projection matrix";
    for (int i = 1; i < 4; ++i)
        glPopMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glPopMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_STACK_UNDERFLOW));
}

TEST_F(Glcompat, BackFacingQuadInLineModeGivesItsEdgesAndFrontFacingStaysFilled)
{
    // Scene 7's cubes: the front faces filled, the back faces in line mode.
    glPolygonMode(GL_FRONT, GL_FILL);
    glPolygonMode(GL_BACK, GL_LINE);
    lookAtQuadFromFiveUnits();

    quad(kCounterClockwise);
    glFinish();
    quad(kClockwise);
    glFinish();
    glRotatef(180, 0, 1, 0); // turned away: the counter-clockwise corners now run clockwise on screen
    quad(kCounterClockwise);
    glFinish();

    ASSERT_EQ(draws.size(), 3u) << describe();
    EXPECT_EQ(draws[0].mode, GLenum(GL_TRIANGLES)) << "the front face is filled";
    EXPECT_EQ(draws[0].vertices.size(), 6u) << "as two triangles";
    for (const Draw& back : {draws[1], draws[2]}) {
        ASSERT_EQ(back.mode, GLenum(GL_TRIANGLES)) << "a back face's edges, as thin triangles";
        ASSERT_EQ(back.vertices.size(), 24u) << "four edges of two triangles each, no diagonal";
        for (int e = 0; e < 4; ++e)
            EXPECT_TRUE(near(edgeEnd(back, e), edgeStart(back, (e + 1) % 4)))
                << "edge " << e << " ends where the next starts";
    }
    // The edges run round the same corners the filled face covers.
    for (int e = 0; e < 4; ++e)
        EXPECT_TRUE(std::any_of(draws[0].vertices.begin(), draws[0].vertices.end(),
                                [&](const Position& p) { return near(p, edgeStart(draws[1], e)); }))
            << "corner " << e << " " << edgeStart(draws[1], e);

    // Both faces in line mode: the front face too gives its edges.
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glLoadIdentity();
    glTranslatef(0, 0, -5);
    quad(kCounterClockwise);
    glFinish();
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_EQ(draws[3].mode, GLenum(GL_TRIANGLES));
    EXPECT_EQ(draws[3].vertices.size(), 24u);
}

TEST_F(Glcompat, FilledAndOutlinedFacesInTurnStayOneDrawCallInTheirOrder)
{
    // Scene 7's runs: a cube with filled front faces, then one all in line mode, and again,
    // with the same state set before each.
    lookAtQuadFromFiveUnits();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned char pixels[2 * 2 * 4] = {};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glEnable(GL_TEXTURE_2D);
    glPolygonMode(GL_BACK, GL_LINE);
    constexpr int kCubes = 40;
    for (int i = 0; i < kCubes; ++i) {
        const bool outlined = i % 2 == 1;
        glBindTexture(GL_TEXTURE_2D, texture);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glPolygonMode(outlined ? GL_FRONT_AND_BACK : GL_FRONT, outlined ? GL_LINE : GL_FILL);
        glColor4f(1, 1, 1, 0.05f);
        quad(kCounterClockwise);
        quad(kClockwise);
    }
    glFinish();
    ASSERT_EQ(draws.size(), 1u) << describe();
    // Each pair: filled (6) and in line mode behind (24); all outlined: 24 and 24.
    ASSERT_EQ(draws[0].vertices.size(), size_t(kCubes / 2 * (6 + 24 + 24 + 24)));
    // In the order sent: the first cube's filled face, then its back face's edges, thin.
    auto windowWidth = [](const Position& a, const Position& b) {
        return std::hypot((a.x / a.w - b.x / b.w) * kW / 2, (a.y / a.w - b.y / b.w) * kH / 2);
    };
    EXPECT_GT(windowWidth(draws[0].vertices[0], draws[0].vertices[2]), 10) << "a filled face comes first";
    EXPECT_NEAR(windowWidth(draws[0].vertices[6], draws[0].vertices[7]), 1, 1e-3) << "then an edge, one pixel wide";
}

TEST_F(Glcompat, LinesAreGlsParallelogramsOfTheLineWidthClippedAtTheEye)
{
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f) << "GL's default";
    glLineWidth(0);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    glLineWidth(3);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);

    // In window pixels (the viewport is kW x kH): each end's two corners lie the width apart
    // along the minor axis, y for a mostly horizontal line, x for a mostly vertical one; seen in
    // perspective too, where the offsets must be taken back to clip space by each end's own w.
    struct Case {
        float from[3], to[3];
        bool xMajor;
        bool perspective;
    };
    const Case cases[] = {
        {{-0.5f, 0, 0}, {0.5f, 0.25f, 0}, true, false},
        {{0.1f, -0.6f, 0}, {-0.2f, 0.7f, 0}, false, false},
        {{-1, -0.5f, 0}, {1, 0.5f, -20}, true, true},
    };
    auto identities = [] {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    };
    for (const Case& c : cases) {
        draws.clear();
        identities();
        if (c.perspective)
            lookAtQuadFromFiveUnits();
        glBegin(GL_LINES);
        glVertex3f(c.from[0], c.from[1], c.from[2]);
        glVertex3f(c.to[0], c.to[1], c.to[2]);
        glEnd();
        glFinish();
        ASSERT_EQ(draws.size(), 1u) << describe();
        ASSERT_EQ(draws[0].mode, GLenum(GL_TRIANGLES));
        ASSERT_EQ(draws[0].vertices.size(), 6u);
        const std::vector<Position>& v = draws[0].vertices;
        for (const auto& [p, q] : {std::pair{v[0], v[1]}, std::pair{v[5], v[2]}}) { // across each end
            EXPECT_FLOAT_EQ(p.w, q.w) << "both corners of an end keep its w";
            EXPECT_FLOAT_EQ(p.z, q.z);
            const double dx = (q.x / q.w - p.x / p.w) * kW / 2, dy = (q.y / q.w - p.y / p.w) * kH / 2;
            EXPECT_NEAR(c.xMajor ? dy : dx, 3, 1e-3) << "across, by the width";
            EXPECT_NEAR(c.xMajor ? dx : dy, 0, 1e-3) << "along the minor axis only";
        }
    }

    // Through the eye plane: cut at the near plane; wholly behind the eye: nothing.
    identities();
    lookAtQuadFromFiveUnits();
    draws.clear();
    glBegin(GL_LINES);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 1, 10);
    glVertex3f(-1, 0, 6);
    glVertex3f(1, 0, 8);
    glEnd();
    glFinish();
    ASSERT_EQ(draws.size(), 1u) << describe();
    ASSERT_EQ(draws[0].vertices.size(), 6u) << "only the line that reaches in front of the eye";
    for (const Position& p : draws[0].vertices) {
        EXPECT_GT(p.w, 0) << p;
        EXPECT_GE(p.z, -p.w * (1 + 1e-5f)) << "inside the near plane " << p;
    }
    EXPECT_NEAR(draws[0].vertices[2].z, -draws[0].vertices[2].w, 1e-4) << "the far end is cut at the near plane";

    // A cube face wholly behind the eye, filled or outlined, and one wholly off to the side:
    // GL's clipping leaves nothing of them, so nothing is sent.
    draws.clear();
    for (const GLenum mode : {GL_FILL, GL_LINE}) {
        glPolygonMode(GL_FRONT_AND_BACK, mode);
        glPushMatrix();
        glTranslatef(0, 0, 10);
        quad(kCounterClockwise);
        glTranslatef(40, 0, -20);
        quad(kCounterClockwise);
        glPopMatrix();
    }
    glFinish();
    EXPECT_TRUE(draws.empty()) << describe();
}

TEST_F(Glcompat, AMultisampledFrameDrawsRectangularLinesIsResolvedWhenShownAndTakesNewSizes)
{
    auto calls = [](const char* name, size_t from) {
        std::vector<std::vector<double>> r;
        for (size_t i = from; i < webglLog.size(); ++i)
            if (webglLog[i].name == name)
                r.push_back(webglLog[i].args);
        return r;
    };
    constexpr int kBigW = 128, kBigH = 96;
    webglLog.clear();
    ASSERT_TRUE(glcompatStart(kRecordingWebGL, kBigW, kBigH, 8));
    EXPECT_EQ(glcompatFrameSamples(), 4) << "no more samples than WebGL offers";
    const std::vector<std::vector<double>> multisampled = {{4, GL_RGBA8, kBigW, kBigH}, {4, 0x81A6, kBigW, kBigH}};
    EXPECT_EQ(calls("renderbufferStorageMultisample", 0), multisampled) << describe();

    // Multisampled, a line is a rectangle about the segment: each end's corners lie across it.
    glLineWidth(2);
    glBegin(GL_LINES);
    glVertex3f(-0.5f, -0.5f, 0);
    glVertex3f(0.5f, 0.2f, 0);
    glEnd();
    glFinish();
    ASSERT_EQ(draws.size(), 1u);
    ASSERT_EQ(draws[0].vertices.size(), 6u);
    const Position &a0 = draws[0].vertices[0], &a1 = draws[0].vertices[1];
    const double acrossX = (a1.x - a0.x) * kBigW / 2, acrossY = (a1.y - a0.y) * kBigH / 2;
    const double alongX = 1.0 * kBigW / 2, alongY = 0.7 * kBigH / 2;
    EXPECT_NEAR(std::hypot(acrossX, acrossY), 2, 1e-3) << "the width, in the frame's pixels";
    EXPECT_NEAR(acrossX * alongX + acrossY * alongY, 0, 1e-3) << "square to the line";
    EXPECT_EQ(countCalls("readPixels"), 1u) << "glFinish still reads a pixel back, from the resolved frame";

    // Shown: resolved at full size, then copied pixel for pixel to the canvas (framebuffer 0).
    size_t from = webglLog.size();
    glcompatPresent();
    const std::vector<std::vector<double>> frame = {{0, 0, kBigW, kBigH, 0, 0, kBigW, kBigH},
                                                    {0, 0, kBigW, kBigH, 0, 0, kBigW, kBigH}};
    EXPECT_EQ(calls("blitFramebuffer", from), frame) << describe(from);
    const std::vector<double> toCanvas = {0x8CA9, 0}; // the draw framebuffer
    const auto binds = calls("bindFramebuffer", from);
    EXPECT_NE(std::find(binds.begin(), binds.end(), toCanvas), binds.end()) << describe(from);

    // A new size: the old frame goes, a new one as multisampled comes; the GL state stays.
    glViewport(0, 0, 64, 48);
    from = webglLog.size();
    ASSERT_TRUE(glcompatResize(2 * kBigW, 2 * kBigH));
    EXPECT_EQ(glcompatFrameWidth(), 2 * kBigW);
    EXPECT_EQ(glcompatFrameHeight(), 2 * kBigH);
    const std::vector<std::vector<double>> bigger = {{4, GL_RGBA8, 2 * kBigW, 2 * kBigH}, {4, 0x81A6, 2 * kBigW, 2 * kBigH}};
    EXPECT_EQ(calls("renderbufferStorageMultisample", from), bigger) << describe(from);
    EXPECT_EQ(calls("deleteRenderbuffers", from).size(), 3u) << "colour, depth and the resolved copy";
    EXPECT_EQ(calls("deleteFramebuffers", from).size(), 2u);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 64);
    from = webglLog.size();
    glcompatPresent();
    ASSERT_EQ(calls("blitFramebuffer", from).size(), 2u);
    EXPECT_EQ(calls("blitFramebuffer", from)[1][6], 2 * kBigW) << describe(from);
}

TEST_F(Glcompat, ALostContextDrawsNothingAndOnItsReturnEverythingIsMadeAgain)
{
    // A picture with padded rows (3 RGB pixels of 9 bytes, rows of 12 at an alignment of 4),
    // two levels, and a wrap mode that WebGL takes under another name.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    std::vector<unsigned char> padded(12 * 2), packed;
    for (size_t i = 0; i < padded.size(); ++i)
        padded[i] = static_cast<unsigned char>(i + 1);
    for (size_t y = 0; y < 2; ++y)
        packed.insert(packed.end(), padded.begin() + std::ptrdiff_t(12 * y), padded.begin() + std::ptrdiff_t(12 * y + 9));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, padded.data());
    const unsigned char small[4] = {7, 8, 9, 10};
    glTexImage2D(GL_TEXTURE_2D, 1, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, small);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    // Lost in the middle of a frame, as the page may be while a scene sleeps: a quad on its
    // way to WebGL goes nowhere.
    lookAtQuadFromFiveUnits();
    quad(kCounterClockwise);
    webglLog.clear();
    uploads.clear();
    glcompatContextLost();
    // While lost: a frame of every kind of call, and a picture given meanwhile.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    quad(kCounterClockwise);
    const unsigned char white[4] = {255, 255, 255, 255};
    onePixelTexture(white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glFinish();
    glcompatPresent();
    ASSERT_TRUE(glcompatResize(2 * kW, 2 * kH));
    EXPECT_TRUE(webglLog.empty()) << "a lost context was called:\n" << describe();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    ASSERT_TRUE(glcompatContextRestored());
    EXPECT_EQ(countCalls("linkProgram"), 8u) << "the drawing programs made again\n" << describe();
    // every level given, rows packed
    std::vector<std::vector<unsigned char>> pictures = {packed, {small, small + 4}, {white, white + 4}};
    std::vector<std::vector<unsigned char>> made = uploads;
    std::sort(made.begin(), made.end());
    std::sort(pictures.begin(), pictures.end());
    EXPECT_EQ(made, pictures) << describe();
    bool packedRows = false;
    for (const WebGLCall& c : webglLog) {
        if (c.name == "pixelStorei" && c.args[0] == GL_UNPACK_ALIGNMENT)
            packedRows = c.args[1] == 1;
        if (c.name == "texImage2D" && c.args[3] == 3) {
            EXPECT_TRUE(packedRows) << "uploaded as packed rows\n" << describe();
        }
    }
    auto parameter = [&](GLenum pname, GLint value) {
        return std::any_of(webglLog.begin(), webglLog.end(), [&](const WebGLCall& c) {
            return c.name == "texParameteri" && c.args[1] == pname && c.args[2] == value;
        });
    };
    EXPECT_TRUE(parameter(GL_TEXTURE_WRAP_S, 0x812F /* clamp to edge */)) << describe();
    EXPECT_TRUE(parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST)) << describe();
    EXPECT_TRUE(parameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST)) << describe();
    const std::vector<std::vector<double>> storage = {{GL_RGBA8, 2 * kW, 2 * kH}, {0x81A6, 2 * kW, 2 * kH}};
    std::vector<std::vector<double>> madeStorage;
    for (const WebGLCall& c : webglLog)
        if (c.name == "renderbufferStorage")
            madeStorage.push_back(c.args);
    EXPECT_EQ(madeStorage, storage) << "the frame, at the size asked for while lost";

    // And the scenes go on as if nothing happened: the state set while lost reaches WebGL.
    const size_t from = webglLog.size();
    glBindTexture(GL_TEXTURE_2D, texture);
    quad(kCounterClockwise);
    glFinish();
    EXPECT_EQ(draws.size(), 1u);
    bool blend = false;
    for (size_t i = from; i < webglLog.size(); ++i)
        blend |= webglLog[i].name == "enable" && webglLog[i].args[0] == GL_BLEND;
    EXPECT_TRUE(blend) << describe(from);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(Glcompat, SettingStateToWhatItIsKeepsTheBatch)
{
    auto setState = [] {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_FOG);
        glFogi(GL_FOG_MODE, GL_EXP);
        glFogf(GL_FOG_DENSITY, 0.15f);
        const GLfloat grey[4] = {0.5f, 0.5f, 0.5f, 1};
        glFogfv(GL_FOG_COLOR, grey);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, kW, kH);
        glViewport(0, 0, kW, kH);
        glBindTexture(GL_TEXTURE_2D, 0);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    };
    lookAtQuadFromFiveUnits();
    setState();
    quad(kCounterClockwise);
    setState();
    quad(kCounterClockwise);
    glFinish();
    ASSERT_EQ(draws.size(), 1u) << "the same state set again ended the batch:\n" << describe();
    EXPECT_EQ(draws[0].vertices.size(), 12u);

    // And a real change does end it.
    quad(kCounterClockwise);
    glFogf(GL_FOG_DENSITY, 0.3f);
    quad(kCounterClockwise);
    glFinish();
    EXPECT_EQ(draws.size(), 3u) << describe();
}

TEST_F(Glcompat, AFlushSendsWebGLOnlyTheStateThatChanged)
{
    lookAtQuadFromFiveUnits();
    glEnable(GL_FOG);
    glFogf(GL_FOG_DENSITY, 0.15f);
    glEnable(GL_SCISSOR_TEST);
    quad(kCounterClockwise);
    glFinish();
    ASSERT_EQ(countCalls("useProgram"), 1u) << "the first draw picks the fog's program\n" << describe();
    EXPECT_EQ(countCalls("uniform4f"), 2u) << "and sends it the fog's parameters and colour";

    size_t from = webglLog.size();
    glEnable(GL_BLEND);
    quad(kCounterClockwise);
    glFinish();
    EXPECT_EQ(countCalls("enable", from), 1u) << describe(from);
    EXPECT_EQ(countCalls("useProgram", from) + countCalls("uniform4f", from), 0u) << "the fog did not change\n"
                                                                                   << describe(from);
    EXPECT_EQ(countCalls("viewport", from) + countCalls("scissor", from) + countCalls("bindTexture", from), 0u)
        << describe(from);

    from = webglLog.size();
    glFogf(GL_FOG_DENSITY, 0.3f);
    quad(kCounterClockwise);
    glFinish();
    ASSERT_EQ(countCalls("uniform4f", from), 1u) << describe(from);
    EXPECT_EQ(countCalls("useProgram", from) + countCalls("enable", from) + countCalls("blendFunc", from), 0u)
        << describe(from);

    // Each program keeps its own uniforms: a density set while another fog mode draws reaches
    // the first program when it draws again, and only then.
    glFogi(GL_FOG_MODE, GL_LINEAR);
    quad(kCounterClockwise);
    glFogf(GL_FOG_DENSITY, 0.45f);
    glFogi(GL_FOG_MODE, GL_EXP);
    from = webglLog.size();
    quad(kCounterClockwise);
    glFinish();
    std::vector<double> sent;
    for (size_t i = from; i < webglLog.size(); ++i)
        if (webglLog[i].name == "uniform4f" && webglLog[i].args[1] != 0)
            sent.push_back(webglLog[i].args[1]);
    EXPECT_EQ(sent, std::vector<double>{0.45f}) << describe(from);

    // Presenting turns WebGL's scissor test off for the copy: the next draw turns it back on.
    glcompatPresent();
    from = webglLog.size();
    quad(kCounterClockwise);
    glFinish();
    bool scissorOn = false;
    for (size_t i = from; i < webglLog.size(); ++i)
        scissorOn |= webglLog[i].name == "enable" && webglLog[i].args[0] == GL_SCISSOR_TEST;
    EXPECT_TRUE(scissorOn) << describe(from);
}

TEST_F(Glcompat, EachBatchIsDrawnWithOnlyTheTexturingAndFogItsPixelsNeed)
{
    GLuint empty = 0;
    glGenTextures(1, &empty);
    const unsigned char grey[4] = {128, 128, 128, 255};
    const GLuint pictured = onePixelTexture(grey);
    lookAtQuadFromFiveUnits();
    struct Case {
        bool texturing;
        GLuint bound;
        GLenum fog; // 0: off
        const char* program;
    };
    const Case cases[] = {
        {false, pictured, 0, "TEXTURED 0\n#define FOG_MODE 0"}, // texturing off
        {true, 0, 0, "TEXTURED 0\n#define FOG_MODE 0"},         // on, with nothing bound
        {true, empty, GL_EXP, "TEXTURED 0\n#define FOG_MODE 1"}, // on, a name without a picture
        {true, pictured, GL_EXP, "TEXTURED 1\n#define FOG_MODE 1"},
        {true, pictured, 0, "TEXTURED 1\n#define FOG_MODE 0"},
        {false, pictured, GL_EXP2, "TEXTURED 0\n#define FOG_MODE 2"},
        {true, pictured, GL_LINEAR, "TEXTURED 1\n#define FOG_MODE 3"},
    };
    for (const Case& c : cases) {
        (c.texturing ? glEnable : glDisable)(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, c.bound);
        (c.fog ? glEnable : glDisable)(GL_FOG);
        if (c.fog)
            glFogi(GL_FOG_MODE, GLint(c.fog));
        quad(kCounterClockwise);
    }
    glFinish();
    const std::vector<std::string> programs = drawingPrograms();
    ASSERT_EQ(programs.size(), std::size(cases)) << describe();
    for (size_t i = 0; i < programs.size(); ++i) {
        EXPECT_NE(programs[i].find(std::string("#define ") + cases[i].program), std::string::npos)
            << "draw " << i << " used:\n" << programs[i];
        // The program's source is one GLSL text under the defines that choose its work.
        EXPECT_EQ(programs[i].rfind("#version 300 es\n", 0), 0u) << programs[i];
    }
}

TEST_F(Glcompat, EveryVertexReachesWebGLInItsOwnColourAndOnlyWhatTheBatchNeedsIsSent)
{
    const Position red{1, 0, 0, 0.5f}, blue{0, 0, 1, 0.25f};
    lookAtQuadFromFiveUnits();
    // One colour, untextured: the positions are all the batch uploads.
    glColor4f(red.x, red.y, red.z, red.w);
    quad(kCounterClockwise);
    quad(kClockwise);
    glEnable(GL_BLEND); // ends the batch
    size_t from = webglLog.size();
    // Red, then blue from the fifth vertex on: the first four keep their red.
    glColor4f(red.x, red.y, red.z, red.w);
    point(0, 0, 0);
    point(0.1f, 0, 0);
    point(0.2f, 0, 0);
    point(0.3f, 0, 0);
    glColor4f(blue.x, blue.y, blue.z, 7); // clamped to 1, as the fixed pipeline clamps it
    point(0.4f, 0, 0);
    point(0.5f, 0, 0);
    glDisable(GL_BLEND);
    // And one colour again, textured.
    const unsigned char grey[4] = {128, 128, 128, 255};
    onePixelTexture(grey);
    glEnable(GL_TEXTURE_2D);
    glColor4f(blue.x, blue.y, blue.z, blue.w);
    quad(kCounterClockwise);
    glFinish();

    ASSERT_EQ(draws.size(), 3u) << describe();
    EXPECT_EQ(draws[0].colours, std::vector<Position>(12, red));
    const Position blueClamped{blue.x, blue.y, blue.z, 1};
    EXPECT_EQ(draws[1].colours, (std::vector<Position>{red, red, red, red, blueClamped, blueClamped}));
    EXPECT_EQ(draws[2].colours, std::vector<Position>(6, blue));
    std::vector<double> uploaded;
    for (const WebGLCall& c : webglLog)
        if (c.name == "bufferData")
            uploaded.push_back(c.args[0]);
    // positions of 4 floats, colours of 4, texture coordinates of 2
    EXPECT_EQ(uploaded, (std::vector<double>{12 * 16, 6 * 16, 6 * 16, 6 * 16, 6 * 8})) << describe(from);
}

// A large mesh drawn again under other matrices is sent once and then only its matrix, and
// still reaches WebGL where the matrices put it; a changed one, or one batch under two
// matrices, is sent afresh.
TEST_F(Glcompat, ALargeMeshDrawnAgainIsNotSentAgainAndLandsWhereItsMatricesPutIt)
{
    constexpr int kColumns = 20, kRows = 10; // 1,200 vertices
    const float dx = 2.0f / kColumns, dy = 2.0f / kRows;
    float shiftS = 0; // added to every texture coordinate
    // Quad (0, 0)'s first corner moved by moveX; each quad's corners, in the order GL is given them.
    auto corners = [&](int r, int c, float moveX, float (&out)[4][2]) {
        const float x = -1 + dx * float(c), y = -1 + dy * float(r);
        const float v[4][2] = {{x + (r == 0 && c == 0 ? moveX : 0), y}, {x + dx, y}, {x + dx, y + dy}, {x, y + dy}};
        std::memcpy(out, v, sizeof v);
    };
    auto drawTurned = [&](float degrees, float moveX) {
        glLoadIdentity();
        glTranslatef(0, 0, -5);
        glRotatef(degrees, 0, 0, 1);
        glBegin(GL_QUADS);
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c) {
                float v[4][2];
                corners(r, c, moveX, v);
                for (const auto& p : v) {
                    glTexCoord2f(p[0] + shiftS, p[1]);
                    glVertex3f(p[0], p[1], 0);
                }
            }
        glEnd();
    };
    // Where WebGL must find (x, y, 0) turned by `degrees` about z, five units out, through the
    // scenes' camera.
    auto expected = [](double degrees, float x, float y) {
        const double pi = std::acos(-1.0), a = degrees * pi / 180, f = 1 / std::tan(22.5 * pi / 180);
        const double n = 0.1, far = 100, z = -5;
        const double tx = std::cos(a) * x - std::sin(a) * y, ty = std::sin(a) * x + std::cos(a) * y;
        return Position{float(f * kH / kW * tx), float(f * ty), float((far + n) / (n - far) * z + 2 * far * n / (n - far)),
                        float(-z)};
    };
    auto landsRight = [&](const Draw& d, std::initializer_list<double> turns, float moveX) {
        size_t at = 0, wrong = 0;
        for (double degrees : turns)
            for (int r = 0; r < kRows; ++r)
                for (int c = 0; c < kColumns; ++c) {
                    float v[4][2];
                    corners(r, c, moveX, v);
                    for (int i : {0, 1, 2, 0, 2, 3}) { // the quad's two triangles
                        const Position want = expected(degrees, v[i][0], v[i][1]);
                        if (at < d.vertices.size() && !near(d.vertices[at], want) && wrong++ < 3)
                            ADD_FAILURE() << "vertex " << at << " at " << degrees << " degrees: " << d.vertices[at]
                                          << ", not " << want;
                        ++at;
                    }
                }
        EXPECT_EQ(d.vertices.size(), at);
        return wrong == 0;
    };
    auto uploaded = [](size_t from) {
        double bytes = 0;
        for (size_t i = from; i < webglLog.size(); ++i)
            if (webglLog[i].name == "bufferData")
                bytes += webglLog[i].args[0];
        return bytes;
    };
    const unsigned char grey[4] = {128, 128, 128, 255};
    onePixelTexture(grey);
    glEnable(GL_TEXTURE_2D);
    lookAtQuadFromFiveUnits();

    size_t from = webglLog.size();
    drawTurned(10, 0);
    glFinish();
    EXPECT_EQ(uploaded(from), 1200 * (12 + 8)) << "the mesh as given, 3 floats a vertex, and its texture coordinates";
    from = webglLog.size();
    drawTurned(40, 0);
    glFinish();
    EXPECT_EQ(uploaded(from), 0) << describe(from);
    from = webglLog.size();
    drawTurned(40, 0.05f);
    glFinish();
    EXPECT_EQ(uploaded(from), 1200 * (12 + 8)) << "a vertex moved\n" << describe(from);
    from = webglLog.size();
    shiftS = 0.5f;
    drawTurned(40, 0.05f);
    glFinish();
    EXPECT_EQ(uploaded(from), 1200 * (12 + 8)) << "new texture coordinates\n" << describe(from);
    shiftS = 0;
    // One batch, two matrices: each vertex goes as the CPU took it to clip space.
    from = webglLog.size();
    drawTurned(10, 0);
    drawTurned(40, 0);
    glFinish();
    EXPECT_EQ(uploaded(from), 2400 * (16 + 8)) << describe(from);

    ASSERT_EQ(draws.size(), 5u);
    EXPECT_TRUE(landsRight(draws[0], {10}, 0));
    EXPECT_TRUE(landsRight(draws[1], {40}, 0));
    EXPECT_TRUE(landsRight(draws[2], {40}, 0.05f));
    EXPECT_TRUE(landsRight(draws[4], {10, 40}, 0));
}

TEST_F(Glcompat, UnsupportedCallOrValueSaysSoOnceAndSetsInvalidEnum)
{
    const GLenum kLighting = 0x0B50;
    testing::internal::CaptureStderr();
    glEnable(kLighting);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    glEnable(kLighting);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM)) << "every time, not only the first";
    glEnable(GL_CULL_FACE);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    glPolygonMode(GL_FRONT, GL_FILL + 1);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    glPolygonMode(0x0406 /* GL_LEFT, no face */, GL_LINE);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM)) << "a mipmap filter is for minification only";
    glDisable(GL_CULL_FACE);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "turning off what can never be on";
    const std::string said = testing::internal::GetCapturedStderr();

    auto lines = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = said.find(what); at != std::string::npos; at = said.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(lines("glEnable(0x0B50)"), 1u) << said;
    EXPECT_EQ(lines("glEnable(0x0B44)"), 1u) << said;
    EXPECT_EQ(lines("glTexEnvi(0x1E01)"), 1u) << said;
    EXPECT_EQ(lines("glPolygonMode(0x1B03)"), 1u) << said;
    EXPECT_EQ(lines("glPolygonMode(0x0406)"), 1u) << said;
    EXPECT_EQ(lines("glTexParameteri(0x2703)"), 1u) << said;
    EXPECT_EQ(lines("glcompat:"), 6u) << said;
    EXPECT_TRUE(webglLog.empty()) << "a refused call reaches WebGL:\n" << describe();

    // The refused polygon modes left the front face filled.
    quad(kCounterClockwise);
    glFinish();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].mode, GLenum(GL_TRIANGLES));
}

TEST_F(Glcompat, PicturesAreStoredAsTheirInternalFormatAsksOrRefused)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    const unsigned char pixels[4 * 4 * 4] = {};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    std::vector<std::vector<double>> stored;
    for (const WebGLCall& c : webglLog)
        if (c.name == "texImage2D")
            stored.push_back({c.args[2], c.args[6]}); // internal format, format
    const std::vector<std::vector<double>> expected = {{GL_RGBA8, GL_RGBA}, {GL_RGB8, GL_RGB}, {GL_RGB8, GL_RGB}};
    EXPECT_EQ(stored, expected) << describe();

    // GL would keep only the colour of RGBA bytes stored as RGB (alpha reads 1), and luminance
    // is no colour at all: WebGL 2 takes neither from RGBA bytes, so both are refused.
    testing::internal::CaptureStderr();
    const size_t from = webglLog.size();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    glTexImage2D(GL_TEXTURE_2D, 0, 0x1909 /* GL_LUMINANCE */, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(countCalls("texImage2D", from), 0u) << describe(from);
    EXPECT_NE(said.find("internal format(0x8051)"), std::string::npos) << said;
    EXPECT_NE(said.find("internal format(0x1909)"), std::string::npos) << said;
}

} // namespace
