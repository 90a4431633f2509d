// SPDX-License-Identifier: MIT
// engine/present.cpp — the frame target and its scaled presentation. The scenes keep drawing
// into 640 x 480, as they were written for; the target may be larger (their viewport and line
// widths are scaled onto it) and multisampled (resolved before it is shown or read). Only the
// last step knows the window.
#include "engine/present.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/frontend.h"
#include "engine/gl.h"
#include "engine/projection.h"
#include "engine/textures.h"
#include "platform/platform.h"

#ifndef GL_FRAMEBUFFER
#define GL_FRAMEBUFFER 0x8D40
#define GL_READ_FRAMEBUFFER 0x8CA8
#define GL_DRAW_FRAMEBUFFER 0x8CA9
#define GL_RENDERBUFFER 0x8D41
#define GL_COLOR_ATTACHMENT0 0x8CE0
#define GL_DEPTH_ATTACHMENT 0x8D00
#define GL_FRAMEBUFFER_COMPLETE 0x8CD5
#define GL_DEPTH_COMPONENT24 0x81A6
#endif
#ifndef GL_MAX_RENDERBUFFER_SIZE
#define GL_MAX_RENDERBUFFER_SIZE 0x84E8
#endif
#ifndef GL_MAX_SAMPLES
#define GL_MAX_SAMPLES 0x8D57
#endif
#ifndef GL_MAX_TEXTURE_MAX_ANISOTROPY
#define GL_MAX_TEXTURE_MAX_ANISOTROPY 0x84FF
#endif

namespace {

using GenFn = void (*)(GLsizei, GLuint*);
using DeleteFn = void (*)(GLsizei, const GLuint*);
using BindFn = void (*)(GLenum, GLuint);
using StorageFn = void (*)(GLenum, GLenum, GLsizei, GLsizei);
using StorageMultisampleFn = void (*)(GLenum, GLsizei, GLenum, GLsizei, GLsizei);
using AttachRenderbufferFn = void (*)(GLenum, GLenum, GLenum, GLuint);
using AttachTextureFn = void (*)(GLenum, GLenum, GLenum, GLuint, GLint);
using StatusFn = GLenum (*)(GLenum);
using BlitFn = void (*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);

struct FramebufferApi {
    GenFn genFramebuffers, genRenderbuffers;
    DeleteFn deleteFramebuffers, deleteRenderbuffers;
    BindFn bindFramebuffer, bindRenderbuffer;
    StorageFn renderbufferStorage;
    StorageMultisampleFn renderbufferStorageMultisample; // may be missing: then no multisampling
    AttachRenderbufferFn framebufferRenderbuffer;
    AttachTextureFn framebufferTexture2D;
    StatusFn checkFramebufferStatus;
    BlitFn blitFramebuffer;
} gl{};

// The target the scenes draw into; with multisampling, colour is a multisampled renderbuffer
// and a single-sampled copy (resolve) is what gets shown and read.
GLuint framebuffer = 0, colourTexture = 0, colourBuffer = 0, depthBuffer = 0;
GLuint resolveFramebuffer = 0, resolveTexture = 0;
int targetWidth = 0, targetHeight = 0, targetSamples = 0;
int requestedSamples = 0;    // what the target was asked for, kept for rebuilds
bool followsWindow = false;  // native: rebuilt when the window's 4:3 size changes
RenderSettings settings;

template <typename Fn>
bool load(Fn& fn, const char* name)
{
    fn = reinterpret_cast<Fn>(glProc(name));
    return fn != nullptr;
}

bool loadApi()
{
    load(gl.renderbufferStorageMultisample, "glRenderbufferStorageMultisample");
    return load(gl.genFramebuffers, "glGenFramebuffers") && load(gl.genRenderbuffers, "glGenRenderbuffers") &&
           load(gl.deleteFramebuffers, "glDeleteFramebuffers") &&
           load(gl.deleteRenderbuffers, "glDeleteRenderbuffers") && load(gl.bindFramebuffer, "glBindFramebuffer") &&
           load(gl.bindRenderbuffer, "glBindRenderbuffer") &&
           load(gl.renderbufferStorage, "glRenderbufferStorage") &&
           load(gl.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           load(gl.framebufferTexture2D, "glFramebufferTexture2D") &&
           load(gl.checkFramebufferStatus, "glCheckFramebufferStatus") &&
           load(gl.blitFramebuffer, "glBlitFramebuffer");
}

GLuint makeColourTexture(int width, int height)
{
    GLint previousTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
    return texture;
}

GLuint makeRenderbuffer(GLenum format, int samples, int width, int height)
{
    GLuint buffer = 0;
    gl.genRenderbuffers(1, &buffer);
    gl.bindRenderbuffer(GL_RENDERBUFFER, buffer);
    if (samples > 0)
        gl.renderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
    else
        gl.renderbufferStorage(GL_RENDERBUFFER, format, width, height);
    return buffer;
}

bool buildTarget(int width, int height, int samples)
{
    if (samples > 0) {
        colourBuffer = makeRenderbuffer(GL_RGBA8, samples, width, height);
        depthBuffer = makeRenderbuffer(GL_DEPTH_COMPONENT24, samples, width, height);
        resolveTexture = makeColourTexture(width, height);
        gl.genFramebuffers(1, &resolveFramebuffer);
        gl.bindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer);
        gl.framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, resolveTexture, 0);
        if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            return false;
    } else {
        colourTexture = makeColourTexture(width, height);
        depthBuffer = makeRenderbuffer(GL_DEPTH_COMPONENT24, 0, width, height);
    }
    gl.genFramebuffers(1, &framebuffer);
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    if (samples > 0)
        gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer);
    else
        gl.framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colourTexture, 0);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    return gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// The framebuffer that holds the finished frame single-sampled, for showing or reading.
