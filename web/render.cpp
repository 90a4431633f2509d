// SPDX-License-Identifier: MIT
// web/render.cpp — the page's render size and samples, read as the native program reads its
// options (engine/render_settings) and chosen as its render layer chooses (engine/present.cpp):
// the scenes keep drawing at 640 x 480, their viewport and line widths scaled onto the frame.
#include "web/render.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/gl.h"
#include "engine/projection.h"
#include "engine/render_settings.h"
#include "glcompat/glcompat.h"

namespace {

// clang-format off
// The page's ?resolution= or ?msaa= as page.js put them in Module.rintaRender ("" when absent).
EM_JS(void, pageRenderParameter, (const char* name, char* out, int size), {
    const all = Module.rintaRender || {};
    const v = all[UTF8ToString(name)];
    stringToUTF8(v == null ? "" : String(v), out, size);
});
// The renderer's own name where the browser tells it (WebGL masks it by default), from a
// context of its own so that it is known before the page's frame is made.
EM_JS(void, pageRendererName, (char* out, int size), {
    let name = "";
    try {
        const gl = document.createElement("canvas").getContext("webgl2");
        name = gl ? String(gl.getParameter(gl.RENDERER)) : "";
        // Chromium masks the name; Firefox gives it, and warns when the extension is asked for.
        const info = name === "WebKit WebGL" && gl.getExtension("WEBGL_debug_renderer_info");
        if (info) name = String(gl.getParameter(info.UNMASKED_RENDERER_WEBGL));
        const lose = gl && gl.getExtension("WEBGL_lose_context");
        if (lose) lose.loseContext(); // browsers keep few contexts: give this one back now
    } catch (e) {
    }
    stringToUTF8(name, out, size);
});
EM_JS(int, pageWindowPixelsWide, (), { return Math.round(window.innerWidth * (window.devicePixelRatio || 1)); });
EM_JS(int, pageWindowPixelsHigh, (), { return Math.round(window.innerHeight * (window.devicePixelRatio || 1)); });
// The canvas's drawing buffer is the frame, pixel for pixel. Its size on the page: the frame's
// device pixels when it follows the window; the frame's size in CSS pixels in deterministic
// mode (the whole window, top left); otherwise the stylesheet's fit to the window.
EM_JS(void, pageSizeCanvas, (int width, int height, int native), {
    const canvas = Module.canvas;
    canvas.width = width;
    canvas.height = height;
    const ratio = native ? (window.devicePixelRatio || 1) : 1;
    const own = native || document.body.classList.contains("exact");
    canvas.style.width = own ? (width / ratio) + "px" : "";
    canvas.style.height = own ? (height / ratio) + "px" : "";
});
// clang-format on

RenderSettings settings;
bool followsWindow = false;
int largestSide = 0; // WebGL's, asked once

std::string parameter(const char* name)
{
    char value[64] = {};
    pageRenderParameter(name, value, sizeof value);
    return value;
}

// The native program refuses a wrong option before it opens a window; the page is already
// open, so it says so and goes on with the default.
RenderSettings readSettings()
{
    RenderSettings s;
    const std::string resolution = parameter("resolution"), msaa = parameter("msaa");
    if (!resolution.empty() && !parseRenderResolution(resolution, s))
        std::fprintf(stderr,
                     "rinta: ?resolution= wants classic, native or WxH (%d to %d each), got '%s'; using the default\n",
                     kMinRenderSide, kMaxRenderSide, resolution.c_str());
    if (!msaa.empty() && !parseRenderSamples(msaa, s))
        std::fprintf(stderr,
                     "rinta: ?msaa= wants a number of samples from 0 (off) to %d, got '%s'; using the default\n",
                     kMaxRenderSamples, msaa.c_str());
    return s;
}

struct Size {
    int width, height;
};

// The largest 4:3 rectangle within width x height, and within what WebGL can make.
Size largest43(int width, int height)
{
    if (largestSide <= 0)
        largestSide = glcompatLargestSide();
    width = std::min(width, largestSide);
    height = std::min(height, largestSide);
    if (width <= 0 || height <= 0)
        return {kSceneWidth, kSceneHeight};
    Size s{width, static_cast<int>(static_cast<long long>(width) * kSceneHeight / kSceneWidth)};
    if (s.height > height)
        s = {static_cast<int>(static_cast<long long>(height) * kSceneWidth / kSceneHeight), height};
    return s;
}

Size wantedSize()
{
    switch (settings.resolution) {
    case RenderResolution::Native: return largest43(pageWindowPixelsWide(), pageWindowPixelsHigh());
    case RenderResolution::Fixed: return largest43(settings.width, settings.height);
    default: return {kSceneWidth, kSceneHeight};
    }
}

// The frame at this size, the canvas with it, and the scenes' viewport and line width onto it.
bool applySize(Size size)
{
    if (!glcompatResize(size.width, size.height))
        return false;
    pageSizeCanvas(size.width, size.height, followsWindow);
    setSceneTargetSize(size.width, size.height);
    // The outlines keep their weight against the picture; classic stays 1.
    glLineWidth(std::max(1.0f, static_cast<float>(size.height) / kSceneHeight));
    return true;
}

// The browser may take the GPU away (a driver reset, too many contexts, a test's
// WEBGL_lose_context); refusing the default tells it the page wants the context back.
EM_BOOL contextLost(int, const void*, void*)
{
    glcompatContextLost();
    std::printf("rinta: the WebGL context is lost; the demo goes on unseen until it is back\n");
    return EM_TRUE;
}

EM_BOOL contextRestored(int, const void*, void*)
{
    if (glcompatContextRestored())
        std::printf("rinta: the WebGL context is back\n");
    else
        std::fprintf(stderr, "rinta: the WebGL context came back, but the frame cannot be made in it\n");
    return EM_TRUE;
}

} // namespace

