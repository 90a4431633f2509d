// SPDX-License-Identifier: MIT
// engine/present.cpp — the frame target and its scaled presentation. The scenes keep drawing
// into exactly 640 x 480, as they were written for; only the last step knows the window.
#include "engine/present.h"

#include "engine/gl.h"
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

namespace {

using GenFn = void (*)(GLsizei, GLuint*);
using DeleteFn = void (*)(GLsizei, const GLuint*);
using BindFn = void (*)(GLenum, GLuint);
using StorageFn = void (*)(GLenum, GLenum, GLsizei, GLsizei);
using AttachRenderbufferFn = void (*)(GLenum, GLenum, GLenum, GLuint);
using AttachTextureFn = void (*)(GLenum, GLenum, GLenum, GLuint, GLint);
using StatusFn = GLenum (*)(GLenum);
using BlitFn = void (*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);

struct FramebufferApi {
    GenFn genFramebuffers, genRenderbuffers;
    DeleteFn deleteFramebuffers, deleteRenderbuffers;
    BindFn bindFramebuffer, bindRenderbuffer;
    StorageFn renderbufferStorage;
    AttachRenderbufferFn framebufferRenderbuffer;
    AttachTextureFn framebufferTexture2D;
    StatusFn checkFramebufferStatus;
    BlitFn blitFramebuffer;
} gl{};

GLuint framebuffer = 0, colourTexture = 0, depthBuffer = 0;
int targetWidth = 0, targetHeight = 0;

template <typename Fn>
bool load(Fn& fn, const char* name)
{
    fn = reinterpret_cast<Fn>(glProc(name));
    return fn != nullptr;
}

bool loadApi()
{
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

} // namespace

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

bool createFrameTarget(int width, int height)
{
    if (!loadApi())
        return false;
    GLint previousTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    glGenTextures(1, &colourTexture);
    glBindTexture(GL_TEXTURE_2D, colourTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));

    gl.genRenderbuffers(1, &depthBuffer);
    gl.bindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    gl.genFramebuffers(1, &framebuffer);
    gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colourTexture, 0);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    if (gl.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        destroyFrameTarget();
        return false;
    }
    targetWidth = width;
    targetHeight = height;
    return true;
}

void destroyFrameTarget()
{
    if (gl.bindFramebuffer)
        gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (framebuffer)
        gl.deleteFramebuffers(1, &framebuffer);
    if (depthBuffer)
        gl.deleteRenderbuffers(1, &depthBuffer);
    if (colourTexture)
        glDeleteTextures(1, &colourTexture);
    framebuffer = depthBuffer = colourTexture = 0;
    targetWidth = targetHeight = 0;
}

bool frameTargetActive() { return framebuffer != 0; }

void presentFrameTarget(int windowWidth, int windowHeight)
{
    if (!framebuffer)
        return;
    const PresentRect r = fitTarget(targetWidth, targetHeight, windowWidth, windowHeight);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
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
}