GLuint finishedFrame()
{
    if (!resolveFramebuffer)
        return framebuffer;
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer);
    gl.blitFramebuffer(0, 0, targetWidth, targetHeight, 0, 0, targetWidth, targetHeight, GL_COLOR_BUFFER_BIT,
                       GL_NEAREST);
    return resolveFramebuffer;
}

// A new size for a target that follows the window: the scenes' viewport keeps its share of it.
void rebuildTarget(int width, int height)
{
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int oldWidth = targetWidth, oldHeight = targetHeight;
    destroyFrameTarget();
    if (!createFrameTarget(width, height, requestedSamples))
        return;
    auto rescale = [](GLint v, int to, int from) { return static_cast<GLint>((static_cast<long long>(v) * to + from / 2) / from); };
    glViewport(rescale(viewport[0], width, oldWidth), rescale(viewport[1], height, oldHeight),
               rescale(viewport[2], width, oldWidth), rescale(viewport[3], height, oldHeight));
}

// Beyond these the driver refuses the target, or the scenes' viewport cannot cover it.
void targetLimits(int& maxWidth, int& maxHeight)
{
    GLint renderbuffer = 0, texture = 0, viewport[2] = {};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    maxWidth = maxHeight = 1 << 30; // a limit the driver does not report is none
    for (const GLint limit : {renderbuffer, texture})
        if (limit > 0) {
            maxWidth = std::min(maxWidth, static_cast<int>(limit));
            maxHeight = std::min(maxHeight, static_cast<int>(limit));
        }
    if (viewport[0] > 0 && viewport[1] > 0) {
        maxWidth = std::min(maxWidth, static_cast<int>(viewport[0]));
        maxHeight = std::min(maxHeight, static_cast<int>(viewport[1]));
    }
}

} // namespace

PresentRect largestTarget(int windowWidth, int windowHeight)
{
    int maxWidth = 0, maxHeight = 0;
    targetLimits(maxWidth, maxHeight);
    return fitTarget(kSceneWidth, kSceneHeight, std::min(windowWidth, maxWidth), std::min(windowHeight, maxHeight));
}