bool pageRenderStart()
{
    settings = readSettings();
    RenderResolution resolution = settings.resolution;
    if (resolution == RenderResolution::Default) {
        char renderer[256] = {};
        pageRendererName(renderer, sizeof renderer);
        resolution = isSoftwareRenderer(renderer) ? RenderResolution::Classic : RenderResolution::Native;
        if (resolution == RenderResolution::Classic)
            std::printf("rinta: %s draws on the CPU, where cost grows with the pixels: rendering at 640 x 480 "
                        "(?resolution=native to override)\n",
                        renderer);
    }
    settings.resolution = resolution;
    const bool classic = resolution == RenderResolution::Classic;
    const int samples = settings.msaa >= 0 ? settings.msaa : classic ? 0 : 4;
    if (!glcompatInit("#canvas", kSceneWidth, kSceneHeight, samples))
        return false;
    emscripten_set_webglcontextlost_callback("#canvas", nullptr, EM_FALSE, contextLost);
    emscripten_set_webglcontextrestored_callback("#canvas", nullptr, EM_FALSE, contextRestored);
    followsWindow = resolution == RenderResolution::Native;
    if (applySize(wantedSize()))
        return true;
    // Larger than WebGL can make, or out of memory: the classic picture still works.
    std::fprintf(stderr, "rinta: no %d x %d frame here; rendering at 640 x 480\n", wantedSize().width,
                 wantedSize().height);
    followsWindow = false;
    return applySize({kSceneWidth, kSceneHeight});
}

void pagePresent()
{
    glcompatPresent();
    if (!followsWindow)
        return;
    // After the frame is shown, never during it: the next frame draws at the new size, the
    // scenes' viewport keeping its share.
    const Size size = wantedSize();
    const int oldWidth = glcompatFrameWidth(), oldHeight = glcompatFrameHeight();
    if (size.width == oldWidth && size.height == oldHeight)
        return;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (!applySize(size))
        return;
    auto rescale = [](GLint v, int to, int from) {
        return static_cast<GLint>((static_cast<long long>(v) * to + from / 2) / from);
    };
    glViewport(rescale(viewport[0], size.width, oldWidth), rescale(viewport[1], size.height, oldHeight),
               rescale(viewport[2], size.width, oldWidth), rescale(viewport[3], size.height, oldHeight));
}
