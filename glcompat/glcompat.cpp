// SPDX-License-Identifier: MIT
// glcompat/ — GL 1.1 + GLU as this demo calls them, over WebGL 2.
// Implemented:
//   [x] immediate mode: GL_QUADS, GL_TRIANGLES, GL_LINES, GL_POINTS; vertices go through the
//       matrices on the CPU and are batched across glBegin/glEnd while the draw state holds
//   [x] model-view (32 deep) and projection (4 deep) stacks with push/pop; load identity,
//       translate, rotate, scale, multiply; gluPerspective as GLU builds it
//   [x] textures: names, glTexImage2D per level (the loader's own mip chain), filters, repeat
//       wrapping; texture 0, or one without a picture, reads as white as the fixed pipeline's
//       "no texture" does
//   [x] GL_MODULATE, with the colour clamped to [0, 1] as the fixed pipeline clamps it
//   [x] blending, depth test and function, clear colour and depth, viewport, scissor
//   [x] fog per fragment by the eye distance (clip w): GL_EXP as the native fog program does it,
//       GL_EXP2 and GL_LINEAR by GL's formulas (emulated: WebGL has no fixed pipeline)
//   [x] polygon modes, front and back apart: each polygon's facing from its homogeneous area,
//       then filled, drawn as edges (GL_LINES) or as points (emulated: WebGL has no glPolygonMode)
//   [x] glGetIntegerv, glGetFloatv, glIsEnabled, glGetString, glGetError for what is asked here
// Missing (each says so once on the console and sets GL_INVALID_ENUM, never silently):
//   [ ] texture coordinate generation: glTexGeni is kept, enabling GL_TEXTURE_GEN_S/T is refused
//       (the one scene that sets sphere mapping never enables it)
//   [ ] face culling, flat shading, texture environments other than GL_MODULATE, lighting,
//       display lists, glReadPixels: nothing in the demo asks for them
// glFinish waits for the frame by reading one pixel back, since WebGL's finish() need not wait.
#include "glcompat/glcompat.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

// WebGL 2 through emscripten's own bindings, under their emscripten_ names so that the GL 1.1
// names above stay ours.
extern "C" {
void emscripten_glEnable(GLenum);
void emscripten_glDisable(GLenum);
void emscripten_glBlendFunc(GLenum, GLenum);
void emscripten_glDepthFunc(GLenum);
void emscripten_glViewport(GLint, GLint, GLsizei, GLsizei);
void emscripten_glScissor(GLint, GLint, GLsizei, GLsizei);
void emscripten_glClearColor(GLfloat, GLfloat, GLfloat, GLfloat);
void emscripten_glClearDepthf(GLfloat);
void emscripten_glClear(GLbitfield);
void emscripten_glGenTextures(GLsizei, GLuint*);
void emscripten_glDeleteTextures(GLsizei, const GLuint*);
void emscripten_glBindTexture(GLenum, GLuint);
void emscripten_glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
void emscripten_glTexParameteri(GLenum, GLenum, GLint);
void emscripten_glPixelStorei(GLenum, GLint);
void emscripten_glGetIntegerv(GLenum, GLint*);
void emscripten_glGenBuffers(GLsizei, GLuint*);
void emscripten_glBindBuffer(GLenum, GLuint);
void emscripten_glBufferData(GLenum, long, const void*, GLenum);
void emscripten_glGenVertexArrays(GLsizei, GLuint*);
void emscripten_glBindVertexArray(GLuint);
void emscripten_glEnableVertexAttribArray(GLuint);
void emscripten_glVertexAttribPointer(GLuint, GLint, GLenum, GLboolean, GLsizei, const void*);
void emscripten_glDrawArrays(GLenum, GLint, GLsizei);
GLuint emscripten_glCreateShader(GLenum);
void emscripten_glShaderSource(GLuint, GLsizei, const char* const*, const GLint*);
void emscripten_glCompileShader(GLuint);
void emscripten_glGetShaderiv(GLuint, GLenum, GLint*);
void emscripten_glGetShaderInfoLog(GLuint, GLsizei, GLsizei*, char*);
GLuint emscripten_glCreateProgram();
void emscripten_glAttachShader(GLuint, GLuint);
void emscripten_glBindAttribLocation(GLuint, GLuint, const char*);
void emscripten_glLinkProgram(GLuint);
void emscripten_glGetProgramiv(GLuint, GLenum, GLint*);
void emscripten_glUseProgram(GLuint);
GLint emscripten_glGetUniformLocation(GLuint, const char*);
void emscripten_glUniform1i(GLint, GLint);
void emscripten_glUniform4f(GLint, GLfloat, GLfloat, GLfloat, GLfloat);
void emscripten_glGenFramebuffers(GLsizei, GLuint*);
void emscripten_glBindFramebuffer(GLenum, GLuint);
void emscripten_glGenRenderbuffers(GLsizei, GLuint*);
void emscripten_glBindRenderbuffer(GLenum, GLuint);
void emscripten_glRenderbufferStorage(GLenum, GLenum, GLsizei, GLsizei);
void emscripten_glFramebufferRenderbuffer(GLenum, GLenum, GLenum, GLuint);
GLenum emscripten_glCheckFramebufferStatus(GLenum);
void emscripten_glBlitFramebuffer(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);
void emscripten_glReadPixels(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
const GLubyte* emscripten_glGetString(GLenum);
}

namespace {

// WebGL 2 enums beyond GL 1.1.
constexpr GLenum kArrayBuffer = 0x8892, kStreamDraw = 0x88E0, kFloat = 0x1406;
constexpr GLenum kVertexShader = 0x8B31, kFragmentShader = 0x8B30, kCompileStatus = 0x8B81, kLinkStatus = 0x8B82;
constexpr GLenum kFramebuffer = 0x8D40, kReadFramebuffer = 0x8CA8, kDrawFramebuffer = 0x8CA9;
constexpr GLenum kRenderbuffer = 0x8D41, kColourAttachment0 = 0x8CE0, kDepthAttachment = 0x8D00;
constexpr GLenum kFramebufferComplete = 0x8CD5, kDepth24 = 0x81A6;

// ---- errors and the console ------------------------------------------------------------

GLenum pendingError = GL_NO_ERROR;

void setError(GLenum e)
{
    if (pendingError == GL_NO_ERROR)
        pendingError = e;
}

// One console line per unsupported call and value, then only the GL error.
void unsupported(const char* call, GLenum value)
{
    static std::vector<std::string> said;
    char line[96];
    std::snprintf(line, sizeof line, "%s(0x%04X)", call, value);
    setError(GL_INVALID_ENUM);
    for (const std::string& s : said)
        if (s == line)
            return;
    said.emplace_back(line);
    std::fprintf(stderr, "glcompat: %s is not supported over WebGL 2; the call has no effect\n", line);
}

// ---- matrices ----------------------------------------------------------------------------

struct Matrix {
    float m[16]; // column-major, as GL keeps it
};

Matrix identity()
{
    Matrix r{};
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1;
    return r;
}

// a x b, in float as GL's own matrix stack computes it
Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a.m[k * 4 + row] * b.m[c * 4 + k];
            r.m[c * 4 + row] = s;
        }
    return r;
}

