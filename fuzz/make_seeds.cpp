// SPDX-License-Identifier: MIT
// fuzz/make_seeds.cpp — the seed corpora: a few tiny JPEGs in the layouts the loader meets
// (grey, colour at each common subsampling, odd sizes, progressive) and a few tiny modules.
// usage: make_seeds TEXTURE-DIR MUSIC-DIR
#include <cstdio>
#include <string>
#include <vector>

#include <turbojpeg.h>

#include "tests/support/tiny_module.h"

namespace {

struct JpegSeed {
    const char* name;
    int width, height;
    int subsampling; // TJSAMP_*
    int flags;
};

const JpegSeed kJpegs[] = {
    {"grey-1x1", 1, 1, TJSAMP_GRAY, 0},
    {"rgb444-8x8", 8, 8, TJSAMP_444, 0},
    {"rgb420-17x13", 17, 13, TJSAMP_420, 0},
    {"rgb422-33x5", 33, 5, TJSAMP_422, 0},
    {"rgb420-16x16-progressive", 16, 16, TJSAMP_420, TJFLAG_PROGRESSIVE},
};

// A gradient with a little texture, so the coded blocks are not all flat.
std::vector<unsigned char> picture(int w, int h)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / (w > 1 ? w - 1 : 1));
            p[1] = static_cast<unsigned char>(y * 255 / (h > 1 ? h - 1 : 1));
            p[2] = static_cast<unsigned char>(((x ^ y) & 1) * 200);
        }
    return rgb;
}

bool writeJpeg(const std::string& dir, const JpegSeed& seed)
{
    tjhandle tj = tjInitCompress();
    if (!tj) return false;
    const std::vector<unsigned char> rgb = picture(seed.width, seed.height);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool ok = tjCompress2(tj, rgb.data(), seed.width, 0, seed.height, TJPF_RGB, &jpeg, &size, seed.subsampling,
                                50, seed.flags) == 0 &&
                    writeBytes(dir + "/" + seed.name + ".jpg", std::vector<unsigned char>(jpeg, jpeg + size));
    if (!ok) std::fprintf(stderr, "make_seeds: %s: %s\n", seed.name, tjGetErrorStr2(tj));
    tjFree(jpeg);
    tjDestroy(tj);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds TEXTURE-DIR MUSIC-DIR\n");
        return 2;
    }
    bool ok = true;
    for (const JpegSeed& seed : kJpegs) ok = writeJpeg(argv[1], seed) && ok;
    const std::string music = argv[2];
    ok = writeTinyModule(music + "/one-order.it", 1, 1, 255, 4) && ok;
    ok = writeTinyModule(music + "/three-orders.it", 3, 2, 200, 8) && ok;
    ok = writeTinyModule(music + "/thirty-two-orders.it", 32, 1, 255, 1) && ok;
    return ok ? 0 : 1;
}
