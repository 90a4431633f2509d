// SPDX-License-Identifier: MIT
// glcompat/ — GL 1.1 + GLU as this demo calls them, over WebGL 2 (reached through the table in
// glcompat/webgl.h; the page fills it from emscripten in glcompat/web_context.cpp).
// Implemented:
//   [x] immediate mode: GL_QUADS, GL_TRIANGLES, GL_LINES, GL_POINTS; vertices go through the
//       matrices on the CPU and are batched across glBegin/glEnd while the draw state holds; a
//       large batch under one matrix goes as given with its matrix, and is kept in WebGL, so the
//       same mesh drawn again is not sent again
//   [x] model-view (32 deep) and projection (4 deep) stacks with push/pop and their overflow and
//       underflow errors; load identity, translate, rotate, scale, multiply; gluPerspective as
//       GLU builds it
//   [x] textures: names, glTexImage2D per level (the loader's own mip chain) of RGB or RGBA bytes
//       stored as internal format 3, 4, GL_RGB, GL_RGBA, GL_RGB8 or GL_RGBA8 asks, filters,
//       repeat wrapping; texture 0, or one without a picture, reads as white as the fixed
//       pipeline's "no texture" does
//   [x] GL_MODULATE, with the colour clamped to [0, 1] as the fixed pipeline clamps it
//   [x] blending, depth test and function, clear colour and depth, viewport, scissor
//   [x] fog per fragment by the eye distance (clip w): GL_EXP as the native fog program does it,
//       GL_EXP2 and GL_LINEAR by GL's formulas (emulated: WebGL has no fixed pipeline)
//   [x] polygon modes, front and back apart: each polygon's facing from its homogeneous area,
//       then filled, drawn as edges or as points (emulated: WebGL has no glPolygonMode)
//   [x] lines (GL_LINES and polygon edges) of any width, as triangles in the filled polygons'
//       batch: GL's parallelogram, or its rectangle when multisampled (emulated: WebGL's
//       lineWidth is 1 on most implementations, and a primitive change would end the batch)
//   [x] glGetIntegerv, glGetFloatv, glIsEnabled, glGetString, glGetError for what is asked here
//   [x] glFinish, emulated: it reads one pixel back, since WebGL's finish() need not wait
//   [x] an off-screen frame of any size, multisampled where asked, resolved when shown or read
//   [x] a lost WebGL context: nothing is drawn meanwhile; on its return the program, the frame
//       and every texture (from a copy of each level's pixels and its parameters) are made again
// Missing (each says so once on the console and sets GL_INVALID_ENUM, never silently):
//   [ ] texture coordinate generation: enabling GL_TEXTURE_GEN_S/T is refused (the one scene
//       that sets sphere mapping never enables it)
//   [ ] face culling, flat shading, texture environments other than GL_MODULATE, lighting,
//       display lists, glReadPixels, other internal formats, RGB storage of RGBA bytes:
//       nothing in the demo asks for them
// Accepted without being done as GL does it (nothing in the demo can see the difference):
//   [~] glDisable of GL_CULL_FACE, GL_TEXTURE_GEN_S or GL_TEXTURE_GEN_T, and glIsEnabled of them
//       (false): they can never be on here, so there is nothing to turn off
//   [~] glTexGeni: the mode is checked and dropped, since generation can never be enabled
//   [~] glHint: hints may do nothing; WebGL always interpolates with perspective, and the fog is
//       per fragment whatever is asked
//   [~] GL_CLAMP wraps as WebGL's clamp to edge: WebGL has no border colour, so the outermost
//       half texel of a linearly filtered texture does not fade towards the border as in GL 1.1
//   [~] glTexParameteri on texture 0 is dropped: texture 0 can hold no picture here (glTexImage2D
//       on it is refused), so its filters and wrapping could never show
//   [~] state calls between glBegin and glEnd take effect instead of setting GL_INVALID_OPERATION
// Adding a call: see "How to add a GL call to glcompat" in the README.
#include "glcompat/glcompat.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "glcompat/webgl.h"

// Nothing in glcompat can sleep: the page's build tells asyncify so by these names (gl*).
namespace glcompat {
namespace {

// WebGL 2 enums beyond GL 1.1.
constexpr GLenum kArrayBuffer = 0x8892, kStreamDraw = 0x88E0, kStaticDraw = 0x88E4, kFloat = 0x1406;
constexpr GLenum kVertexShader = 0x8B31, kFragmentShader = 0x8B30, kCompileStatus = 0x8B81, kLinkStatus = 0x8B82;
constexpr GLenum kFramebuffer = 0x8D40, kReadFramebuffer = 0x8CA8, kDrawFramebuffer = 0x8CA9;
constexpr GLenum kRenderbuffer = 0x8D41, kColourAttachment0 = 0x8CE0, kDepthAttachment = 0x8D00;
constexpr GLenum kFramebufferComplete = 0x8CD5, kDepth24 = 0x81A6, kClampToEdge = 0x812F;
constexpr GLenum kMaxSamples = 0x8D57, kMaxRenderbufferSize = 0x84E8, kMaxViewportDims = 0x0D3A;

GlcompatWebGL webgl; // filled by glcompatStart; nothing is called before

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

// A level's picture as it was given, rows packed, to make it again when the context is lost.
struct TextureLevel {
    GLint level = 0, sized = 0;
    GLsizei width = 0, height = 0;
    GLenum format = 0;
    std::vector<unsigned char> pixels; // empty for a level given without pixels
};

struct TextureObject {
    GLuint webgl = 0;
    bool hasPicture = false; // level 0 specified
    std::vector<TextureLevel> levels;
    // min and mag filter, wrap s and t, as WebGL was given them (its defaults are GL's)
    GLint parameters[4] = {GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, GL_REPEAT, GL_REPEAT};
};

// Whole, so that a vertex goes into the batch's arrays by plain copies.
struct Vec4 {
    float v[4];
};
inline bool same(const Vec4& a, const Vec4& b)
{
    return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2] && a.v[3] == b.v[3];
}
struct Vec2 {
    float v[2];
};
struct Vec3 {
    float v[3];
};

struct Vertex {
    Vec4 clip;
    Vec2 st;
    Vec4 rgba;
    Vec3 object;        // as glVertex gave it
    unsigned space = 0; // the matrices it went through (Context::combinedVersion); 0: made here
};

// Everything the GL calls set, with GL's defaults, and the batch on its way to WebGL;
// glcompatStart starts it afresh.
struct Context {
    GLenum error = GL_NO_ERROR;
    std::vector<std::string> said; // unsupported calls and values already on the console

    Matrix modelview[kModelviewDepth], projection[kProjectionDepth]; // identities from the start
    int modelviewTop = 0, projectionTop = 0;
    GLenum matrixMode = GL_MODELVIEW;
    Matrix combined; // projection x model-view, for the vertices
    bool combinedDirty = true;
    unsigned combinedVersion = 0; // counts the times `combined` was made

    DrawState state;
    float clearColour[4] = {0, 0, 0, 0};
    float clearDepth = 1;
    GLenum polygonFront = GL_FILL, polygonBack = GL_FILL;
    float colour[4] = {1, 1, 1, 1};
    float texCoord[2] = {0, 0};
    float lineWidth = 1;          // in the frame's pixels
    bool rectangularLines = false; // multisampled: lines are rectangles, as GL draws them there
    bool drawing = true;
    bool lost = false; // the WebGL context is gone until it is restored: nothing reaches WebGL
    GLint unpackAlignment = 4, packAlignment = 4;
    unsigned long drawCalls = 0;
    GLint maxTextureSize = 2048;