PresentRect fitTarget(int tw, int th, int ww, int wh)
{
    if (tw <= 0 || th <= 0 || ww <= 0 || wh <= 0)
        return {0, 0, 0, 0};
    int width = ww, height = static_cast<int>(static_cast<long long>(ww) * th / tw);
    if (height > wh) {
        height = wh;
        width = static_cast<int>(static_cast<long long>(wh) * tw / th);
    }
    return {(ww - width) / 2, (wh - height) / 2, width, height};
}

bool createFrameTarget(int width, int height, int samples)
{
    if (!loadApi() || width <= 0 || height <= 0)
        return false;
    requestedSamples = samples;
    if (samples > 0) {
        GLint maxSamples = 0;
        glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
        if (!gl.renderbufferStorageMultisample)
            maxSamples = 0;
        samples = std::min(samples, static_cast<int>(maxSamples));
    }
    bool built = buildTarget(width, height, samples);
    if (!built && samples > 0) {
        std::fprintf(stderr, "rinta: no %dx multisampled target here; drawing without multisampling\n", samples);
        destroyFrameTarget();
        samples = 0;
        built = buildTarget(width, height, 0);
    }
    if (!built) {
        destroyFrameTarget();
        return false;
    }
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    targetWidth = width;
    targetHeight = height;
    targetSamples = samples;
    setSceneTargetSize(width, height);
    // The outlines (polygon mode lines) keep their weight against the picture; classic stays 1.
    glLineWidth(std::max(1.0f, static_cast<float>(height) / kSceneHeight));
    return true;
}

void destroyFrameTarget()
{
    if (gl.bindFramebuffer)
        gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
    for (GLuint* fb : {&framebuffer, &resolveFramebuffer})
        if (*fb)
            gl.deleteFramebuffers(1, fb);
    for (GLuint* rb : {&colourBuffer, &depthBuffer})
        if (*rb)
            gl.deleteRenderbuffers(1, rb);
    for (GLuint* texture : {&colourTexture, &resolveTexture})
        if (*texture)
            glDeleteTextures(1, texture);
    framebuffer = resolveFramebuffer = colourBuffer = depthBuffer = colourTexture = resolveTexture = 0;
    targetWidth = targetHeight = targetSamples = 0;
    setSceneTargetSize(kSceneWidth, kSceneHeight);
}

// Unseen frames draw into a one-pixel box that no scene touches: only their state matters to
// later frames (every scene clears before it draws). Frames are shown and read only when seen,
// so the blits above never meet the box.
void setFrameSeen(bool seen)
{
    if (seen) {
        glDisable(GL_SCISSOR_TEST);
    } else {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
    }
}

bool frameTargetActive() { return framebuffer != 0; }
int frameTargetWidth() { return targetWidth; }
int frameTargetHeight() { return targetHeight; }
int frameTargetSamples() { return targetSamples; }

void presentFrameTarget(int windowWidth, int windowHeight)
{
    if (!framebuffer)
        return;
    const GLuint source = finishedFrame();
    const PresentRect r = fitTarget(targetWidth, targetHeight, windowWidth, windowHeight);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, source);
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);

    // The bars, and only the bars: the blit covers the rest. The clear colour and scissor box
    // the scenes rely on are put back.
    GLfloat clear[4];
    GLint box[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glEnable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    const int bars[4][4] = {
        {0, 0, r.x, windowHeight},                                         // left
        {r.x + r.width, 0, windowWidth - r.x - r.width, windowHeight},     // right
        {r.x, 0, r.width, r.y},                                            // bottom
        {r.x, r.y + r.height, r.width, windowHeight - r.y - r.height},     // top
    };
    for (const auto& bar : bars)
        if (bar[2] > 0 && bar[3] > 0) {
            glScissor(bar[0], bar[1], bar[2], bar[3]);
            glClear(GL_COLOR_BUFFER_BIT);
        }
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissor)
        glDisable(GL_SCISSOR_TEST);

    // Integer scaling where it fits exactly keeps pixels crisp; anything else is filtered.
    const bool exact = r.width % targetWidth == 0 && r.height % targetHeight == 0;
    gl.blitFramebuffer(0, 0, targetWidth, targetHeight, r.x, r.y, r.x + r.width, r.y + r.height,
                       GL_COLOR_BUFFER_BIT, exact ? GL_NEAREST : GL_LINEAR);
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);

    // After the frame is shown, never during it: the next frame draws at the new size.
    fitFrameTargetToWindow(windowWidth, windowHeight);
}

