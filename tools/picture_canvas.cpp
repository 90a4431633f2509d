// SPDX-License-Identifier: MIT
// tools/picture_canvas.cpp — masks, blur, periodic noise, FreeType text and the JPEG writer
// used by picturegen. FreeType and libturbojpeg stay inside this file.
#include "tools/picture_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <turbojpeg.h>

float pictureDetail = 1;

namespace {

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// One box pass of width 2r+1 along rows (horizontal) or columns, edges clamped: text
// pictures are not tiles, so light must not wrap round to the far side. The column pass walks
// whole rows at a time to stay in cache.
void boxPass(const std::vector<float>& src, std::vector<float>& dst, int w, int h, int r,
             bool horizontal)
{
    const float inv = 1.0f / float(2 * r + 1);
    if (horizontal) {
        for (int y = 0; y < h; ++y) {
            const float* in = &src[size_t(y) * w];
            float* out = &dst[size_t(y) * w];
            auto at = [&](int i) { return in[std::clamp(i, 0, w - 1)]; };
            float sum = 0;
            for (int i = -r; i <= r; ++i)
                sum += at(i);
            for (int x = 0; x < w; ++x) {
                out[x] = sum * inv;
                sum += at(x + r + 1) - at(x - r);
            }
        }
        return;
    }
    std::vector<float> sum(size_t(w), 0.0f);
    auto row = [&](int y) { return &src[size_t(std::clamp(y, 0, h - 1)) * w]; };
    for (int i = -r; i <= r; ++i) {
        const float* in = row(i);
        for (int x = 0; x < w; ++x)
            sum[x] += in[x];
    }
    for (int y = 0; y < h; ++y) {
        float* out = &dst[size_t(y) * w];
        const float* add = row(y + r + 1);
        const float* sub = row(y - r);
        for (int x = 0; x < w; ++x) {
            out[x] = sum[x] * inv;
            sum[x] += add[x] - sub[x];
        }
    }
}

} // namespace

void composite(Image& img, const Mask& m, Colour c, float opacity)
{
    for (size_t i = 0; i < img.px.size(); ++i) {
        float a = clamp01(m.a[i]) * opacity;
        img.px[i] = mix(img.px[i], c, a);
    }
}

void compositeGradient(Image& img, const Mask& m, Colour top, Colour bottom, int y0, int y1)
{
    for (int y = 0; y < img.h; ++y) {
        float t = y1 == y0 ? 0 : clamp01(float(y - y0) / float(y1 - y0));
        Colour c = mix(top, bottom, t);
        for (int x = 0; x < img.w; ++x)
            img.at(x, y) = mix(img.at(x, y), c, clamp01(m.at(x, y)));
    }
}

void addLight(Image& img, const Mask& m, Colour c)
{
    for (size_t i = 0; i < img.px.size(); ++i) {
        float a = m.a[i];
        img.px[i].r += c.r * a;
        img.px[i].g += c.g * a;
        img.px[i].b += c.b * a;
    }
}

Mask shifted(const Mask& m, int dx, int dy)
{
    Mask out(m.w, m.h);
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x) {
            int sx = x - dx, sy = y - dy;
            if (sx >= 0 && sy >= 0 && sx < m.w && sy < m.h)
                out.at(x, y) = m.at(sx, sy);
        }
    return out;
}

Mask blurred(const Mask& m, float radiusX, float radiusY)
{
    // Three box passes of radius r approximate a Gaussian of sigma ~ r.
    Mask out = m;
    std::vector<float> tmp(out.a.size());
    int rx = std::max(0, int(std::lround(radiusX * 0.8f)));
    int ry = std::max(0, int(std::lround(radiusY * 0.8f)));
    for (int pass = 0; pass < 3; ++pass) {
        if (rx > 0) {
            boxPass(out.a, tmp, m.w, m.h, rx, true);
            out.a.swap(tmp);
        }
        if (ry > 0) {
            boxPass(out.a, tmp, m.w, m.h, ry, false);
            out.a.swap(tmp);
        }
    }
    return out;
}