constexpr int kModelviewDepth = 32, kProjectionDepth = 4;
Matrix modelview[kModelviewDepth], projection[kProjectionDepth];
int modelviewTop = 0, projectionTop = 0;
GLenum matrixMode = GL_MODELVIEW;
Matrix combined;          // projection x model-view, for the vertices
bool combinedDirty = true;

Matrix& current() { return matrixMode == GL_PROJECTION ? projection[projectionTop] : modelview[modelviewTop]; }

void multiplyCurrent(const Matrix& by)
{
    Matrix& m = current();
    m = multiply(m, by);
    combinedDirty = true;
}

// ---- state -------------------------------------------------------------------------------

struct DrawState { // everything that shapes a batch's pixels; a change ends the batch
    bool blend = false, depthTest = false, texture2D = false, fog = false, scissor = false;
    GLenum blendSrc = GL_ONE, blendDst = GL_ZERO, depthFunc = GL_LESS;
    GLuint texture = 0; // GL name bound
    GLenum fogMode = GL_EXP;
    float fogDensity = 1, fogStart = 0, fogEnd = 1;
    float fogColour[4] = {0, 0, 0, 0};
    GLint viewport[4] = {0, 0, 0, 0};
    GLint scissorBox[4] = {0, 0, 0, 0};
};

DrawState state;
float clearColour[4] = {0, 0, 0, 0};
float clearDepth = 1;
GLenum polygonFront = GL_FILL, polygonBack = GL_FILL;
float colour[4] = {1, 1, 1, 1};
float texCoord[2] = {0, 0};
GLenum texGenMode[2] = {GL_EYE_LINEAR, GL_EYE_LINEAR};
bool drawing = true;
unsigned long drawCalls = 0;
GLint maxTextureSize = 2048;

struct TextureObject {
    GLuint webgl = 0;
    bool hasPicture = false; // level 0 specified
};
std::unordered_map<GLuint, TextureObject> textures; // by GL name
GLuint nextTextureName = 1;

// ---- WebGL objects -----------------------------------------------------------------------

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
GLuint program = 0, vertexBuffer = 0, vertexArray = 0, whiteTexture = 0;
GLuint frameBuffer = 0, colourBuffer = 0, depthBuffer = 0;
GLint frameWidth = 0, frameHeight = 0;
GLint uFogMode = -1, uFogParams = -1, uFogColour = -1, uTexture = -1;

