// SPDX-License-Identifier: MIT
// fuzz/textures_fuzz.cpp — the texture loader on arbitrary bytes: it either refuses the file
// and binds nothing, or decodes it and builds a full mipmap chain from what it decoded.
#include <cstdint>
#include <cstdlib>

#include "engine/textures.h"
#include "fuzz/input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* path = fuzzInputPath(".jpg");
    writeFuzzInput(path, data, size);
    JpegTextureLoader loader;
    const bool loaded = loader.loadFromFile(path);
    const GLuint name = loader.bindAsTexture();
    if (loaded != (name != 0)) std::abort(); // a failed load must bind nothing, a good one a texture
    return 0;
}