    std::unordered_map<GLuint, TextureObject> textures; // by GL name
    GLuint nextTextureName = 1;

    // The batch as WebGL reads it, an array for each attribute, so that a flush sends only what
    // its pixels need: no texture coordinates when untextured, and one colour for the whole
    // batch while its vertices share it (Firefox copies every byte uploaded from one process to
    // another, at about 4 ns a byte here: a mesh of 16,000 vertices cost 2.5 ms a frame).
    struct Batch {
        // Grown together; the first `count` of each are the batch. Colours past the first are
        // written only once they vary.
        std::vector<Vec4> positions; // clip x, y, z, w
        std::vector<Vec2> texCoords; // s, t
        std::vector<Vec4> colours;   // r, g, b, a
        std::vector<Vec3> objects;   // as given, while the batch is in one object space
        size_t count = 0;
        bool coloursVary = false;
        // Whether every vertex went through the same matrices, `matrix`, unchanged by glcompat:
        // then WebGL can be sent the vertices as given and the matrix, and a mesh drawn again
        // need not be sent again.
        bool oneSpace = false;
        unsigned space = 0;
        Matrix matrix;
    } batch;
    GLenum batchPrimitive = GL_TRIANGLES;
    // What WebGL has now, so that a flush only sends what changed.
    bool appliedValid = false;
    DrawState applied;
    GLuint appliedTexture = 0;
    bool appliedArrays[3] = {}; // attribute arrays enabled: the texture coordinates and colours
    bool constantColourValid = false;
    Vec4 constantColour; // the colour attribute's value while its array is off
    GLuint positionSource = 0, texCoordSource = 0; // the buffers attributes 0 and 1 read

    GLenum beginMode = 0;
    bool insideBegin = false;
    Vertex pending[4];
    int pendingCount = 0;
};
Context ctx;

// ---- errors and the console ------------------------------------------------------------

void setError(GLenum e)
{
    if (ctx.error == GL_NO_ERROR)
        ctx.error = e;
}

// One console line per unsupported call and value, then only the GL error.
void unsupported(const char* call, GLenum value)
{
    char line[96];
    std::snprintf(line, sizeof line, "%s(0x%04X)", call, value);
    setError(GL_INVALID_ENUM);
    for (const std::string& s : ctx.said)
        if (s == line)
            return;
    ctx.said.emplace_back(line);
    std::fprintf(stderr, "glcompat: %s is not supported over WebGL 2; the call has no effect\n", line);
}

Matrix& current()
{
    return ctx.matrixMode == GL_PROJECTION ? ctx.projection[ctx.projectionTop] : ctx.modelview[ctx.modelviewTop];
}

void multiplyCurrent(const Matrix& by)
{
    Matrix& m = current();
    m = multiply(m, by);
    ctx.combinedDirty = true;
}

// ---- WebGL objects -----------------------------------------------------------------------

// What the flushes use; the vertex array and the frame's buffers stay bound.
GLuint positionBuffer = 0, texCoordBuffer = 0, vertexColourBuffer = 0, frameBuffer = 0;
GLint frameWidth = 0, frameHeight = 0, frameSamples = 0;
// The frame: colour and depth, multisampled or not. A multisampled frame is resolved into a
// single-sampled copy before it is shown or read.
GLuint colourBuffer = 0, depthBuffer = 0, resolveBuffer = 0, resolveColour = 0;

// One drawing program for each texturing and fog mode, each with only the work its pixels
// need: a software rasterizer runs every line of the fragment program for every pixel, and one
// program for all modes cost the fill-bound scenes about a tenth more on llvmpipe. Uniforms
// belong to a program, so each keeps the fog values it was last sent.
constexpr int kFogModes = 4; // off, GL_EXP, GL_EXP2, GL_LINEAR
struct Program {
    GLuint name = 0;
    GLint uMatrix = -1, uFogParams = -1, uFogColour = -1;
    Matrix matrix; // as last sent
    bool matrixSent = false;
    bool fogSent = false;
    float fogParams[3] = {};
    float fogColour[4] = {};
};
Program programs[2 * kFogModes]; // untextured, then textured; by fog mode
int appliedProgram = -1;

const char kVertexSource[] = R"(
uniform mat4 uMatrix; // identity for vertices the CPU took to clip space
in vec4 aPosition;
in vec2 aTexCoord;
in vec4 aColour;
#if TEXTURED
out vec2 vTexCoord;
#endif
out vec4 vColour;
void main() {
    gl_Position = uMatrix * aPosition;
    gl_PointSize = 1.0;
#if TEXTURED
    vTexCoord = aTexCoord;
#endif
    vColour = aColour;
}
)";

// Modulate, then fog by the fragment's eye distance: the clip w, 1 / gl_FragCoord.w, as the
// native fog program reads it. FOG_MODE 0 = off, 1 = GL_EXP, 2 = GL_EXP2, 3 = GL_LINEAR.
const char kFragmentSource[] = R"(
precision highp float;
#if TEXTURED
uniform sampler2D uTexture;
in vec2 vTexCoord;
#endif
#if FOG_MODE
uniform vec4 uFogParams; // density, start, end
uniform vec4 uFogColour;
#endif
in vec4 vColour;
out vec4 fragColour;
void main() {
#if TEXTURED
    vec4 lit = texture(uTexture, vTexCoord) * vColour;
#else
    vec4 lit = vColour;
#endif
#if FOG_MODE
    float z = 1.0 / gl_FragCoord.w;
#if FOG_MODE == 1
    float f = exp(-uFogParams.x * z);
#elif FOG_MODE == 2
    float f = exp(-(uFogParams.x * z) * (uFogParams.x * z));
#else
    float f = (uFogParams.z - z) / (uFogParams.z - uFogParams.y);
#endif
    fragColour = vec4(mix(uFogColour.rgb, lit.rgb, clamp(f, 0.0, 1.0)), lit.a);
#else
    fragColour = lit;
#endif
}
)";

GLuint compile(GLenum kind, const char* source, bool textured, int fogMode)
{
    char head[64];
    std::snprintf(head, sizeof head, "#version 300 es\n#define TEXTURED %d\n#define FOG_MODE %d\n", textured ? 1 : 0,
                  fogMode);
    const char* const parts[2] = {head, source};
    const GLuint shader = webgl.createShader(kind);
    webgl.shaderSource(shader, 2, parts, nullptr);
    webgl.compileShader(shader);
    GLint ok = 0;
    webgl.getShaderiv(shader, kCompileStatus, &ok);
    if (!ok) {
        char log[1024] = {};
        webgl.getShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "glcompat: shader does not compile: %s\n", log);
    }
    return shader;
}

// ---- the batch ---------------------------------------------------------------------------

// The WebGL texture the pixels are modulated by; 0 when untextured (GL's texturing is off, or
// the bound name has no picture yet).
GLuint effectiveTexture()
{
    const DrawState& s = ctx.state;
    if (!s.texture2D || s.texture == 0)
        return 0;
    auto it = ctx.textures.find(s.texture);
    return it != ctx.textures.end() && it->second.hasPicture ? it->second.webgl : 0;
}