const char kVertexSource[] = R"(#version 300 es
in vec4 aPosition;
in vec2 aTexCoord;
in vec4 aColour;
out vec2 vTexCoord;
out vec4 vColour;
void main() {
    gl_Position = aPosition; // already in clip space: the matrices ran on the CPU
    gl_PointSize = 1.0;
    vTexCoord = aTexCoord;
    vColour = aColour;
}
)";

// Modulate, then fog by the fragment's eye distance: the clip w, 1 / gl_FragCoord.w, as the
// native fog program reads it. uFogMode 0 = off, 1 = GL_EXP, 2 = GL_EXP2, 3 = GL_LINEAR.
const char kFragmentSource[] = R"(#version 300 es
precision highp float;
uniform sampler2D uTexture;
uniform int uFogMode;
uniform vec4 uFogParams; // density, start, end
uniform vec4 uFogColour;
in vec2 vTexCoord;
in vec4 vColour;
out vec4 fragColour;
void main() {
    vec4 lit = texture(uTexture, vTexCoord) * vColour;
    float f = 1.0;
    float z = 1.0 / gl_FragCoord.w;
    if (uFogMode == 1) f = exp(-uFogParams.x * z);
    else if (uFogMode == 2) f = exp(-(uFogParams.x * z) * (uFogParams.x * z));
    else if (uFogMode == 3) f = (uFogParams.z - z) / (uFogParams.z - uFogParams.y);
    f = clamp(f, 0.0, 1.0);
    fragColour = vec4(mix(uFogColour.rgb, lit.rgb, f), lit.a);
}
)";

GLuint compile(GLenum kind, const char* source)
{
    const GLuint shader = emscripten_glCreateShader(kind);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, kCompileStatus, &ok);
    if (!ok) {
        char log[1024] = {};
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "glcompat: shader does not compile: %s\n", log);
    }
    return shader;
}

// ---- the batch ---------------------------------------------------------------------------

struct Vertex {
    float clip[4];
    float st[2];
    float rgba[4];
};
std::vector<Vertex> batch;
GLenum batchPrimitive = GL_TRIANGLES;

// What WebGL has now, so that a flush only sends what changed.
struct Applied {
    bool valid = false;
    DrawState s;
    GLuint webglTexture = 0;
} applied;

GLuint effectiveTexture()
{
    if (!state.texture2D || state.texture == 0)
        return whiteTexture;
    auto it = textures.find(state.texture);
    return it != textures.end() && it->second.hasPicture ? it->second.webgl : whiteTexture;
}

void setCap(GLenum cap, bool on, bool was, bool force)
{
    if (force || on != was)
        (on ? emscripten_glEnable : emscripten_glDisable)(cap);
}

void applyState()
{
    const bool force = !applied.valid;
    const DrawState& a = applied.s;
    setCap(GL_BLEND, state.blend, a.blend, force);
    setCap(GL_DEPTH_TEST, state.depthTest, a.depthTest, force);
    setCap(GL_SCISSOR_TEST, state.scissor, a.scissor, force);
    if (force || state.blendSrc != a.blendSrc || state.blendDst != a.blendDst)
        emscripten_glBlendFunc(state.blendSrc, state.blendDst);
    if (force || state.depthFunc != a.depthFunc)
        emscripten_glDepthFunc(state.depthFunc);
    if (force || std::memcmp(state.viewport, a.viewport, sizeof a.viewport) != 0)
        emscripten_glViewport(state.viewport[0], state.viewport[1], state.viewport[2], state.viewport[3]);
    if (force || std::memcmp(state.scissorBox, a.scissorBox, sizeof a.scissorBox) != 0)
        emscripten_glScissor(state.scissorBox[0], state.scissorBox[1], state.scissorBox[2], state.scissorBox[3]);
    const int fogMode = !state.fog                  ? 0
                        : state.fogMode == GL_EXP2   ? 2
                        : state.fogMode == GL_LINEAR ? 3
                                                     : 1;
    emscripten_glUniform1i(uFogMode, fogMode);
    emscripten_glUniform4f(uFogParams, state.fogDensity, state.fogStart, state.fogEnd, 0);
    emscripten_glUniform4f(uFogColour, state.fogColour[0], state.fogColour[1], state.fogColour[2],
                           state.fogColour[3]);
    const GLuint tex = effectiveTexture();
    if (force || tex != applied.webglTexture) {
        emscripten_glBindTexture(GL_TEXTURE_2D, tex);
        applied.webglTexture = tex;
    }
    applied.s = state;
    applied.valid = true;
}

void flush()
{
    if (batch.empty())
        return;
    if (drawing) {
        applyState();
        emscripten_glBindFramebuffer(kFramebuffer, frameBuffer);
        emscripten_glBindBuffer(kArrayBuffer, vertexBuffer);
        emscripten_glBufferData(kArrayBuffer, long(batch.size() * sizeof(Vertex)), batch.data(), kStreamDraw);
        emscripten_glDrawArrays(batchPrimitive, 0, GLsizei(batch.size()));
        ++drawCalls;
    }
    batch.clear();
}

