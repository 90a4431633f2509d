// SPDX-License-Identifier: MIT
// glcompat/web_context.cpp — the page's half of glcompat: the WebGL 2 context on the canvas,
// and emscripten's WebGL bindings (their emscripten_gl* names, so that the GL 1.1 names stay
// glcompat's) in the table glcompat calls through.
#include <emscripten/html5.h>
#include <webgl/webgl1.h> // WebGL 1 calls, which WebGL 2 keeps
#include <webgl/webgl2.h>

#include <cstdio>

#include "glcompat/glcompat.h"
#include "glcompat/webgl.h"

namespace {

const GlcompatWebGL kEmscriptenWebGL = {
    .enable = emscripten_glEnable,
    .disable = emscripten_glDisable,
    .blendFunc = emscripten_glBlendFunc,
    .depthFunc = emscripten_glDepthFunc,
    .viewport = emscripten_glViewport,
    .scissor = emscripten_glScissor,
    .clearColor = emscripten_glClearColor,
    .clearDepthf = emscripten_glClearDepthf,
    .clear = emscripten_glClear,
    .genTextures = emscripten_glGenTextures,
    .deleteTextures = emscripten_glDeleteTextures,
    .bindTexture = emscripten_glBindTexture,
    .texImage2D = emscripten_glTexImage2D,
    .texParameteri = emscripten_glTexParameteri,
    .pixelStorei = emscripten_glPixelStorei,
    .getIntegerv = emscripten_glGetIntegerv,
    .getString = emscripten_glGetString,
    .genBuffers = emscripten_glGenBuffers,
    .bindBuffer = emscripten_glBindBuffer,
    .bufferData = emscripten_glBufferData,
    .genVertexArrays = emscripten_glGenVertexArrays,
    .bindVertexArray = emscripten_glBindVertexArray,
    .enableVertexAttribArray = emscripten_glEnableVertexAttribArray,
    .disableVertexAttribArray = emscripten_glDisableVertexAttribArray,
    .vertexAttrib4f = emscripten_glVertexAttrib4f,
    .vertexAttribPointer = emscripten_glVertexAttribPointer,
    .drawArrays = emscripten_glDrawArrays,
    .createShader = emscripten_glCreateShader,
    .shaderSource = emscripten_glShaderSource,
    .compileShader = emscripten_glCompileShader,
    .getShaderiv = emscripten_glGetShaderiv,
    .getShaderInfoLog = emscripten_glGetShaderInfoLog,
    .createProgram = emscripten_glCreateProgram,
    .attachShader = emscripten_glAttachShader,
    .bindAttribLocation = emscripten_glBindAttribLocation,
    .linkProgram = emscripten_glLinkProgram,
    .getProgramiv = emscripten_glGetProgramiv,
    .useProgram = emscripten_glUseProgram,
    .getUniformLocation = emscripten_glGetUniformLocation,
    .uniform1i = emscripten_glUniform1i,
    .uniform4f = emscripten_glUniform4f,
    .uniformMatrix4fv = emscripten_glUniformMatrix4fv,
    .genFramebuffers = emscripten_glGenFramebuffers,
    .bindFramebuffer = emscripten_glBindFramebuffer,
    .genRenderbuffers = emscripten_glGenRenderbuffers,
    .bindRenderbuffer = emscripten_glBindRenderbuffer,
    .renderbufferStorage = emscripten_glRenderbufferStorage,
    .renderbufferStorageMultisample = emscripten_glRenderbufferStorageMultisample,
    .deleteRenderbuffers = emscripten_glDeleteRenderbuffers,
    .deleteFramebuffers = emscripten_glDeleteFramebuffers,
    .framebufferRenderbuffer = emscripten_glFramebufferRenderbuffer,
    .checkFramebufferStatus = emscripten_glCheckFramebufferStatus,
    .blitFramebuffer = emscripten_glBlitFramebuffer,
    .readPixels = emscripten_glReadPixels,
};

} // namespace

bool glcompatInit(const char* selector, int width, int height, int samples)
{
    EmscriptenWebGLContextAttributes attrs;
    emscripten_webgl_init_context_attributes(&attrs);
    attrs.majorVersion = 2;
    attrs.minorVersion = 0;
    attrs.alpha = EM_FALSE; // the frame's alpha is the scenes' business, not the page's
    attrs.depth = EM_FALSE; // the off-screen frame has its own
    attrs.stencil = EM_FALSE;
    attrs.antialias = EM_FALSE; // the off-screen frame is multisampled, where asked
    attrs.preserveDrawingBuffer = EM_FALSE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(selector, &attrs);
    if (context <= 0) {
        std::fprintf(stderr, "glcompat: this browser gives no WebGL 2 context (%d)\n", int(context));
        return false;
    }
    emscripten_webgl_make_context_current(context);
    return glcompatStart(kEmscriptenWebGL, width, height, samples);
}
