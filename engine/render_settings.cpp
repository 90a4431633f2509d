// SPDX-License-Identifier: MIT
// engine/render_settings.cpp — the frame size and samples a front end asks for, read whole.
#include "engine/render_settings.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool parseInt(const std::string& text, long low, long high, int& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool containsNoCase(const char* text, const char* word)
{
    const size_t n = std::strlen(word);
    for (const char* p = text; *p; ++p) {
        size_t i = 0;
        while (i < n && p[i] && std::tolower(static_cast<unsigned char>(p[i])) == word[i])
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

} // namespace

bool parseRenderResolution(const std::string& text, RenderSettings& render)
{
    if (text == "classic" || text == "native") {
        render.resolution = text == "classic" ? RenderResolution::Classic : RenderResolution::Native;
        return true;
    }
    const size_t x = text.find('x');
    int width = 0, height = 0;
    if (x == std::string::npos || !parseInt(text.substr(0, x), kMinRenderSide, kMaxRenderSide, width) ||
        !parseInt(text.substr(x + 1), kMinRenderSide, kMaxRenderSide, height))
        return false;
    render.resolution = RenderResolution::Fixed;
    render.width = width;
    render.height = height;
    return true;
}

bool parseRenderSamples(const std::string& text, RenderSettings& render)
{
    return parseInt(text, 0, kMaxRenderSamples, render.msaa);
}

bool isSoftwareRenderer(const char* renderer)
{
    if (!renderer)
        return false;
    for (const char* word : {"llvmpipe", "softpipe", "swrast", "software", "lavapipe", "swiftshader"})
        if (containsNoCase(renderer, word))
            return true;
    return false;
}