// Every state change that shapes pixels ends the batch first, if it changes anything.
template <typename T>
void change(T& field, const T& value)
{
    if (field != value) {
        flush();
        field = value;
    }
}

void emit(GLenum primitive, const Vertex& v)
{
    if (primitive != batchPrimitive) {
        flush();
        batchPrimitive = primitive;
    }
    batch.push_back(v);
}

// ---- primitive assembly ------------------------------------------------------------------

GLenum beginMode = 0;
bool insideBegin = false;
Vertex pending[4];
int pendingCount = 0;

// Twice the signed area in window space, from homogeneous coordinates: positive when the
// polygon runs counter-clockwise on screen (GL's front), right also for polygons that cross
// the eye plane, where the clipped part keeps this orientation.
double orientation(const Vertex& a, const Vertex& b, const Vertex& c)
{
    const double ax = a.clip[0], ay = a.clip[1], aw = a.clip[3];
    const double bx = b.clip[0], by = b.clip[1], bw = b.clip[3];
    const double cx = c.clip[0], cy = c.clip[1], cw = c.clip[3];
    return ax * (by * cw - bw * cy) - ay * (bx * cw - bw * cx) + aw * (bx * cy - by * cx);
}

void polygon(const Vertex* v, int n)
{
    double area = orientation(v[0], v[1], v[2]);
    if (n == 4)
        area += orientation(v[0], v[2], v[3]);
    // The viewport's y runs up like GL's window space, so the sign carries over as it is.
    const GLenum mode = area > 0 ? polygonFront : polygonBack;
    if (area == 0 && polygonFront != polygonBack)
        return; // a polygon seen edge-on has no facing and covers no pixels when filled
    switch (mode) {
    case GL_FILL:
        for (int i = 1; i + 1 < n; ++i) {
            emit(GL_TRIANGLES, v[0]);
            emit(GL_TRIANGLES, v[i]);
            emit(GL_TRIANGLES, v[i + 1]);
        }
        break;
    case GL_LINE: // the boundary edges, as GL draws a polygon in line mode
        for (int i = 0; i < n; ++i) {
            emit(GL_LINES, v[i]);
            emit(GL_LINES, v[(i + 1) % n]);
        }
        break;
    default:
        for (int i = 0; i < n; ++i)
            emit(GL_POINTS, v[i]);
        break;
    }
}

int verticesPerPrimitive(GLenum mode)
{
    switch (mode) {
    case GL_POINTS: return 1;
    case GL_LINES: return 2;
    case GL_TRIANGLES: return 3;
    case GL_QUADS: return 4;
    default: return 0;
    }
}

} // namespace

// ---- the front end's calls ----------------------------------------------------------------