void setCap(GLenum cap, bool on, bool was, bool force)
{
    if (force || on != was)
        (on ? webgl.enable : webgl.disable)(cap);
}

// The fog program's mode. Exponential fog of density 0 leaves every colour as it is (scene 7
// keeps fog on that way), so it is drawn as no fog at all.
int fogProgramMode(const DrawState& s)
{
    if (!s.fog || (s.fogMode != GL_LINEAR && s.fogDensity == 0))
        return 0;
    return s.fogMode == GL_EXP2 ? 2 : s.fogMode == GL_LINEAR ? 3 : 1;
}

// Sends WebGL the draw state that changed; whether the batch is textured.
bool applyState()
{
    const bool force = !ctx.appliedValid;
    const DrawState& s = ctx.state;
    const DrawState& a = ctx.applied;
    setCap(GL_BLEND, s.blend, a.blend, force);
    setCap(GL_DEPTH_TEST, s.depthTest, a.depthTest, force);
    setCap(GL_SCISSOR_TEST, s.scissor, a.scissor, force);
    if (force || s.blendSrc != a.blendSrc || s.blendDst != a.blendDst)
        webgl.blendFunc(s.blendSrc, s.blendDst);
    if (force || s.depthFunc != a.depthFunc)
        webgl.depthFunc(s.depthFunc);
    if (force || std::memcmp(s.viewport, a.viewport, sizeof a.viewport) != 0)
        webgl.viewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    if (force || std::memcmp(s.scissorBox, a.scissorBox, sizeof a.scissorBox) != 0)
        webgl.scissor(s.scissorBox[0], s.scissorBox[1], s.scissorBox[2], s.scissorBox[3]);
    const GLuint tex = effectiveTexture();
    const int fogMode = fogProgramMode(s);
    const int which = (tex ? kFogModes : 0) + fogMode;
    Program& p = programs[which];
    if (force || which != appliedProgram) {
        webgl.useProgram(p.name);
        appliedProgram = which;
    }
    const float params[3] = {s.fogDensity, s.fogStart, s.fogEnd};
    if (fogMode && (!p.fogSent || std::memcmp(params, p.fogParams, sizeof params) != 0))
        webgl.uniform4f(p.uFogParams, params[0], params[1], params[2], 0);
    if (fogMode && (!p.fogSent || std::memcmp(s.fogColour, p.fogColour, sizeof p.fogColour) != 0))
        webgl.uniform4f(p.uFogColour, s.fogColour[0], s.fogColour[1], s.fogColour[2], s.fogColour[3]);
    if (fogMode) {
        std::memcpy(p.fogParams, params, sizeof params);
        std::memcpy(p.fogColour, s.fogColour, sizeof p.fogColour);
        p.fogSent = true;
    }
    if (tex && (force || tex != ctx.appliedTexture)) {
        webgl.bindTexture(GL_TEXTURE_2D, tex);
        ctx.appliedTexture = tex;
    }
    ctx.applied = s;
    ctx.appliedValid = true;
    return tex != 0;
}

void setArray(GLuint index, bool on)
{
    if (ctx.appliedArrays[index] != on)
        (on ? webgl.enableVertexAttribArray : webgl.disableVertexAttribArray)(index);
    ctx.appliedArrays[index] = on;
}

template <typename T>
void upload(GLuint buffer, const T* data, size_t count, GLenum usage = kStreamDraw)
{
    webgl.bindBuffer(kArrayBuffer, buffer);
    webgl.bufferData(kArrayBuffer, long(count * sizeof(T)), data, usage);
}

// Points attribute `index` at `buffer`, read `size` floats a vertex, unless it reads it already.
void readFrom(GLuint index, GLuint& source, GLuint buffer, GLint size)
{
    if (source == buffer)
        return;
    webgl.bindBuffer(kArrayBuffer, buffer);
    webgl.vertexAttribPointer(index, size, kFloat, GL_FALSE, 0, nullptr);
    source = buffer;
}

// The large meshes drawn lately, as given to glVertex and kept in WebGL, so that one drawn again
// under other matrices costs a compare instead of an upload (Firefox copies every byte uploaded
// from one process to another: scene 1's ring of 16,000 vertices cost 1 ms a frame there).
constexpr size_t kKeptMeshVertices = 1024; // smaller batches cost less to send than to compare
constexpr int kKeptMeshes = 8;
struct KeptMesh {
    GLuint objects = 0, texCoords = 0; // WebGL buffers, made on first use
    std::vector<Vec3> given;
    std::vector<Vec2> st; // empty when kept for an untextured batch
    unsigned long used = 0;
};
KeptMesh keptMeshes[kKeptMeshes];
unsigned long meshUses = 0;

// The kept mesh holding the batch's vertices (and texture coordinates, when textured), kept
// now in place of the least lately used one when none does.
KeptMesh& keptMesh(bool textured)
{
    const Context::Batch& b = ctx.batch;
    const size_t n = b.count;
    KeptMesh* oldest = &keptMeshes[0];
    for (KeptMesh& m : keptMeshes) {
        if (m.given.size() == n && (!textured || m.st.size() == n) &&
            std::memcmp(m.given.data(), b.objects.data(), n * sizeof(Vec3)) == 0 &&
            (!textured || std::memcmp(m.st.data(), b.texCoords.data(), n * sizeof(Vec2)) == 0)) {
            m.used = ++meshUses;
            return m;
        }
        if (m.used < oldest->used)
            oldest = &m;
    }
    KeptMesh& m = *oldest;
    if (!m.objects) {
        webgl.genBuffers(1, &m.objects);
        webgl.genBuffers(1, &m.texCoords);
    }
    m.given.assign(b.objects.begin(), b.objects.begin() + std::ptrdiff_t(n));
    upload(m.objects, m.given.data(), n, kStaticDraw);
    m.st.clear();
    if (textured) {
        m.st.assign(b.texCoords.begin(), b.texCoords.begin() + std::ptrdiff_t(n));
        upload(m.texCoords, m.st.data(), n, kStaticDraw);
    }
    // The attributes may read the buffers just filled: point them again
    if (ctx.positionSource == m.objects)
        ctx.positionSource = 0;
    if (ctx.texCoordSource == m.texCoords)
        ctx.texCoordSource = 0;
    m.used = ++meshUses;
    return m;
}

void sendMatrix(const Matrix& m)
{
    Program& p = programs[appliedProgram];
    if (p.matrixSent && std::memcmp(p.matrix.m, m.m, sizeof m.m) == 0)
        return;
    webgl.uniformMatrix4fv(p.uMatrix, 1, GL_FALSE, m.m);
    p.matrix = m;
    p.matrixSent = true;
}

