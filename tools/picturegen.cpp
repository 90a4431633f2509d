// SPDX-License-Identifier: MIT
// tools/picturegen.cpp — writes the eighteen JPEG pictures the demo loads into a directory:
//     picturegen <output directory>
// The same source gives the same bytes on every run. Exits non-zero if any file fails.
#include <chrono>
#include <cstdio>
#include <string>

#include "tools/picture_sets.h"

namespace {

struct PictureEntry {
    const char* stem;
    int width, height;  // design size: powers of two, chosen for the quad the picture is seen on
    void (*draw)(Image&);
};

// Quality 92 keeps text edges free of ringing; the pictures are small either way.
constexpr int kJpegQuality = 92;
// Drawn at twice the design size, so text and edges stay crisp when the scenes are drawn at a
// screen's own resolution (1440 x 1080 and up); mipmaps give the classic 640 x 480 its look.
constexpr int kDetail = 2;

const PictureEntry kPictures[] = {
    {"tarvel", 512, 512, drawTarvel},
    {"made", 512, 512, drawMade},
    {"world", 1024, 128, drawWorld},
    {"style", 128, 1024, drawStyle}, // the upright strip: 0.8 wide, 7 high
    {"lomb", 1024, 128, drawLomb},
    {"tex3", 512, 512, drawTex3},
    {"gate", 1024, 128, drawGate},
    {"shade", 512, 512, drawShade},
    {"shot", 512, 512, drawShot},
    {"tex2", 512, 512, drawTex2},
    {"greets", 1024, 512, drawGreets}, // small names: more pixels across than a title
    {"olvek", 512, 512, [](Image& img) { drawCredit(img, 3); }},
    {"rinta", 512, 512, [](Image& img) { drawCredit(img, 0); }},
    {"pasko", 512, 512, [](Image& img) { drawCredit(img, 1); }},
    {"mirel", 512, 512, [](Image& img) { drawCredit(img, 2); }},
    {"fenro", 512, 512, drawFenro},
    {"end", 1024, 128, drawEnd},
    {"tex4", 512, 512, drawTex4},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: picturegen <output directory>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const auto start = std::chrono::steady_clock::now();
    int failures = 0;
    for (const PictureEntry& p : kPictures) {
        pictureDetail = kDetail;
        Image img(p.width * kDetail, p.height * kDetail);
        p.draw(img);
        if (!writeJpeg(img, dir + "/" + p.stem + ".jpg", kJpegQuality))
            ++failures;
    }
    closeFonts();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("picturegen: %d pictures in %.2f s\n", int(std::size(kPictures)) - failures, seconds);
    return failures == 0 ? 0 : 1;
}