bool glcompatInit(const char* selector, int width, int height)
{
    EmscriptenWebGLContextAttributes attrs;
    emscripten_webgl_init_context_attributes(&attrs);
    attrs.majorVersion = 2;
    attrs.minorVersion = 0;
    attrs.alpha = EM_FALSE; // the frame's alpha is the scenes' business, not the page's
    attrs.depth = EM_FALSE; // the off-screen frame has its own
    attrs.stencil = EM_FALSE;
    attrs.antialias = EM_FALSE;
    attrs.preserveDrawingBuffer = EM_FALSE;
    context = emscripten_webgl_create_context(selector, &attrs);
    if (context <= 0) {
        std::fprintf(stderr, "glcompat: this browser gives no WebGL 2 context (%d)\n", int(context));
        return false;
    }
    emscripten_webgl_make_context_current(context);
    emscripten_glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);

    program = emscripten_glCreateProgram();
    emscripten_glAttachShader(program, compile(kVertexShader, kVertexSource));
    emscripten_glAttachShader(program, compile(kFragmentShader, kFragmentSource));
    emscripten_glBindAttribLocation(program, 0, "aPosition");
    emscripten_glBindAttribLocation(program, 1, "aTexCoord");
    emscripten_glBindAttribLocation(program, 2, "aColour");
    emscripten_glLinkProgram(program);
    GLint linked = 0;
    emscripten_glGetProgramiv(program, kLinkStatus, &linked);
    if (!linked) {
        std::fprintf(stderr, "glcompat: the drawing program does not link\n");
        return false;
    }
    emscripten_glUseProgram(program);
    uTexture = emscripten_glGetUniformLocation(program, "uTexture");
    uFogMode = emscripten_glGetUniformLocation(program, "uFogMode");
    uFogParams = emscripten_glGetUniformLocation(program, "uFogParams");
    uFogColour = emscripten_glGetUniformLocation(program, "uFogColour");
    emscripten_glUniform1i(uTexture, 0);

    emscripten_glGenVertexArrays(1, &vertexArray);
    emscripten_glBindVertexArray(vertexArray);
    emscripten_glGenBuffers(1, &vertexBuffer);
    emscripten_glBindBuffer(kArrayBuffer, vertexBuffer);
    for (GLuint i = 0; i < 3; ++i)
        emscripten_glEnableVertexAttribArray(i);
    emscripten_glVertexAttribPointer(0, 4, kFloat, GL_FALSE, sizeof(Vertex), (const void*)offsetof(Vertex, clip));
    emscripten_glVertexAttribPointer(1, 2, kFloat, GL_FALSE, sizeof(Vertex), (const void*)offsetof(Vertex, st));
    emscripten_glVertexAttribPointer(2, 4, kFloat, GL_FALSE, sizeof(Vertex), (const void*)offsetof(Vertex, rgba));

    static const GLubyte kWhite[4] = {255, 255, 255, 255};
    emscripten_glGenTextures(1, &whiteTexture);
    emscripten_glBindTexture(GL_TEXTURE_2D, whiteTexture);
    emscripten_glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, kWhite);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    // The frame the GL calls draw into: colour and depth, like the window's back buffer.
    emscripten_glGenRenderbuffers(1, &colourBuffer);
    emscripten_glBindRenderbuffer(kRenderbuffer, colourBuffer);
    emscripten_glRenderbufferStorage(kRenderbuffer, GL_RGBA8, width, height);
    emscripten_glGenRenderbuffers(1, &depthBuffer);
    emscripten_glBindRenderbuffer(kRenderbuffer, depthBuffer);
    emscripten_glRenderbufferStorage(kRenderbuffer, kDepth24, width, height);
    emscripten_glGenFramebuffers(1, &frameBuffer);
    emscripten_glBindFramebuffer(kFramebuffer, frameBuffer);
    emscripten_glFramebufferRenderbuffer(kFramebuffer, kColourAttachment0, kRenderbuffer, colourBuffer);
    emscripten_glFramebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, depthBuffer);
    if (emscripten_glCheckFramebufferStatus(kFramebuffer) != kFramebufferComplete) {
        std::fprintf(stderr, "glcompat: the off-screen frame is not complete\n");
        return false;
    }
    frameWidth = width;
    frameHeight = height;
    // GL's window defaults: viewport and scissor box the whole surface.
    state.viewport[2] = state.scissorBox[2] = width;
    state.viewport[3] = state.scissorBox[3] = height;
    for (Matrix& m : modelview)
        m = identity();
    for (Matrix& m : projection)
        m = identity();
    applied.valid = false;
    return true;
}

void glcompatPresent()
{
    flush();
    if (!drawing || !frameBuffer)
        return;
    emscripten_glBindFramebuffer(kReadFramebuffer, frameBuffer);
    emscripten_glBindFramebuffer(kDrawFramebuffer, 0);
    emscripten_glDisable(GL_SCISSOR_TEST);
    emscripten_glBlitFramebuffer(0, 0, frameWidth, frameHeight, 0, 0, frameWidth, frameHeight, GL_COLOR_BUFFER_BIT,
                                 GL_NEAREST);
    emscripten_glBindFramebuffer(kFramebuffer, frameBuffer);
    applied.valid = false; // the scissor enable was touched
}

void glcompatSetDrawing(bool on)
{
    flush();
    drawing = on;
}

unsigned long glcompatDrawCalls() { return drawCalls; }

// ---- GL 1.1 ------------------------------------------------------------------------------