unsigned hash2(int x, int y, unsigned seed)
{
    unsigned h = seed * 0x9E3779B9u ^ unsigned(x) * 0x85EBCA6Bu ^ unsigned(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float smoothstep(float e0, float e1, float x)
{
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

float fract(float x) { return x - std::floor(x); }

float periodicNoise(float u, float v, int periodU, int periodV, unsigned seed)
{
    float fu = std::floor(u), fv = std::floor(v);
    int x0 = int(fu), y0 = int(fv);
    float tx = u - fu, ty = v - fv;
    // Quintic fade: no visible lattice creases once the tile is lit and repeated.
    tx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
    ty = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
    auto wrap = [](int i, int p) { return ((i % p) + p) % p; };
    auto val = [&](int x, int y) {
        return float(hash2(wrap(x, periodU), wrap(y, periodV), seed) & 0xFFFFu) / 65535.0f;
    };
    float a = val(x0, y0), b = val(x0 + 1, y0), c = val(x0, y0 + 1), d = val(x0 + 1, y0 + 1);
    return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

float periodicFbm(float u, float v, int periodU, int periodV, int octaves, unsigned seed)
{
    float sum = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * periodicNoise(u, v, periodU, periodV, seed + unsigned(o) * 101u);
        norm += amp;
        u *= 2;
        v *= 2;
        periodU *= 2;
        periodV *= 2;
        amp *= 0.5f;
    }
    return sum / norm;
}

// ---- text ----

struct Font {
    FT_Face face = nullptr;
};

namespace {

FT_Library gLibrary = nullptr;
std::vector<std::unique_ptr<Font>> gFonts;

const char* const kFontDir = "/usr/share/fonts/truetype/dejavu/";

void setSize(const TextStyle& s)
{
    FT_F26Dot6 h = FT_F26Dot6(std::lround(s.heightPx * 64));
    FT_F26Dot6 w = FT_F26Dot6(std::lround(s.heightPx * s.widthScale * 64));
    FT_Set_Char_Size(s.font->face, w, h, 72, 72);
}

// Decodes UTF-8; a malformed byte becomes U+FFFD rather than a read past the string.
std::vector<unsigned> decodeUtf8(const std::string& text)
{
    std::vector<unsigned> out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        bool valid = extra >= 0 && i + size_t(extra) < text.size();
        for (int k = 1; valid && k <= extra; ++k)
            valid = (static_cast<unsigned char>(text[i + size_t(k)]) >> 6) == 2;
        if (!valid) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        unsigned cp = extra == 0 ? c : c & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + size_t(k)]) & 0x3Fu);
        out.push_back(cp);
        i += size_t(extra) + 1;
    }
    return out;
}

// Walks the line, calling emit(glyphIndex, penX) for each glyph; returns the advance width.
template <class Emit> float layOut(const TextStyle& s, const std::string& text, Emit emit)
{
    setSize(s);
    FT_Face face = s.font->face;
    const float tracking = s.trackingEm * s.heightPx * s.widthScale;
    float pen = 0;
    FT_UInt previous = 0;
    std::vector<unsigned> cps = decodeUtf8(text);
    for (size_t i = 0; i < cps.size(); ++i) {
        FT_UInt glyph = FT_Get_Char_Index(face, cps[i]);
        if (previous && glyph && FT_HAS_KERNING(face)) {
            FT_Vector k;
            FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNFITTED, &k);
            pen += float(k.x) / 64.0f;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING) == 0) {
            emit(glyph, pen);
            pen += float(face->glyph->linearHoriAdvance) / 65536.0f;
            if (i + 1 < cps.size())
                pen += tracking;
        }
        previous = glyph;
    }
    return pen;
}

} // namespace

Font* openFont(const char* fileName)
{
    if (!gLibrary && FT_Init_FreeType(&gLibrary) != 0) {
        std::fprintf(stderr, "picturegen: FreeType did not initialise\n");
        std::exit(1);
    }
    std::string path = std::string(kFontDir) + fileName;
    auto font = std::make_unique<Font>();
    if (FT_New_Face(gLibrary, path.c_str(), 0, &font->face) != 0) {
        // A missing font would leave every title blank: stop rather than write empty pictures.
        std::fprintf(stderr, "picturegen: cannot open font %s (install fonts-dejavu-core)\n",
                     path.c_str());
        std::exit(1);
    }
    gFonts.push_back(std::move(font));
    return gFonts.back().get();
}

