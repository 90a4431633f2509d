// SPDX-License-Identifier: MIT
// The picture generator's drawing kit and the layouts that depend on how each picture is
// seen: noise that wraps, light that stays put, text that is placed where it is asked to be,
// JPEG output that decodes and reports failure, and titles that stay inside their quads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <turbojpeg.h>

#include "tools/picture_sets.h"

namespace {

float luminance(const Colour& c)
{
    auto cl = [](float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); };
    return 0.299f * cl(c.r) + 0.587f * cl(c.g) + 0.114f * cl(c.b);
}

// Sum and coverage-weighted centre of a mask.
struct Spread {
    float total = 0, cx = 0, cy = 0, minX = 1e9f, maxX = -1e9f;
};
Spread spreadOf(const Mask& m)
{
    Spread s;
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x) {
            float a = m.at(x, y);
            s.total += a;
            s.cx += a * float(x);
            s.cy += a * float(y);
            if (a > 0.5f) {
                s.minX = std::min(s.minX, float(x));
                s.maxX = std::max(s.maxX, float(x));
            }
        }
    s.cx /= s.total;
    s.cy /= s.total;
    return s;
}

TextStyle bold(float heightPx, float widthScale = 1)
{
    static Font* font = openFont("DejaVuSans-Bold.ttf");
    return {font, heightPx, widthScale, 0};
}

} // namespace

TEST(PictureNoise, WrapsOnItsPeriodAlongEachAxisAndStaysInRange)
{
    for (float u = -3.7f; u < 6; u += 0.37f)
        for (float v = -2.9f; v < 9; v += 0.53f) {
            float n = periodicNoise(u, v, 4, 8, 3u);
            EXPECT_NEAR(n, periodicNoise(u + 4, v, 4, 8, 3u), 1e-4f) << u << "," << v;
            EXPECT_NEAR(n, periodicNoise(u, v + 8, 4, 8, 3u), 1e-4f) << u << "," << v;
            EXPECT_GE(n, 0.0f);
            EXPECT_LE(n, 1.0f);
            float f = periodicFbm(u, v, 4, 8, 5, 9u);
            EXPECT_NEAR(f, periodicFbm(u - 4, v - 8, 4, 8, 5, 9u), 1e-4f) << u << "," << v;
        }
    // Not a constant: neighbouring lattice points differ for some seed-cell pair.
    EXPECT_NE(periodicNoise(0, 0, 4, 4, 1u), periodicNoise(1, 0, 4, 4, 1u));
}

TEST(PictureBlur, SpreadsLightEvenlyInPlaceWithoutWrappingRound)
{
    Mask m(64, 48);
    m.at(32, 24) = 1;
    Mask b = blurred(m, 4, 4);
    Spread s = spreadOf(b);
    EXPECT_NEAR(s.total, 1.0f, 1e-3f);
    EXPECT_NEAR(s.cx, 32.0f, 0.01f);
    EXPECT_NEAR(s.cy, 24.0f, 0.01f);
    EXPECT_NEAR(b.at(28, 24), b.at(36, 24), 1e-6f);
    EXPECT_GT(b.at(32, 24), b.at(36, 24));

    // Light at the left edge must not appear at the right edge: titles are not tiles.
    Mask edge(64, 48);
    for (int y = 0; y < 48; ++y)
        edge.at(0, y) = 1;
    Mask e = blurred(edge, 6, 6);
    EXPECT_GT(e.at(2, 20), 0.1f);
    for (int y = 0; y < 48; ++y)
        EXPECT_NEAR(e.at(63, y), 0.0f, 1e-5f);
}

TEST(PictureText, CentredLineLandsOnItsCentreAndMeasuresWhatItDraws)
{
    TextStyle s = bold(40);
    Mask m(400, 80);
    drawTextCentred(m, s, "HELLO", 150, 60);
    Spread sp = spreadOf(m);
    EXPECT_NEAR((sp.minX + sp.maxX) / 2, 150, 3);
    float w = textWidth(s, "HELLO");
    EXPECT_NEAR(sp.maxX - sp.minX, w, w * 0.1f); // ink spans about the advance width
    // Capitals sit on the baseline and rise about the cap height above it.
    float cap = capHeight(s);
    EXPECT_NEAR(cap, 40 * 0.73f, 3);
    EXPECT_NEAR(sp.cy, 60 - cap / 2, 3);
}

TEST(PictureText, WidthScaleStretchesAcrossOnly)
{
    TextStyle plain = bold(40), wide = bold(40, 2);
    EXPECT_NEAR(textWidth(wide, "RINTA"), 2 * textWidth(plain, "RINTA"), 1);
    EXPECT_NEAR(capHeight(wide), capHeight(plain), 0.5f);

    TextStyle spaced = plain;
    spaced.trackingEm = 0.5f;
    // Four gaps between five letters, each half an em.
    EXPECT_NEAR(textWidth(spaced, "RINTA") - textWidth(plain, "RINTA"), 4 * 20, 0.5f);
}

