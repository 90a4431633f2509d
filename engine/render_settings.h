// SPDX-License-Identifier: MIT
// engine/render_settings.h — how a front end asks the render layer for its frame: the size
// (--resolution, ?resolution=) and samples (--msaa, ?msaa=), read by the same rules in the
// program and the page, and which renderers draw on the CPU. No GL here.
#pragma once
#include <string>

enum class RenderResolution {
    Default, // native on a hardware renderer, classic on a software one
    Classic, // 640 x 480, no multisampling, scaled up: the look the demo always had
    Native,  // the window's own largest 4:3 rectangle, in physical pixels, following resizes
    Fixed,   // the largest 4:3 rectangle within a given size, whatever the window
};
struct RenderSettings {
    RenderResolution resolution = RenderResolution::Default;
    int width = 0, height = 0; // for Fixed
    int msaa = -1;             // samples; -1: 4 where offered (none in classic mode)
};

// The sides a Fixed size may have: beyond 8K a multisampled target runs to gigabytes.
constexpr int kMinRenderSide = 64, kMaxRenderSide = 8192;
constexpr int kMaxRenderSamples = 16;

// "classic", "native" or "WxH" (each side kMinRenderSide to kMaxRenderSide) into `render`;
// false, leaving it as it was, for anything else ("4x", "", "640x480x").
bool parseRenderResolution(const std::string& text, RenderSettings& render);
// A whole number of samples, 0 (off) to kMaxRenderSamples, into `render`; false otherwise.
bool parseRenderSamples(const std::string& text, RenderSettings& render);

// GL_RENDERER names of renderers that rasterize on the CPU (llvmpipe, softpipe, swrast, ...).
bool isSoftwareRenderer(const char* renderer);