// Out of line: every state change may call it, and one copy is smaller in the page's code.
[[gnu::noinline]] void flush()
{
    Context::Batch& b = ctx.batch;
    if (b.count == 0)
        return;
    if (ctx.drawing && !ctx.lost) {
        const bool textured = applyState();
        webgl.bindFramebuffer(kFramebuffer, frameBuffer);
        if (b.oneSpace && b.count >= kKeptMeshVertices) {
            KeptMesh& m = keptMesh(textured);
            readFrom(0, ctx.positionSource, m.objects, 3);
            if (textured)
                readFrom(1, ctx.texCoordSource, m.texCoords, 2);
            sendMatrix(b.matrix);
        } else {
            upload(positionBuffer, b.positions.data(), b.count);
            readFrom(0, ctx.positionSource, positionBuffer, 4);
            if (textured) {
                upload(texCoordBuffer, b.texCoords.data(), b.count);
                readFrom(1, ctx.texCoordSource, texCoordBuffer, 2);
            }
            sendMatrix(identity());
        }
        setArray(1, textured);
        if (b.coloursVary) {
            upload(vertexColourBuffer, b.colours.data(), b.count);
        } else if (!ctx.constantColourValid || !same(ctx.constantColour, b.colours[0])) {
            const float* c = b.colours[0].v;
            webgl.vertexAttrib4f(2, c[0], c[1], c[2], c[3]);
            ctx.constantColour = b.colours[0];
            ctx.constantColourValid = true;
        }
        setArray(2, b.coloursVary);
        webgl.drawArrays(ctx.batchPrimitive, 0, GLsizei(b.count));
        ++ctx.drawCalls;
    }
    b.count = 0;
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

void changeBox(GLint (&box)[4], GLint x, GLint y, GLsizei width, GLsizei height)
{
    const GLint v[4] = {x, y, width, height};
    if (std::memcmp(box, v, sizeof v) != 0) {
        flush();
        std::memcpy(box, v, sizeof v);
    }
}

void emit(GLenum primitive, const Vertex& v)
{
    if (primitive != ctx.batchPrimitive) {
        flush();
        ctx.batchPrimitive = primitive;
    }
    Context::Batch& b = ctx.batch;
    if (b.count == b.positions.size()) {
        const size_t size = std::max<size_t>(1024, 2 * b.count);
        b.positions.resize(size);
        b.texCoords.resize(size);
        b.colours.resize(size);
        b.objects.resize(size);
    }
    if (b.count == 0) {
        b.coloursVary = false;
        b.oneSpace = v.space != 0 && v.space == ctx.combinedVersion;
        b.space = v.space;
        b.matrix = ctx.combined;
    } else if (b.oneSpace && v.space != b.space) {
        // New matrices, perhaps the same values (a scene sets each object's afresh every frame).
        b.oneSpace = v.space != 0 && v.space == ctx.combinedVersion &&
                     std::memcmp(ctx.combined.m, b.matrix.m, sizeof b.matrix.m) == 0;
        b.space = v.space;
    }
    if (b.count != 0 && !b.coloursVary && !same(b.colours[0], v.rgba)) {
        // The first colour that differs: every vertex before it gets the batch's first.
        std::fill(b.colours.begin() + 1, b.colours.begin() + std::ptrdiff_t(b.count), b.colours[0]);
        b.coloursVary = true;
    }
    if (b.count == 0 || b.coloursVary)
        b.colours[b.count] = v.rgba;
    b.positions[b.count] = v.clip;
    b.texCoords[b.count] = v.st;
    b.objects[b.count] = v.object;
    ++b.count;
}

// ---- primitive assembly ------------------------------------------------------------------

// Whether all n vertices lie beyond one plane of the clip volume: then GL's clipping leaves
// nothing of the primitive, and it need not be sent at all (scene 7 has hundreds of cubes
// behind the eye every frame).
bool outsideOnePlane(const Vertex* const* v, int n)
{
    for (int axis = 0; axis < 3; ++axis)
        for (const float side : {1.0f, -1.0f}) {
            int out = 0;
            while (out < n && side * v[out]->clip.v[axis] > v[out]->clip.v[3])
                ++out;
            if (out == n)
                return true;
        }
    return false;
}

// The point where the segment a-b crosses the near plane (clip z = -w), everything interpolated
// linearly in clip space as GL's clipping does.
Vertex nearCrossing(const Vertex& a, const Vertex& b)
{
    const float da = a.clip.v[2] + a.clip.v[3], db = b.clip.v[2] + b.clip.v[3];
    const float t = da / (da - db);
    Vertex v;
    for (int i = 0; i < 4; ++i)
        v.clip.v[i] = a.clip.v[i] + t * (b.clip.v[i] - a.clip.v[i]);
    for (int i = 0; i < 2; ++i)
        v.st.v[i] = a.st.v[i] + t * (b.st.v[i] - a.st.v[i]);
    for (int i = 0; i < 4; ++i)
        v.rgba.v[i] = a.rgba.v[i] + t * (b.rgba.v[i] - a.rgba.v[i]);
    return v;
}

// A line as two triangles in the same stream as the filled polygons, so that switching between
// filled and outlined faces keeps one draw call (and the order, so the blending), and the width
// can be any (WebGL's own lines are one pixel wide almost everywhere). The shape is GL's: a
// parallelogram stretched along the minor axis by the width for single-sampled lines (one pixel
// per column or row at width 1, as aliased lines step), a rectangle about the segment when
// multisampled. Offsets are made in window pixels and taken back to clip space by each end's w,
// so the depth, the fog distance and the perspective of the attributes stay the line's own.
void emitLine(Vertex a, Vertex b)
{
    // The other planes are left to WebGL's clipping of the triangles; the near one must go first,
    // since an end behind the eye has no place on the screen to widen from.
    const Vertex* const ends[2] = {&a, &b};
    if (outsideOnePlane(ends, 2))
        return;
    const bool aIn = a.clip.v[2] >= -a.clip.v[3], bIn = b.clip.v[2] >= -b.clip.v[3];
    if (!aIn)
        a = nearCrossing(a, b);
    else if (!bIn)
        b = nearCrossing(b, a);
    const float vw = float(ctx.state.viewport[2]), vh = float(ctx.state.viewport[3]);
    if (a.clip.v[3] <= 0 || b.clip.v[3] <= 0 || vw <= 0 || vh <= 0)
        return;
    // Window-space direction (the viewport's offset cancels out).
    const float dx = (b.clip.v[0] / b.clip.v[3] - a.clip.v[0] / a.clip.v[3]) * vw / 2;
    const float dy = (b.clip.v[1] / b.clip.v[3] - a.clip.v[1] / a.clip.v[3]) * vh / 2;
    if (dx == 0 && dy == 0)
        return; // a line of no length covers no pixel
    const float half = ctx.lineWidth / 2;
    float ox = 0, oy = 0; // half the width, in window pixels
    if (ctx.rectangularLines) {
        const float length = std::sqrt(dx * dx + dy * dy);
        ox = -dy / length * half;
        oy = dx / length * half;
    } else if (std::fabs(dx) >= std::fabs(dy)) {
        oy = half;
    } else {
        ox = half;
    }
    auto widened = [&](const Vertex& v, float side) {
        Vertex r = v;
        r.space = 0; // a corner of glcompat's own, in no object space
        r.clip.v[0] += side * ox * 2 * v.clip.v[3] / vw;
        r.clip.v[1] += side * oy * 2 * v.clip.v[3] / vh;
        return r;
    };
    const Vertex a0 = widened(a, -1), a1 = widened(a, 1), b0 = widened(b, -1), b1 = widened(b, 1);
    for (const Vertex* v : {&a0, &a1, &b1, &a0, &b1, &b0})
        emit(GL_TRIANGLES, *v);
}

// Twice the signed area in window space, from homogeneous coordinates: positive when the
// polygon runs counter-clockwise on screen (GL's front), right also for polygons that cross
// the eye plane, where the clipped part keeps this orientation.
double orientation(const Vertex& a, const Vertex& b, const Vertex& c)
{
    const double ax = a.clip.v[0], ay = a.clip.v[1], aw = a.clip.v[3];
    const double bx = b.clip.v[0], by = b.clip.v[1], bw = b.clip.v[3];
    const double cx = c.clip.v[0], cy = c.clip.v[1], cw = c.clip.v[3];
    return ax * (by * cw - bw * cy) - ay * (bx * cw - bw * cx) + aw * (bx * cy - by * cx);
}

void polygon(const Vertex* v, int n)
{
    const Vertex* const corners[4] = {&v[0], &v[1], &v[2], n == 4 ? &v[3] : &v[2]};
    if (outsideOnePlane(corners, n))
        return;
    double area = orientation(v[0], v[1], v[2]);
    if (n == 4)
        area += orientation(v[0], v[2], v[3]);
    // The viewport's y runs up like GL's window space, so the sign carries over as it is.
    const GLenum mode = area > 0 ? ctx.polygonFront : ctx.polygonBack;
    if (area == 0 && ctx.polygonFront != ctx.polygonBack)
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
        for (int i = 0; i < n; ++i)
            emitLine(v[i], v[(i + 1) % n]);
        break;
    default:
        for (int i = 0; i < n; ++i)
            emit(GL_POINTS, v[i]);
        break;
    }
}