void closeFonts()
{
    for (auto& f : gFonts)
        FT_Done_Face(f->face);
    gFonts.clear();
    if (gLibrary)
        FT_Done_FreeType(gLibrary);
    gLibrary = nullptr;
}

float textWidth(const TextStyle& style, const std::string& text)
{
    return layOut(style, text, [](FT_UInt, float) {});
}

void drawText(Mask& m, const TextStyle& style, const std::string& text, float x, float baselineY)
{
    FT_Face face = style.font->face;
    layOut(style, text, [&](FT_UInt, float pen) {
        // Place the outline at its exact fractional position before rendering, so spacing
        // stays even at any size.
        float gx = x + pen;
        float ix = std::floor(gx), iy = std::floor(baselineY);
        FT_Outline_Translate(&face->glyph->outline, FT_Pos(std::lround((gx - ix) * 64)),
                             FT_Pos(std::lround(-(baselineY - iy) * 64)));
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0)
            return;
        const FT_Bitmap& bm = face->glyph->bitmap;
        int left = int(ix) + face->glyph->bitmap_left;
        int top = int(iy) - face->glyph->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned c = 0; c < bm.width; ++c) {
                int px = left + int(c), py = top + int(r);
                if (px < 0 || py < 0 || px >= m.w || py >= m.h)
                    continue;
                float cov = bm.buffer[r * unsigned(bm.pitch) + c] / 255.0f;
                float& dst = m.at(px, py);
                dst = dst + cov - dst * cov; // union of overlapping glyph edges
            }
    });
}

void drawTextCentred(Mask& m, const TextStyle& style, const std::string& text, float cx,
                     float baselineY)
{
    drawText(m, style, text, cx - textWidth(style, text) / 2, baselineY);
}

float capHeight(const TextStyle& style)
{
    setSize(style);
    FT_Face face = style.font->face;
    if (FT_Load_Char(face, 'H', FT_LOAD_NO_HINTING) != 0)
        return style.heightPx * 0.73f;
    return float(face->glyph->metrics.horiBearingY) / 64.0f;
}

// ---- output ----

bool writeJpeg(const Image& img, const std::string& path, int quality)
{
    std::vector<unsigned char> rgb(size_t(img.w) * img.h * 3);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const Colour& c = img.at(x, y);
            // A fixed half-step dither keeps slow gradients from banding after quantisation.
            float d = (float(hash2(x, y, 7u) & 0xFFu) / 255.0f - 0.5f) * 0.8f;
            unsigned char* p = &rgb[(size_t(y) * img.w + x) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(std::lround(clamp01(c.r) * 255 + d), 0L, 255L));
            p[1] = static_cast<unsigned char>(std::clamp(std::lround(clamp01(c.g) * 255 + d), 0L, 255L));
            p[2] = static_cast<unsigned char>(std::clamp(std::lround(clamp01(c.b) * 255 + d), 0L, 255L));
        }
    tjhandle tj = tjInitCompress();
    if (!tj) {
        std::fprintf(stderr, "picturegen: %s: %s\n", path.c_str(), tjGetErrorStr2(nullptr));
        return false;
    }
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    int rc = tjCompress2(tj, rgb.data(), img.w, 0, img.h, TJPF_RGB, &jpeg, &size, TJSAMP_444,
                         quality, TJFLAG_ACCURATEDCT);
    if (rc != 0) {
        std::fprintf(stderr, "picturegen: %s: %s\n", path.c_str(), tjGetErrorStr2(tj));
        tjDestroy(tj);
        return false;
    }
    bool ok = false;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        ok = std::fwrite(jpeg, 1, size, f) == size;
        ok = (std::fclose(f) == 0) && ok;
    }
    if (!ok)
        std::fprintf(stderr, "picturegen: cannot write %s\n", path.c_str());
    tjFree(jpeg);
    tjDestroy(tj);
    return ok;
}
