// SPDX-License-Identifier: MIT
// glcompat/webgl.h — the WebGL 2 calls glcompat makes, as one table filled at start: emscripten's
// bindings in the page (glcompat/web_context.cpp), a recording stand-in in the native tests.
// glcompat calls nothing of WebGL but through this table, so it builds anywhere.
#pragma once
#include <GL/gl.h>

struct GlcompatWebGL {
    void (*enable)(GLenum cap);
    void (*disable)(GLenum cap);
    void (*blendFunc)(GLenum sfactor, GLenum dfactor);
    void (*depthFunc)(GLenum func);
    void (*viewport)(GLint x, GLint y, GLsizei width, GLsizei height);
    void (*scissor)(GLint x, GLint y, GLsizei width, GLsizei height);
    void (*clearColor)(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
    void (*clearDepthf)(GLfloat depth);
    void (*clear)(GLbitfield mask);
    void (*genTextures)(GLsizei n, GLuint* textures);
    void (*deleteTextures)(GLsizei n, const GLuint* textures);
    void (*bindTexture)(GLenum target, GLuint texture);
    void (*texImage2D)(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                       GLint border, GLenum format, GLenum type, const void* pixels);
    void (*texParameteri)(GLenum target, GLenum pname, GLint param);
    void (*pixelStorei)(GLenum pname, GLint param);
    void (*getIntegerv)(GLenum pname, GLint* params);
    const GLubyte* (*getString)(GLenum name);
    void (*genBuffers)(GLsizei n, GLuint* buffers);
    void (*bindBuffer)(GLenum target, GLuint buffer);
    void (*bufferData)(GLenum target, long size, const void* data, GLenum usage);
    void (*genVertexArrays)(GLsizei n, GLuint* arrays);
    void (*bindVertexArray)(GLuint array);
    void (*enableVertexAttribArray)(GLuint index);
    void (*disableVertexAttribArray)(GLuint index);
    void (*vertexAttrib4f)(GLuint index, GLfloat x, GLfloat y, GLfloat z, GLfloat w);
    void (*vertexAttribPointer)(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                const void* offset);
    void (*drawArrays)(GLenum mode, GLint first, GLsizei count);
    GLuint (*createShader)(GLenum kind);
    void (*shaderSource)(GLuint shader, GLsizei count, const char* const* source, const GLint* length);
    void (*compileShader)(GLuint shader);
    void (*getShaderiv)(GLuint shader, GLenum pname, GLint* params);
    void (*getShaderInfoLog)(GLuint shader, GLsizei size, GLsizei* length, char* log);
    GLuint (*createProgram)();
    void (*attachShader)(GLuint program, GLuint shader);
    void (*bindAttribLocation)(GLuint program, GLuint index, const char* name);
    void (*linkProgram)(GLuint program);
    void (*getProgramiv)(GLuint program, GLenum pname, GLint* params);
    void (*useProgram)(GLuint program);
    GLint (*getUniformLocation)(GLuint program, const char* name);
    void (*uniform1i)(GLint location, GLint v);
    void (*uniform4f)(GLint location, GLfloat x, GLfloat y, GLfloat z, GLfloat w);
    void (*uniformMatrix4fv)(GLint location, GLsizei count, GLboolean transpose, const GLfloat* value);
    void (*genFramebuffers)(GLsizei n, GLuint* framebuffers);
    void (*bindFramebuffer)(GLenum target, GLuint framebuffer);
    void (*genRenderbuffers)(GLsizei n, GLuint* renderbuffers);
    void (*bindRenderbuffer)(GLenum target, GLuint renderbuffer);
    void (*renderbufferStorage)(GLenum target, GLenum format, GLsizei width, GLsizei height);
    void (*renderbufferStorageMultisample)(GLenum target, GLsizei samples, GLenum format, GLsizei width,
                                           GLsizei height);
    void (*deleteRenderbuffers)(GLsizei n, const GLuint* renderbuffers);
    void (*deleteFramebuffers)(GLsizei n, const GLuint* framebuffers);
    void (*framebufferRenderbuffer)(GLenum target, GLenum attachment, GLenum renderbufferTarget,
                                    GLuint renderbuffer);
    GLenum (*checkFramebufferStatus)(GLenum target);
    void (*blitFramebuffer)(GLint srcX0, GLint srcY0, GLint srcX1, GLint srcY1, GLint dstX0, GLint dstY0,
                            GLint dstX1, GLint dstY1, GLbitfield mask, GLenum filter);
    void (*readPixels)(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels);
};

// Over a current WebGL 2 context reached through webgl (the table is copied): makes the drawing
// program and the off-screen frame, width x height with `samples` per pixel (0: single; more
// than WebGL offers: its most), and puts every GL state back to its default. False (with a
// console line) when the program or the frame cannot be made.
bool glcompatStart(const GlcompatWebGL& webgl, int width, int height, int samples = 0);