// The texture the bound name stands for in WebGL, made on first use and left bound there.
TextureObject* boundObject()
{
    if (ctx.state.texture == 0)
        return nullptr;
    TextureObject& t = ctx.textures[ctx.state.texture];
    if (ctx.lost)
        return &t; // kept here, made in WebGL when the context is back
    if (!t.webgl)
        webgl.genTextures(1, &t.webgl);
    flush();
    webgl.bindTexture(GL_TEXTURE_2D, t.webgl);
    ctx.appliedTexture = t.webgl;
    return &t;
}

GLuint renderbuffer(GLenum format, int samples, int width, int height)
{
    GLuint buffer = 0;
    webgl.genRenderbuffers(1, &buffer);
    webgl.bindRenderbuffer(kRenderbuffer, buffer);
    if (samples > 0)
        webgl.renderbufferStorageMultisample(kRenderbuffer, samples, format, width, height);
    else
        webgl.renderbufferStorage(kRenderbuffer, format, width, height);
    return buffer;
}

void destroyFrame()
{
    for (GLuint* f : {&frameBuffer, &resolveBuffer})
        if (*f)
            webgl.deleteFramebuffers(1, f);
    for (GLuint* r : {&colourBuffer, &depthBuffer, &resolveColour})
        if (*r)
            webgl.deleteRenderbuffers(1, r);
    frameBuffer = resolveBuffer = colourBuffer = depthBuffer = resolveColour = 0;
}

bool buildFrame(int width, int height, int samples)
{
    if (samples > 0) {
        resolveColour = renderbuffer(GL_RGBA8, 0, width, height);
        webgl.genFramebuffers(1, &resolveBuffer);
        webgl.bindFramebuffer(kFramebuffer, resolveBuffer);
        webgl.framebufferRenderbuffer(kFramebuffer, kColourAttachment0, kRenderbuffer, resolveColour);
        if (webgl.checkFramebufferStatus(kFramebuffer) != kFramebufferComplete)
            return false;
    }
    colourBuffer = renderbuffer(GL_RGBA8, samples, width, height);
    depthBuffer = renderbuffer(kDepth24, samples, width, height);
    webgl.genFramebuffers(1, &frameBuffer);
    webgl.bindFramebuffer(kFramebuffer, frameBuffer);
    webgl.framebufferRenderbuffer(kFramebuffer, kColourAttachment0, kRenderbuffer, colourBuffer);
    webgl.framebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, depthBuffer);
    return webgl.checkFramebufferStatus(kFramebuffer) == kFramebufferComplete;
}

// The frame the GL calls draw into, like the window's back buffer; with fewer samples, or
// none, where WebGL cannot make as many (said once on the console).
bool makeFrame(int width, int height, int samples)
{
    if (samples > 0) {
        GLint most = 0;
        webgl.getIntegerv(kMaxSamples, &most);
        samples = samples < most ? samples : most;
    }
    bool built = width > 0 && height > 0 && buildFrame(width, height, samples);
    if (!built && samples > 0 && width > 0 && height > 0) {
        std::fprintf(stderr, "glcompat: no %dx multisampled frame here; drawing without multisampling\n", samples);
        destroyFrame();
        samples = 0;
        built = buildFrame(width, height, 0);
    }
    if (!built) {
        destroyFrame();
        std::fprintf(stderr, "glcompat: the off-screen frame (%d x %d) is not complete\n", width, height);
        return false;
    }
    frameWidth = width;
    frameHeight = height;
    frameSamples = samples;
    ctx.rectangularLines = samples > 0;
    ctx.appliedValid = false; // a new framebuffer: the next flush sends everything
    return true;
}

// The finished frame, single-sampled, bound for reading: the multisampled one resolved
// (only the box asked for).
void bindFinishedFrame(int width, int height)
{
    if (frameSamples > 0) {
        webgl.bindFramebuffer(kReadFramebuffer, frameBuffer);
        webgl.bindFramebuffer(kDrawFramebuffer, resolveBuffer);
        webgl.blitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        webgl.bindFramebuffer(kReadFramebuffer, resolveBuffer);
    } else {
        webgl.bindFramebuffer(kReadFramebuffer, frameBuffer);
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

// The drawing programs and the vertex stream, in a new (or restored) context.
bool makeObjects()
{
    // Every program is made before any is asked how it went, so that a browser can build
    // them side by side.
    for (int i = 0; i < 2 * kFogModes; ++i) {
        const bool textured = i >= kFogModes;
        const int fogMode = i % kFogModes;
        const GLuint program = webgl.createProgram();
        webgl.attachShader(program, compile(kVertexShader, kVertexSource, textured, fogMode));
        webgl.attachShader(program, compile(kFragmentShader, kFragmentSource, textured, fogMode));
        webgl.bindAttribLocation(program, 0, "aPosition");
        webgl.bindAttribLocation(program, 1, "aTexCoord");
        webgl.bindAttribLocation(program, 2, "aColour");
        webgl.linkProgram(program);
        programs[i] = Program{};
        programs[i].name = program;
    }
    for (int i = 0; i < 2 * kFogModes; ++i) {
        Program& p = programs[i];
        GLint linked = 0;
        webgl.getProgramiv(p.name, kLinkStatus, &linked);
        if (!linked) {
            std::fprintf(stderr, "glcompat: the drawing program does not link\n");
            return false;
        }
        webgl.useProgram(p.name);
        p.uMatrix = webgl.getUniformLocation(p.name, "uMatrix");
        if (i >= kFogModes)
            webgl.uniform1i(webgl.getUniformLocation(p.name, "uTexture"), 0);
        if (i % kFogModes) {
            p.uFogParams = webgl.getUniformLocation(p.name, "uFogParams");
            p.uFogColour = webgl.getUniformLocation(p.name, "uFogColour");
        }
    }
    appliedProgram = 2 * kFogModes - 1;

    GLuint vertexArray = 0;
    webgl.genVertexArrays(1, &vertexArray);
    webgl.bindVertexArray(vertexArray);
    const struct {
        GLuint* buffer;
        GLint size;
    } arrays[3] = {{&positionBuffer, 4}, {&texCoordBuffer, 2}, {&vertexColourBuffer, 4}};
    for (GLuint i = 0; i < 3; ++i) {
        webgl.genBuffers(1, arrays[i].buffer);
        webgl.bindBuffer(kArrayBuffer, *arrays[i].buffer);
        webgl.vertexAttribPointer(i, arrays[i].size, kFloat, GL_FALSE, 0, nullptr);
    }
    ctx.positionSource = positionBuffer;
    ctx.texCoordSource = texCoordBuffer;
    for (KeptMesh& m : keptMeshes) // their buffers went with the context
        m = KeptMesh{};
    webgl.enableVertexAttribArray(0); // the others as each batch needs them
    ctx.appliedArrays[0] = true;
    ctx.appliedArrays[1] = ctx.appliedArrays[2] = false;
    ctx.constantColourValid = false;

    return true;
}

} // namespace
} // namespace glcompat