extern "C" {

void glBegin(GLenum mode)
{
    if (insideBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (!verticesPerPrimitive(mode)) {
        unsupported("glBegin", mode);
        return;
    }
    insideBegin = true;
    beginMode = mode;
    pendingCount = 0;
}

void glEnd()
{
    if (!insideBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    insideBegin = false; // an unfinished primitive is dropped, as GL drops it
    pendingCount = 0;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!insideBegin || !drawing)
        return; // nothing of an unseen frame is drawn; its state is all in the other calls
    if (combinedDirty) {
        combined = multiply(projection[projectionTop], modelview[modelviewTop]);
        combinedDirty = false;
    }
    Vertex& v = pending[pendingCount++];
    const float* m = combined.m;
    for (int r = 0; r < 4; ++r)
        v.clip[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
    v.st[0] = texCoord[0];
    v.st[1] = texCoord[1];
    for (int c = 0; c < 4; ++c) // the fixed pipeline clamps the colour it interpolates
        v.rgba[c] = colour[c] < 0 ? 0 : colour[c] > 1 ? 1 : colour[c];
    const int n = verticesPerPrimitive(beginMode);
    if (pendingCount < n)
        return;
    pendingCount = 0;
    if (beginMode == GL_POINTS || beginMode == GL_LINES) {
        for (int i = 0; i < n; ++i)
            emit(beginMode, pending[i]);
    } else {
        polygon(pending, n);
    }
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    texCoord[0] = s;
    texCoord[1] = t;
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
    colour[3] = a;
}

void glMatrixMode(GLenum mode)
{
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION) {
        unsupported("glMatrixMode", mode);
        return;
    }
    matrixMode = mode;
}

void glLoadIdentity()
{
    current() = identity();
    combinedDirty = true;
}

void glPushMatrix()
{
    int& top = matrixMode == GL_PROJECTION ? projectionTop : modelviewTop;
    Matrix* stack = matrixMode == GL_PROJECTION ? projection : modelview;
    const int depth = matrixMode == GL_PROJECTION ? kProjectionDepth : kModelviewDepth;
    if (top + 1 >= depth) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    stack[top + 1] = stack[top];
    ++top;
}

void glPopMatrix()
{
    int& top = matrixMode == GL_PROJECTION ? projectionTop : modelviewTop;
    if (top == 0) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    --top;
    combinedDirty = true;
}

void glMultMatrixf(const GLfloat* m)
{
    Matrix by;
    std::memcpy(by.m, m, sizeof by.m);
    multiplyCurrent(by);
}

void glMultMatrixd(const GLdouble* m)
{
    Matrix by;
    for (int i = 0; i < 16; ++i)
        by.m[i] = static_cast<float>(m[i]);
    multiplyCurrent(by);
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    Matrix t = identity();
    t.m[12] = x;
    t.m[13] = y;
    t.m[14] = z;
    multiplyCurrent(t);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    const double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (len == 0)
        return; // GL leaves the matrix as it is for a zero axis
    const double ux = x / len, uy = y / len, uz = z / len;
    const double rad = double(angle) * M_PI / 180.0;
    const double c = std::cos(rad), s = std::sin(rad), k = 1 - c;
    Matrix r = identity();
    r.m[0] = float(ux * ux * k + c);
    r.m[1] = float(uy * ux * k + uz * s);
    r.m[2] = float(ux * uz * k - uy * s);
    r.m[4] = float(ux * uy * k - uz * s);
    r.m[5] = float(uy * uy * k + c);
    r.m[6] = float(uy * uz * k + ux * s);
    r.m[8] = float(ux * uz * k + uy * s);
    r.m[9] = float(uy * uz * k - ux * s);
    r.m[10] = float(uz * uz * k + c);
    multiplyCurrent(r);
}

void glScalef(GLfloat x, GLfloat y, GLfloat z)
{
    Matrix t = identity();
    t.m[0] = x;
    t.m[5] = y;
    t.m[10] = z;
    multiplyCurrent(t);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    if (width < 0 || height < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    if (state.viewport[0] != x || state.viewport[1] != y || state.viewport[2] != width ||
        state.viewport[3] != height) {
        flush();
        state.viewport[0] = x;
        state.viewport[1] = y;
        state.viewport[2] = width;
        state.viewport[3] = height;
    }
}

void glScissor(GLint x, GLint y, GLsizei width, GLsizei height)
{
    if (width < 0 || height < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    flush();
    state.scissorBox[0] = x;
    state.scissorBox[1] = y;
    state.scissorBox[2] = width;
    state.scissorBox[3] = height;
}

static bool* capability(GLenum cap)
{
    switch (cap) {
    case GL_BLEND: return &state.blend;
    case GL_DEPTH_TEST: return &state.depthTest;
    case GL_TEXTURE_2D: return &state.texture2D;
    case GL_FOG: return &state.fog;
    case GL_SCISSOR_TEST: return &state.scissor;
    default: return nullptr;
    }
}

void glEnable(GLenum cap)
{
    if (bool* c = capability(cap))
        change(*c, true);
    else
        unsupported("glEnable", cap);
}

void glDisable(GLenum cap)
{
    if (bool* c = capability(cap))
        change(*c, false);
    else if (cap != GL_CULL_FACE && cap != GL_TEXTURE_GEN_S && cap != GL_TEXTURE_GEN_T) // those are off already
        unsupported("glDisable", cap);
}

GLboolean glIsEnabled(GLenum cap)
{
    if (bool* c = capability(cap))
        return *c ? GL_TRUE : GL_FALSE;
    if (cap == GL_CULL_FACE || cap == GL_TEXTURE_GEN_S || cap == GL_TEXTURE_GEN_T)
        return GL_FALSE;
    unsupported("glIsEnabled", cap);
    return GL_FALSE;
}

void glBlendFunc(GLenum sfactor, GLenum dfactor)
{
    change(state.blendSrc, sfactor);
    change(state.blendDst, dfactor);
}

void glDepthFunc(GLenum func)
{
    if (func < GL_NEVER || func > GL_ALWAYS) {
        unsupported("glDepthFunc", func);
        return;
    }
    change(state.depthFunc, func);
}

void glPolygonMode(GLenum face, GLenum mode)
{
    if (mode != GL_POINT && mode != GL_LINE && mode != GL_FILL) {
        unsupported("glPolygonMode", mode);
        return;
    }
    // Facing is decided per polygon as it is sent, so a change needs no flush.
    if (face == GL_FRONT || face == GL_FRONT_AND_BACK)
        polygonFront = mode;
    if (face == GL_BACK || face == GL_FRONT_AND_BACK)
        polygonBack = mode;
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK)
        unsupported("glPolygonMode", face);
}

void glShadeModel(GLenum mode)
{
    if (mode != GL_SMOOTH)
        unsupported("glShadeModel", mode);
}

void glHint(GLenum target, GLenum mode)
{
    // Hints are allowed to do nothing; WebGL always interpolates with perspective and the fog
    // is per fragment whatever is asked.
    if (target != GL_PERSPECTIVE_CORRECTION_HINT && target != GL_FOG_HINT)
        unsupported("glHint", target);
    (void)mode;
}

void glFogf(GLenum pname, GLfloat param)
{
    switch (pname) {
    case GL_FOG_DENSITY:
        if (param < 0) {
            setError(GL_INVALID_VALUE);
            return;
        }
        change(state.fogDensity, param);
        break;
    case GL_FOG_START: change(state.fogStart, param); break;
    case GL_FOG_END: change(state.fogEnd, param); break;
    case GL_FOG_MODE: glFogi(pname, GLint(param)); break;
    default: unsupported("glFogf", pname);
    }
}

void glFogi(GLenum pname, GLint param)
{
    if (pname == GL_FOG_MODE) {
        const GLenum mode = GLenum(param);
        if (mode != GL_EXP && mode != GL_EXP2 && mode != GL_LINEAR) {
            unsupported("glFogi", mode);
            return;
        }
        change(state.fogMode, mode);
        return;
    }
    glFogf(pname, GLfloat(param));
}

void glFogfv(GLenum pname, const GLfloat* params)
{
    if (pname != GL_FOG_COLOR) {
        glFogf(pname, params[0]);
        return;
    }
    float c[4];
    for (int i = 0; i < 4; ++i)
        c[i] = params[i] < 0 ? 0 : params[i] > 1 ? 1 : params[i];
    if (std::memcmp(c, state.fogColour, sizeof c) != 0) {
        flush();
        std::memcpy(state.fogColour, c, sizeof c);
    }
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a)
{
    const float v[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i)
        clearColour[i] = v[i] < 0 ? 0 : v[i] > 1 ? 1 : v[i];
}

void glClearDepth(GLclampd depth) { clearDepth = float(depth < 0 ? 0 : depth > 1 ? 1 : depth); }

void glClear(GLbitfield mask)
{
    if (mask & ~GLbitfield(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)) {
        unsupported("glClear", mask);
        return;
    }
    flush();
    if (!drawing)
        return;
    applyState(); // the scissor box limits a clear, as in GL
    emscripten_glBindFramebuffer(kFramebuffer, frameBuffer);
    emscripten_glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    emscripten_glClearDepthf(clearDepth);
    emscripten_glClear(mask);
}

void glGenTextures(GLsizei n, GLuint* names)
{
    for (GLsizei i = 0; i < n; ++i) {
        names[i] = nextTextureName++;
        textures[names[i]] = TextureObject{};
    }
}

void glDeleteTextures(GLsizei n, const GLuint* names)
{
    for (GLsizei i = 0; i < n; ++i) {
        auto it = textures.find(names[i]);
        if (it == textures.end())
            continue;
        flush();
        if (it->second.webgl) {
            emscripten_glDeleteTextures(1, &it->second.webgl);
            if (applied.webglTexture == it->second.webgl)
                applied.webglTexture = 0;
        }
        textures.erase(it);
        if (state.texture == names[i])
            state.texture = 0;
    }
}

void glBindTexture(GLenum target, GLuint name)
{
    if (target != GL_TEXTURE_2D) {
        unsupported("glBindTexture", target);
        return;
    }
    if (name != 0 && !textures.count(name))
        textures[name] = TextureObject{}; // GL 1.1 makes a texture on first bind of an unused name
    change(state.texture, name);
}

// The texture the bound name stands for in WebGL, made on first use and left bound there.
static TextureObject* boundObject()
{
    if (state.texture == 0)
        return nullptr;
    TextureObject& t = textures[state.texture];
    if (!t.webgl)
        emscripten_glGenTextures(1, &t.webgl);
    flush();
    emscripten_glBindTexture(GL_TEXTURE_2D, t.webgl);
    applied.webglTexture = t.webgl;
    return &t;
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels)
{
    if (target != GL_TEXTURE_2D || border != 0 || type != GL_UNSIGNED_BYTE || (format != GL_RGBA && format != GL_RGB)) {
        unsupported("glTexImage2D", target != GL_TEXTURE_2D ? target : border != 0 ? GLenum(border) : type != GL_UNSIGNED_BYTE ? type : format);
        return;
    }
    if (width < 0 || height < 0 || width > maxTextureSize || height > maxTextureSize || level < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    TextureObject* t = boundObject();
    if (!t) { // texture 0 is glcompat's white; a picture there would be a change the demo never makes
        unsupported("glTexImage2D on texture", 0);
        return;
    }
    // GL 1.1 takes 3, 4 or a sized format; WebGL 2 wants the sized one that matches format.
    const GLint sized = format == GL_RGBA ? GL_RGBA8 : GL_RGB8;
    (void)internalFormat;
    emscripten_glTexImage2D(GL_TEXTURE_2D, level, sized, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    if (level == 0)
        t->hasPicture = true;
}

void glTexParameteri(GLenum target, GLenum pname, GLint param)
{
    if (target != GL_TEXTURE_2D) {
        unsupported("glTexParameteri", target);
        return;
    }
    if (pname != GL_TEXTURE_MIN_FILTER && pname != GL_TEXTURE_MAG_FILTER && pname != GL_TEXTURE_WRAP_S &&
        pname != GL_TEXTURE_WRAP_T) {
        unsupported("glTexParameteri", pname);
        return;
    }
    if (GLenum(param) == GL_CLAMP) // GL 1.1's clamp samples the border; WebGL's edge clamp is the nearest look
        param = 0x812F;            // GL_CLAMP_TO_EDGE
    if (boundObject()) // texture 0 is glcompat's white, whose filtering nothing can see
        emscripten_glTexParameteri(GL_TEXTURE_2D, pname, param);
}

void glTexEnvi(GLenum target, GLenum pname, GLint param)
{
    if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_MODE || GLenum(param) != GL_MODULATE)
        unsupported("glTexEnvi", GLenum(param));
}

void glTexGeni(GLenum coord, GLenum pname, GLint param)
{
    if ((coord != GL_S && coord != GL_T) || pname != GL_TEXTURE_GEN_MODE) {
        unsupported("glTexGeni", coord);
        return;
    }
    texGenMode[coord - GL_S] = GLenum(param); // kept; generation is only used once enabled
}

void glPixelStorei(GLenum pname, GLint param)
{
    if (pname != GL_UNPACK_ALIGNMENT && pname != GL_PACK_ALIGNMENT) {
        unsupported("glPixelStorei", pname);
        return;
    }
    emscripten_glPixelStorei(pname, param);
}

void glGetIntegerv(GLenum pname, GLint* params)
{
    switch (pname) {
    case GL_MAX_TEXTURE_SIZE: params[0] = maxTextureSize; break;
    case GL_TEXTURE_BINDING_2D: params[0] = GLint(state.texture); break;
    case GL_MATRIX_MODE: params[0] = GLint(matrixMode); break;
    case GL_VIEWPORT: std::memcpy(params, state.viewport, sizeof state.viewport); break;
    case GL_SCISSOR_BOX: std::memcpy(params, state.scissorBox, sizeof state.scissorBox); break;
    default: unsupported("glGetIntegerv", pname);
    }
}

void glGetFloatv(GLenum pname, GLfloat* params)
{
    switch (pname) {
    case GL_COLOR_CLEAR_VALUE: std::memcpy(params, clearColour, sizeof clearColour); break;
    case GL_FOG_COLOR: std::memcpy(params, state.fogColour, sizeof state.fogColour); break;
    case GL_FOG_DENSITY: params[0] = state.fogDensity; break;
    default: unsupported("glGetFloatv", pname);
    }
}

const GLubyte* glGetString(GLenum name)
{
    static std::string renderer;
    switch (name) {
    case GL_VENDOR: return reinterpret_cast<const GLubyte*>("rinta glcompat");
    case GL_VERSION: return reinterpret_cast<const GLubyte*>("1.1 glcompat over WebGL 2");
    case GL_EXTENSIONS: return reinterpret_cast<const GLubyte*>("");
    case GL_RENDERER: {
        const GLubyte* webgl = context > 0 ? emscripten_glGetString(GL_RENDERER) : nullptr;
        renderer = std::string("glcompat over WebGL 2 (") + (webgl ? reinterpret_cast<const char*>(webgl) : "none") + ")";
        return reinterpret_cast<const GLubyte*>(renderer.c_str());
    }
    default: unsupported("glGetString", name); return nullptr;
    }
}

GLenum glGetError()
{
    const GLenum e = pendingError;
    pendingError = GL_NO_ERROR;
    return e;
}

void glFinish()
{
    flush();
    if (!drawing)
        return;
    // WebGL's finish() may return before the work is done; reading a pixel back cannot.
    static GLubyte pixel[4];
    emscripten_glBindFramebuffer(kReadFramebuffer, frameBuffer);
    emscripten_glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    // As GLU builds it: in double, then multiplied onto the current matrix.
    const double radians = fovy / 2 * M_PI / 180;
    const double deltaZ = zFar - zNear, sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0)
        return;
    const double cotangent = std::cos(radians) / sine;
    GLdouble m[16] = {};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / deltaZ;
    glMultMatrixd(m);
}

} // extern "C"