void fitFrameTargetToWindow(int windowWidth, int windowHeight)
{
    if (!followsWindow || !framebuffer)
        return;
    const PresentRect fit = largestTarget(windowWidth, windowHeight);
    if (fit.width > 0 && fit.height > 0 && (fit.width != targetWidth || fit.height != targetHeight))
        rebuildTarget(fit.width, fit.height);
}

void readFrameTarget(unsigned char* rgb)
{
    if (!framebuffer)
        return;
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, finishedFrame());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, targetWidth, targetHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

void setRenderSettings(const RenderSettings& s) { settings = s; }

void useAnisotropicFiltering()
{
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (hasExtension(extensions, "GL_EXT_texture_filter_anisotropic") ||
        hasExtension(extensions, "GL_ARB_texture_filter_anisotropic")) {
        GLfloat most = 1;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &most);
        JpegTextureLoader::setAnisotropy(std::min(16, static_cast<int>(most)));
    }
}

// Samples a frame (pixels times samples per pixel) beyond which a CPU renderer is plainly slow.
constexpr long long kSlowOnTheCpu = 1920LL * 1440;

bool createWindowFrameTarget(int drawableWidth, int drawableHeight)
{
    RenderResolution resolution = settings.resolution;
    if (resolution == RenderResolution::Default) {
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        resolution = isSoftwareRenderer(renderer) ? RenderResolution::Classic : RenderResolution::Native;
        if (resolution == RenderResolution::Classic)
            std::fprintf(stderr,
                         "rinta: %s draws on the CPU, where cost grows with the pixels: rendering at 640 x 480 "
                         "(--resolution native to override)\n",
                         renderer);
    }
    const bool classic = resolution == RenderResolution::Classic;
    PresentRect size{0, 0, kSceneWidth, kSceneHeight};
    if (resolution == RenderResolution::Native)
        size = largestTarget(drawableWidth, drawableHeight);
    else if (resolution == RenderResolution::Fixed)
        size = largestTarget(settings.width, settings.height);
    if (size.width <= 0 || size.height <= 0)
        size = {0, 0, kSceneWidth, kSceneHeight};
    const int samples = settings.msaa >= 0 ? settings.msaa : classic ? 0 : 4;
    // Asked for by name on a renderer that draws on the CPU: honoured, but not in silence.
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!classic && isSoftwareRenderer(renderer) &&
        static_cast<long long>(size.width) * size.height * std::max(1, samples) > kSlowOnTheCpu)
        std::fprintf(stderr,
                     "rinta: %s draws on the CPU: at %d x %d%s the start and every frame will be slow "
                     "(--resolution classic draws at 640 x 480)\n",
                     renderer, size.width, size.height, samples > 0 ? " multisampled" : "");

    if (!classic)
        useAnisotropicFiltering();
    followsWindow = resolution == RenderResolution::Native;
    if (createFrameTarget(size.width, size.height, samples))
        return true;
    if (classic)
        return false;
    // Larger than this GL's largest target, or out of memory: the classic picture still works.
    std::fprintf(stderr, "rinta: no %d x %d target here; rendering at 640 x 480\n", size.width, size.height);
    followsWindow = false;
    return createFrameTarget(kSceneWidth, kSceneHeight, 0);
}