using namespace glcompat;

// ---- the front end's calls ----------------------------------------------------------------

bool glcompatStart(const GlcompatWebGL& table, int width, int height, int samples)
{
    webgl = table;
    ctx = Context{};
    for (Matrix& m : ctx.modelview)
        m = identity();
    for (Matrix& m : ctx.projection)
        m = identity();
    webgl.getIntegerv(GL_MAX_TEXTURE_SIZE, &ctx.maxTextureSize);
    if (!makeObjects())
        return false;
    frameBuffer = resolveBuffer = colourBuffer = depthBuffer = resolveColour = 0; // of an earlier context
    if (!makeFrame(width, height, samples))
        return false;
    // GL's window defaults: viewport and scissor box the whole surface.
    ctx.state.viewport[2] = ctx.state.scissorBox[2] = width;
    ctx.state.viewport[3] = ctx.state.scissorBox[3] = height;
    return true;
}

bool glcompatResize(int width, int height)
{
    flush();
    if (ctx.lost) { // made at this size when the context is back
        frameWidth = width;
        frameHeight = height;
        return true;
    }
    if (frameBuffer && width == frameWidth && height == frameHeight)
        return true;
    const int samples = frameSamples;
    destroyFrame();
    return makeFrame(width, height, samples);
}

int glcompatFrameWidth() { return frameWidth; }
int glcompatFrameHeight() { return frameHeight; }
int glcompatFrameSamples() { return frameSamples; }

int glcompatLargestSide()
{
    GLint side = ctx.maxTextureSize, limit = 0, viewport[2] = {0, 0};
    webgl.getIntegerv(kMaxRenderbufferSize, &limit);
    if (limit > 0 && limit < side)
        side = limit;
    webgl.getIntegerv(kMaxViewportDims, viewport);
    for (const GLint v : viewport)
        if (v > 0 && v < side)
            side = v;
    return side;
}

void glcompatContextLost()
{
    ctx.batch.count = 0; // the context is gone already: a frame half drawn is never shown
    ctx.lost = true;
}

bool glcompatContextRestored()
{
    if (!ctx.lost)
        return true;
    ctx.lost = false;
    // Every name of the lost context is gone with it.
    frameBuffer = resolveBuffer = colourBuffer = depthBuffer = resolveColour = 0;
    if (!makeObjects() || !makeFrame(frameWidth, frameHeight, frameSamples))
        return false;
    // The textures again, from the copies kept, under new WebGL names.
    webgl.pixelStorei(GL_UNPACK_ALIGNMENT, 1); // the copies' rows are packed
    for (auto& [name, t] : ctx.textures) {
        t.webgl = 0;
        if (t.levels.empty())
            continue; // made in WebGL when first used, as before
        webgl.genTextures(1, &t.webgl);
        webgl.bindTexture(GL_TEXTURE_2D, t.webgl);
        const GLenum pnames[4] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T};
        for (int i = 0; i < 4; ++i)
            webgl.texParameteri(GL_TEXTURE_2D, pnames[i], t.parameters[i]);
        for (const TextureLevel& l : t.levels)
            webgl.texImage2D(GL_TEXTURE_2D, l.level, l.sized, l.width, l.height, 0, l.format, GL_UNSIGNED_BYTE,
                             l.pixels.empty() ? nullptr : l.pixels.data());
    }
    webgl.pixelStorei(GL_UNPACK_ALIGNMENT, ctx.unpackAlignment);
    webgl.pixelStorei(GL_PACK_ALIGNMENT, ctx.packAlignment);
    ctx.appliedValid = false; // the next flush sends every state
    ctx.appliedTexture = 0;
    return true;
}

