// SPDX-License-Identifier: MIT
// platform/headless.cpp — EGL bring-up for the capture tool and the GL tests. Surfaceless
// Mesa first (no display, no GPU needed); an EGL device as the fallback.
#include "platform/headless.h"

#include "platform/platform.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

struct HeadlessContext {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
};

namespace {

EGLDisplay openDisplay(std::string& error)
{
    const char* clientExts = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay && hasExtension(clientExts, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
            return d;
    }
    if (getPlatformDisplay && hasExtension(clientExts, "EGL_EXT_platform_device")) {
        auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (queryDevices && queryDevices(8, devices, &count))
            for (EGLint i = 0; i < count; ++i) {
                EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr))
                    return d;
            }
    }
    error = "no usable EGL platform: neither EGL_MESA_platform_surfaceless nor EGL_EXT_platform_device "
            "gave a display (install libegl-mesa0 and libgl1-mesa-dri)";
    return EGL_NO_DISPLAY;
}

} // namespace

HeadlessContext* createHeadlessContext(int width, int height, std::string& error)
{
    auto* ctx = new HeadlessContext;
    ctx->display = openDisplay(error);
    if (ctx->display == EGL_NO_DISPLAY) {
        delete ctx;
        return nullptr;
    }
    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                    EGL_RED_SIZE,     8,               EGL_GREEN_SIZE,      8,
                                    EGL_BLUE_SIZE,    8,               EGL_ALPHA_SIZE,      8,
                                    EGL_DEPTH_SIZE,   16,              EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (!eglBindAPI(EGL_OPENGL_API) || !eglChooseConfig(ctx->display, configAttribs, &config, 1, &configs) ||
        configs < 1) {
        error = "EGL offers no RGBA configuration with a depth buffer for desktop OpenGL";
        destroyHeadlessContext(ctx);
        return nullptr;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                     EGL_NONE};
    ctx->context = eglCreateContext(ctx->display, config, EGL_NO_CONTEXT, contextAttribs);
    if (ctx->context == EGL_NO_CONTEXT) {
        error = "eglCreateContext failed for a compatibility context";
        destroyHeadlessContext(ctx);
        return nullptr;
    }
    const EGLint pbufferAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    ctx->surface = eglCreatePbufferSurface(ctx->display, config, pbufferAttribs);
    if (ctx->surface == EGL_NO_SURFACE) {
        error = "eglCreatePbufferSurface failed";
        destroyHeadlessContext(ctx);
        return nullptr;
    }
    if (!eglMakeCurrent(ctx->display, ctx->surface, ctx->surface, ctx->context)) {
        error = "eglMakeCurrent failed";
        destroyHeadlessContext(ctx);
        return nullptr;
    }
    setGlProcLoader([](const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); });
    return ctx;
}

void destroyHeadlessContext(HeadlessContext* ctx)
{
    if (!ctx)
        return;
    if (ctx->display != EGL_NO_DISPLAY) {
        eglMakeCurrent(ctx->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (ctx->surface != EGL_NO_SURFACE)
            eglDestroySurface(ctx->display, ctx->surface);
        if (ctx->context != EGL_NO_CONTEXT)
            eglDestroyContext(ctx->display, ctx->context);
        eglTerminate(ctx->display);
    }
    delete ctx;
}