TEST(PictureText, MalformedUtf8AndOffMaskGlyphsAreHandledSafely)
{
    TextStyle s = bold(30);
    // A middle dot counts as one glyph, not two bytes of junk.
    EXPECT_LT(textWidth(s, "a\u00b7b"), textWidth(s, "a..b"));
    // Truncated and stray bytes become a replacement glyph, never a read past the string.
    EXPECT_GT(textWidth(s, "ab\xE2\x82"), textWidth(s, "ab"));
    EXPECT_GT(textWidth(s, "a\xFF" "b"), textWidth(s, "ab"));

    // Text hanging off every side of the mask is clipped, and coverage stays within 0..1.
    Mask m(60, 30);
    drawText(m, s, "WWWWWWWW", -40, 10);
    drawText(m, s, "MMMM", 40, 45);
    drawText(m, s, "ABAB", 10, 25);
    drawText(m, s, "ABAB", 10, 25); // drawn twice: overlap is a union, not a sum
    for (float a : m.a) {
        EXPECT_GE(a, 0.0f);
        EXPECT_LE(a, 1.0f);
    }
    EXPECT_GT(spreadOf(m).total, 10.0f);
}

TEST(PictureJpeg, RoundTripKeepsSizeAndColour)
{
    Image img(64, 32);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x)
            img.at(x, y) = {x / 63.0f, y / 31.0f, 0.5f};
    const std::string path = ::testing::TempDir() + "picture_roundtrip.jpg";
    ASSERT_TRUE(writeJpeg(img, path, 92));

    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<unsigned char> jpeg(1 << 16);
    jpeg.resize(std::fread(jpeg.data(), 1, jpeg.size(), f));
    std::fclose(f);
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, space = 0;
    ASSERT_EQ(tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &sub, &space), 0);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 32);
    EXPECT_EQ(sub, TJSAMP_444);
    std::vector<unsigned char> rgb(size_t(w) * h * 3);
    ASSERT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), rgb.data(), w, 0, h, TJPF_RGB, 0), 0);
    tjDestroy(tj);
    // The top row of the image is the first row of the file.
    double err = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Colour& c = img.at(x, y);
            const unsigned char* p = &rgb[(size_t(y) * w + x) * 3];
            err += std::abs(p[0] - c.r * 255) + std::abs(p[1] - c.g * 255) + std::abs(p[2] - c.b * 255);
        }
    EXPECT_LT(err / (w * h * 3), 2.0);
    std::remove(path.c_str());
}

TEST(PictureJpeg, UnwritablePathIsReportedAsFailure)
{
    Image img(8, 8);
    EXPECT_FALSE(writeJpeg(img, "/nonexistent-directory/picture.jpg", 92));
}

TEST(PictureLayout, StripTitlesStayInsideTheStrip)
{
    // The strips are longer than the view, so a word cut at either end would show as it
    // glides across; the outer ends and the top and bottom rows must stay dark.
    for (auto draw : {drawWorld, drawLomb, drawGate, drawEnd}) {
        Image img(1024, 128);
        draw(img);
        float ends = 0, rims = 0, middle = 0;
        for (int y = 0; y < img.h; ++y)
            for (int x = 0; x < 16; ++x)
                ends = std::max({ends, luminance(img.at(x, y)), luminance(img.at(img.w - 1 - x, y))});
        for (int x = 0; x < img.w; ++x)
            rims = std::max({rims, luminance(img.at(x, 0)), luminance(img.at(x, img.h - 1))});
        for (int x = 0; x < img.w; ++x)
            middle = std::max(middle, luminance(img.at(x, img.h / 2)));
        EXPECT_LT(ends, 0.1f);
        EXPECT_LT(rims, 0.35f);
        EXPECT_GT(middle, 0.8f); // and the words themselves are bright enough to show at 0.2 alpha
    }
}

TEST(PictureLayout, UprightStripStacksItsLettersDownItsLength)
{
    // Shown 0.8 wide and 7 high with the texture unturned: letters must follow the height,
    // one bright band of rows per letter, separated by dark gaps.
    Image img(128, 1024);
    drawStyle(img);
    int bands = 0;
    bool inBand = false;
    for (int y = 0; y < img.h; ++y) {
        float row = 0;
        for (int x = 16; x < img.w - 16; ++x)
            row += luminance(img.at(x, y));
        row /= float(img.w - 32);
        if (!inBand && row > 0.3f)
            ++bands;
        inBand = row > (inBand ? 0.15f : 0.3f);
    }
    EXPECT_EQ(bands, 5);
}

TEST(PictureLayout, GreetingsKeepOutOfTheEighthBeyondTheView)
{
    // The greetings quad is shown shifted right, so its right eighth is never seen.
    Image img(1024, 512);
    drawGreets(img);
    auto brightPixels = [&](int x0, int x1) {
        int n = 0;
        for (int y = 0; y < img.h; ++y)
            for (int x = x0; x < x1; ++x)
                n += luminance(img.at(x, y)) > 0.6f;
        return n;
    };
    int hidden = brightPixels(int(img.w * 0.88f), img.w);
    int seen = brightPixels(0, int(img.w * 0.88f));
    EXPECT_GT(seen, 20000);
    EXPECT_LT(hidden, 300); // a few stars at most
}

TEST(PictureLayout, EachMemberHasTheirOwnCreditAndOutOfRangeIsClamped)
{
    std::vector<Image> credits;
    for (int member = 0; member < 4; ++member) {
        credits.emplace_back(128, 128);
        drawCredit(credits.back(), member);
    }
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b) {
            double diff = 0;
            for (size_t i = 0; i < credits[a].px.size(); ++i)
                diff += std::abs(luminance(credits[a].px[i]) - luminance(credits[b].px[i]));
            EXPECT_GT(diff / double(credits[a].px.size()), 0.01) << a << " vs " << b;
        }
    Image past(128, 128);
    drawCredit(past, 9);
    for (size_t i = 0; i < past.px.size(); ++i)
        ASSERT_EQ(luminance(past.px[i]), luminance(credits[3].px[i]));
}