void glcompatPresent()
{
    flush();
    if (!ctx.drawing || ctx.lost || !frameBuffer)
        return;
    webgl.disable(GL_SCISSOR_TEST); // a blit is cut by the scissor box too
    bindFinishedFrame(frameWidth, frameHeight);
    webgl.bindFramebuffer(kDrawFramebuffer, 0);
    webgl.blitFramebuffer(0, 0, frameWidth, frameHeight, 0, 0, frameWidth, frameHeight, GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
    webgl.bindFramebuffer(kFramebuffer, frameBuffer);
    ctx.appliedValid = false; // the scissor enable was touched
}

void glcompatSetDrawing(bool on)
{
    flush();
    ctx.drawing = on;
}

unsigned long glcompatDrawCalls() { return ctx.drawCalls; }

// ---- GL 1.1 ------------------------------------------------------------------------------

extern "C" {

void glBegin(GLenum mode)
{
    if (ctx.insideBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    if (!verticesPerPrimitive(mode)) {
        unsupported("glBegin", mode);
        return;
    }
    ctx.insideBegin = true;
    ctx.beginMode = mode;
    ctx.pendingCount = 0;
}

void glEnd()
{
    if (!ctx.insideBegin) {
        setError(GL_INVALID_OPERATION);
        return;
    }
    ctx.insideBegin = false; // an unfinished primitive is dropped, as GL drops it
    ctx.pendingCount = 0;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!ctx.insideBegin || !ctx.drawing || ctx.lost)
        return; // nothing of an unseen frame is drawn; its state is all in the other calls
    if (ctx.combinedDirty) {
        ctx.combined = multiply(ctx.projection[ctx.projectionTop], ctx.modelview[ctx.modelviewTop]);
        ctx.combinedDirty = false;
        ++ctx.combinedVersion;
    }
    Vertex& v = ctx.pending[ctx.pendingCount++];
    v.object = {{x, y, z}};
    v.space = ctx.combinedVersion;
    const float* m = ctx.combined.m;
    for (int r = 0; r < 4; ++r)
        v.clip.v[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
    v.st.v[0] = ctx.texCoord[0];
    v.st.v[1] = ctx.texCoord[1];
    for (int c = 0; c < 4; ++c) // the fixed pipeline clamps the colour it interpolates
        v.rgba.v[c] = ctx.colour[c] < 0 ? 0 : ctx.colour[c] > 1 ? 1 : ctx.colour[c];
    const int n = verticesPerPrimitive(ctx.beginMode);
    if (ctx.pendingCount < n)
        return;
    ctx.pendingCount = 0;
    if (ctx.beginMode == GL_POINTS) {
        emit(GL_POINTS, ctx.pending[0]);
    } else if (ctx.beginMode == GL_LINES) {
        emitLine(ctx.pending[0], ctx.pending[1]);
    } else {
        polygon(ctx.pending, n);
    }
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    ctx.texCoord[0] = s;
    ctx.texCoord[1] = t;
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    ctx.colour[0] = r;
    ctx.colour[1] = g;
    ctx.colour[2] = b;
    ctx.colour[3] = a;
}

void glMatrixMode(GLenum mode)
{
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION) {
        unsupported("glMatrixMode", mode);
        return;
    }
    ctx.matrixMode = mode;
}

void glLoadIdentity()
{
    current() = identity();
    ctx.combinedDirty = true;
}

void glPushMatrix()
{
    const bool projection = ctx.matrixMode == GL_PROJECTION;
    int& top = projection ? ctx.projectionTop : ctx.modelviewTop;
    Matrix* stack = projection ? ctx.projection : ctx.modelview;
    if (top + 1 >= (projection ? kProjectionDepth : kModelviewDepth)) {
        setError(GL_STACK_OVERFLOW);
        return;
    }
    stack[top + 1] = stack[top];
    ++top;
}

void glPopMatrix()
{
    int& top = ctx.matrixMode == GL_PROJECTION ? ctx.projectionTop : ctx.modelviewTop;
    if (top == 0) {
        setError(GL_STACK_UNDERFLOW);
        return;
    }
    --top;
    ctx.combinedDirty = true;
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
    changeBox(ctx.state.viewport, x, y, width, height);
}

void glScissor(GLint x, GLint y, GLsizei width, GLsizei height)
{
    if (width < 0 || height < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    changeBox(ctx.state.scissorBox, x, y, width, height);
}

static bool* capability(GLenum cap)
{
    switch (cap) {
    case GL_BLEND: return &ctx.state.blend;
    case GL_DEPTH_TEST: return &ctx.state.depthTest;
    case GL_TEXTURE_2D: return &ctx.state.texture2D;
    case GL_FOG: return &ctx.state.fog;
    case GL_SCISSOR_TEST: return &ctx.state.scissor;
    default: return nullptr;
    }
}

// Never on here, since enabling them is refused; see the checklist above.
static bool alwaysOff(GLenum cap) { return cap == GL_CULL_FACE || cap == GL_TEXTURE_GEN_S || cap == GL_TEXTURE_GEN_T; }

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
    else if (!alwaysOff(cap))
        unsupported("glDisable", cap);
}

GLboolean glIsEnabled(GLenum cap)
{
    if (bool* c = capability(cap))
        return *c ? GL_TRUE : GL_FALSE;
    if (!alwaysOff(cap))
        unsupported("glIsEnabled", cap);
    return GL_FALSE;
}

// The factors GL 1.1 has and WebGL takes alike.
static bool blendFactor(GLenum f) { return f == GL_ZERO || f == GL_ONE || (f >= GL_SRC_COLOR && f <= GL_ONE_MINUS_DST_COLOR); }

void glBlendFunc(GLenum sfactor, GLenum dfactor)
{
    if (!blendFactor(sfactor) || !blendFactor(dfactor)) {
        unsupported("glBlendFunc", blendFactor(sfactor) ? dfactor : sfactor);
        return;
    }
    change(ctx.state.blendSrc, sfactor);
    change(ctx.state.blendDst, dfactor);
}

void glDepthFunc(GLenum func)
{
    if (func < GL_NEVER || func > GL_ALWAYS) {
        unsupported("glDepthFunc", func);
        return;
    }
    change(ctx.state.depthFunc, func);
}

void glPolygonMode(GLenum face, GLenum mode)
{
    if (mode != GL_POINT && mode != GL_LINE && mode != GL_FILL) {
        unsupported("glPolygonMode", mode);
        return;
    }
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK) {
        unsupported("glPolygonMode", face);
        return;
    }
    // Facing is decided per polygon as it is sent, so a change needs no flush.
    if (face != GL_BACK)
        ctx.polygonFront = mode;
    if (face != GL_FRONT)
        ctx.polygonBack = mode;
}

// Lines are triangles made as they are sent, so a new width needs no flush.
void glLineWidth(GLfloat width)
{
    if (!(width > 0)) {
        setError(GL_INVALID_VALUE);
        return;
    }
    ctx.lineWidth = width;
}

void glShadeModel(GLenum mode)
{
    if (mode != GL_SMOOTH)
        unsupported("glShadeModel", mode);
}

void glHint(GLenum target, GLenum mode)
{
    if (target != GL_PERSPECTIVE_CORRECTION_HINT && target != GL_FOG_HINT)
        unsupported("glHint", target);
    else if (mode != GL_DONT_CARE && mode != GL_FASTEST && mode != GL_NICEST)
        unsupported("glHint", mode);
}

void glFogf(GLenum pname, GLfloat param)
{
    switch (pname) {
    case GL_FOG_DENSITY:
        if (param < 0) {
            setError(GL_INVALID_VALUE);
            return;
        }
        change(ctx.state.fogDensity, param);
        break;
    case GL_FOG_START: change(ctx.state.fogStart, param); break;
    case GL_FOG_END: change(ctx.state.fogEnd, param); break;
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
        change(ctx.state.fogMode, mode);
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
    if (std::memcmp(c, ctx.state.fogColour, sizeof c) != 0) {
        flush();
        std::memcpy(ctx.state.fogColour, c, sizeof c);
    }
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a)
{
    const float v[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i)
        ctx.clearColour[i] = v[i] < 0 ? 0 : v[i] > 1 ? 1 : v[i];
}

void glClearDepth(GLclampd depth) { ctx.clearDepth = float(depth < 0 ? 0 : depth > 1 ? 1 : depth); }

void glClear(GLbitfield mask)
{
    if (mask & ~GLbitfield(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)) {
        unsupported("glClear", mask);
        return;
    }
    flush();
    if (!ctx.drawing || ctx.lost)
        return;
    applyState(); // the scissor box limits a clear, as in GL
    webgl.bindFramebuffer(kFramebuffer, frameBuffer);
    webgl.clearColor(ctx.clearColour[0], ctx.clearColour[1], ctx.clearColour[2], ctx.clearColour[3]);
    webgl.clearDepthf(ctx.clearDepth);
    webgl.clear(mask);
}

void glGenTextures(GLsizei n, GLuint* names)
{
    for (GLsizei i = 0; i < n; ++i) {
        names[i] = ctx.nextTextureName++;
        ctx.textures[names[i]] = TextureObject{};
    }
}

void glDeleteTextures(GLsizei n, const GLuint* names)
{
    for (GLsizei i = 0; i < n; ++i) {
        auto it = ctx.textures.find(names[i]);
        if (it == ctx.textures.end())
            continue;
        flush();
        if (it->second.webgl && !ctx.lost) {
            webgl.deleteTextures(1, &it->second.webgl);
            if (ctx.appliedTexture == it->second.webgl)
                ctx.appliedTexture = 0;
        }
        ctx.textures.erase(it);
        if (ctx.state.texture == names[i])
            ctx.state.texture = 0;
    }
}

void glBindTexture(GLenum target, GLuint name)
{
    if (target != GL_TEXTURE_2D) {
        unsupported("glBindTexture", target);
        return;
    }
    if (name != 0 && !ctx.textures.count(name))
        ctx.textures[name] = TextureObject{}; // GL 1.1 makes a texture on first bind of an unused name
    change(ctx.state.texture, name);
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels)
{
    if (target != GL_TEXTURE_2D || border != 0 || type != GL_UNSIGNED_BYTE || (format != GL_RGBA && format != GL_RGB)) {
        unsupported("glTexImage2D", target != GL_TEXTURE_2D ? target : border != 0 ? GLenum(border) : type != GL_UNSIGNED_BYTE ? type : format);
        return;
    }
    // WebGL 2 stores the sized format that matches format. That reads as GL 1.1's storage for
    // every internal format of RGB or RGBA except RGB storage of RGBA bytes, whose alpha would
    // have to read 1.
    const bool rgbaStored = internalFormat == 4 || internalFormat == GL_RGBA || internalFormat == GL_RGBA8;
    const bool rgbStored = internalFormat == 3 || internalFormat == GL_RGB || internalFormat == GL_RGB8;
    if (!rgbaStored && !(rgbStored && format == GL_RGB)) {
        unsupported("glTexImage2D internal format", GLenum(internalFormat));
        return;
    }
    if (width < 0 || height < 0 || width > ctx.maxTextureSize || height > ctx.maxTextureSize || level < 0) {
        setError(GL_INVALID_VALUE);
        return;
    }
    TextureObject* t = boundObject();
    if (!t) { // texture 0 is glcompat's white; a picture there would be a change the demo never makes
        unsupported("glTexImage2D on texture", 0);
        return;
    }
    const GLint sized = format == GL_RGBA ? GL_RGBA8 : GL_RGB8;
    if (!ctx.lost)
        webgl.texImage2D(GL_TEXTURE_2D, level, sized, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    if (level == 0)
        t->hasPicture = true;
    // A copy, rows packed, for a context that is lost and comes back.
    TextureLevel copy{level, sized, width, height, format, {}};
    if (pixels) {
        const size_t row = size_t(width) * (format == GL_RGBA ? 4 : 3);
        const size_t align = size_t(ctx.unpackAlignment);
        const size_t stride = (row + align - 1) / align * align;
        copy.pixels.resize(row * size_t(height));
        for (GLsizei y = 0; y < height; ++y)
            std::memcpy(copy.pixels.data() + row * size_t(y), static_cast<const unsigned char*>(pixels) + stride * size_t(y),
                        row);
    }
    auto same = std::find_if(t->levels.begin(), t->levels.end(), [&](const TextureLevel& l) { return l.level == level; });
    if (same != t->levels.end())
        *same = std::move(copy);
    else
        t->levels.push_back(std::move(copy));
}

// The values GL 1.1 takes for each parameter glcompat passes on.
static bool textureParameter(GLenum pname, GLenum value)
{
    switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
        if (value >= GL_NEAREST_MIPMAP_NEAREST && value <= GL_LINEAR_MIPMAP_LINEAR)
            return true;
        [[fallthrough]];
    case GL_TEXTURE_MAG_FILTER: return value == GL_NEAREST || value == GL_LINEAR;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T: return value == GL_REPEAT || value == GL_CLAMP;
    default: return false;
    }
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
    if (!textureParameter(pname, GLenum(param))) {
        unsupported("glTexParameteri", GLenum(param));
        return;
    }
    if (GLenum(param) == GL_CLAMP) // WebGL has no border to clamp to; its edge clamp is the nearest look
        param = kClampToEdge;
    TextureObject* t = boundObject(); // texture 0 is glcompat's white, whose filtering nothing can see
    if (!t)
        return;
    t->parameters[pname == GL_TEXTURE_MIN_FILTER ? 0 : pname == GL_TEXTURE_MAG_FILTER ? 1 : pname == GL_TEXTURE_WRAP_S ? 2 : 3] = param;
    if (!ctx.lost)
        webgl.texParameteri(GL_TEXTURE_2D, pname, param);
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
    const GLenum mode = GLenum(param);
    if (mode != GL_OBJECT_LINEAR && mode != GL_EYE_LINEAR && mode != GL_SPHERE_MAP)
        unsupported("glTexGeni", mode);
    // A valid mode is dropped: generation can never be enabled here, so it could never show.
}

void glPixelStorei(GLenum pname, GLint param)
{
    if (pname != GL_UNPACK_ALIGNMENT && pname != GL_PACK_ALIGNMENT) {
        unsupported("glPixelStorei", pname);
        return;
    }
    if (param != 1 && param != 2 && param != 4 && param != 8) {
        setError(GL_INVALID_VALUE);
        return;
    }
    (pname == GL_UNPACK_ALIGNMENT ? ctx.unpackAlignment : ctx.packAlignment) = param;
    if (!ctx.lost)
        webgl.pixelStorei(pname, param);
}

void glGetIntegerv(GLenum pname, GLint* params)
{
    switch (pname) {
    case GL_MAX_TEXTURE_SIZE: params[0] = ctx.maxTextureSize; break;
    case GL_TEXTURE_BINDING_2D: params[0] = GLint(ctx.state.texture); break;
    case GL_MATRIX_MODE: params[0] = GLint(ctx.matrixMode); break;
    case GL_VIEWPORT: std::memcpy(params, ctx.state.viewport, sizeof ctx.state.viewport); break;
    case GL_SCISSOR_BOX: std::memcpy(params, ctx.state.scissorBox, sizeof ctx.state.scissorBox); break;
    default: unsupported("glGetIntegerv", pname);
    }
}

void glGetFloatv(GLenum pname, GLfloat* params)
{
    switch (pname) {
    case GL_COLOR_CLEAR_VALUE: std::memcpy(params, ctx.clearColour, sizeof ctx.clearColour); break;
    case GL_FOG_COLOR: std::memcpy(params, ctx.state.fogColour, sizeof ctx.state.fogColour); break;
    case GL_FOG_DENSITY: params[0] = ctx.state.fogDensity; break;
    case GL_LINE_WIDTH: params[0] = ctx.lineWidth; break;
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
        const GLubyte* inner = webgl.getString ? webgl.getString(GL_RENDERER) : nullptr;
        renderer = std::string("glcompat over WebGL 2 (") + (inner ? reinterpret_cast<const char*>(inner) : "none") + ")";
        return reinterpret_cast<const GLubyte*>(renderer.c_str());
    }
    default: unsupported("glGetString", name); return nullptr;
    }
}

GLenum glGetError()
{
    const GLenum e = ctx.error;
    ctx.error = GL_NO_ERROR;
    return e;
}

void glFinish()
{
    flush();
    if (!ctx.drawing || ctx.lost)
        return;
    // WebGL's finish() may return before the work is done; reading a pixel back cannot.
    static GLubyte pixel[4];
    if (frameSamples > 0) { // the resolve's blit is cut by the scissor box
        webgl.disable(GL_SCISSOR_TEST);
        ctx.appliedValid = false;
    }
    bindFinishedFrame(1, 1);
    webgl.readPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
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
