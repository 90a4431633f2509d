// SPDX-License-Identifier: MIT
// tools/picture_canvas.h — the small drawing kit behind picturegen: float RGB images, coverage
// masks, periodic noise for seamless tiles, FreeType text and JPEG output. Everything is
// deterministic: no clocks, no library random numbers, the same bytes on every run.
#pragma once
#include <string>
#include <vector>

struct Colour {
    float r = 0, g = 0, b = 0;
};

inline Colour mix(Colour a, Colour b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Colour scale(Colour c, float k) { return {c.r * k, c.g * k, c.b * k}; }

// An RGB picture, top row first, components nominally 0..1 (clamped on output).
struct Image {
    int w = 0, h = 0;
    std::vector<Colour> px;
    Image(int width, int height) : w(width), h(height), px(size_t(width) * height) {}
    Colour& at(int x, int y) { return px[size_t(y) * w + x]; }
    const Colour& at(int x, int y) const { return px[size_t(y) * w + x]; }
};

// Pixels of the picture being drawn per pixel of its design size (512 class). Measures given
// in pixels (blur radii, line widths, star sizes) are multiplied by it, so a picture drawn at
// twice the size has the same look with twice the detail.
extern float pictureDetail;

// One coverage channel, 0..1: text and shapes are drawn into masks, then softened and laid
// over an image in whatever colour or gradient the picture wants.
struct Mask {
    int w = 0, h = 0;
    std::vector<float> a;
    Mask(int width, int height) : w(width), h(height), a(size_t(width) * height) {}
    float& at(int x, int y) { return a[size_t(y) * w + x]; }
    float at(int x, int y) const { return a[size_t(y) * w + x]; }
};

// Lays `c` over the image where the mask covers it, scaled by `opacity`.
void composite(Image& img, const Mask& m, Colour c, float opacity = 1);
// As composite, with a vertical gradient from `top` (at row y0) to `bottom` (at row y1).
void compositeGradient(Image& img, const Mask& m, Colour top, Colour bottom, int y0, int y1);
// As composite, with the colour of each row given by colourOfRow(y): chrome and other
// banded fills.
template <class F> void compositeRows(Image& img, const Mask& m, F colourOfRow);
// Adds `c` times the mask: light that brightens rather than covers (glows).
void addLight(Image& img, const Mask& m, Colour c);
// The mask moved by whole pixels (drop shadows); uncovered pixels are 0.
Mask shifted(const Mask& m, int dx, int dy);
// Approximate Gaussian blur (three box passes); `radius` in pixels, per axis.
Mask blurred(const Mask& m, float radiusX, float radiusY);
// Fills the mask by a function of the pixel centre, averaged over n x n samples per pixel.
template <class F> void fillMask(Mask& m, int n, F coverage);

// Periodic noise: lattice value noise that wraps every periodU x periodV cells, sampled at
// u, v given in cells. Octaves double both periods, so an fbm stays seamless over the tile.
// Unequal periods give grain stretched along one axis (brushed metal).
float periodicNoise(float u, float v, int periodU, int periodV, unsigned seed);
float periodicFbm(float u, float v, int periodU, int periodV, int octaves, unsigned seed);
unsigned hash2(int x, int y, unsigned seed);

// Renders every pixel of a seamless tile from f(u, v, field) with u, v in 0..1 across the
// tile, averaged over n x n samples per pixel so edges are smooth before any mipmapping.
// field = perPixel(u, v) is evaluated once at the pixel centre: smooth quantities (noise)
// need no supersampling, and they are the expensive part.
template <class P, class F> void fillTile(Image& img, int n, P perPixel, F f);

float smoothstep(float e0, float e1, float x);
float fract(float x);

// Text through FreeType. A Font is one face at one design; sizes are given per call in pixels,
// separately for width and height so a picture that is shown squeezed can be drawn stretched.
struct Font;
Font* openFont(const char* fileName); // a file in the DejaVu directory; exits on failure
void closeFonts();

struct TextStyle {
    Font* font = nullptr;
    float heightPx = 32;   // em height in pixels
    float widthScale = 1;  // horizontal stretch of every glyph and advance
    float trackingEm = 0;  // extra space between letters, in ems
};
// Width in pixels of a line of text set in `style`.
float textWidth(const TextStyle& style, const std::string& text);
// Draws one line with its baseline at y; x is the left edge. Coverage adds into the mask.
void drawText(Mask& m, const TextStyle& style, const std::string& text, float x, float baselineY);
// Draws one line centred horizontally on cx.
void drawTextCentred(Mask& m, const TextStyle& style, const std::string& text, float cx,
                     float baselineY);
// Cap height of the face in pixels at the style's size (for vertical centring of capitals).
float capHeight(const TextStyle& style);

// Writes the image as a baseline JPEG (4:4:4 so coloured text edges keep their colour).
// Returns false, with the reason on stderr, when encoding or writing fails.
bool writeJpeg(const Image& img, const std::string& path, int quality);

template <class F> void fillMask(Mask& m, int n, F coverage)
{
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x) {
            float sum = 0;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    sum += coverage(x + (i + 0.5f) / n, y + (j + 0.5f) / n);
            m.at(x, y) += sum / float(n * n);
        }
}

template <class F> void compositeRows(Image& img, const Mask& m, F colourOfRow)
{
    for (int y = 0; y < img.h; ++y) {
        Colour c = colourOfRow(y);
        for (int x = 0; x < img.w; ++x) {
            float a = m.at(x, y);
            a = a < 0 ? 0 : (a > 1 ? 1 : a);
            img.at(x, y) = mix(img.at(x, y), c, a);
        }
    }
}

template <class P, class F> void fillTile(Image& img, int n, P perPixel, F f)
{
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            auto field = perPixel((x + 0.5f) / img.w, (y + 0.5f) / img.h);
            Colour sum;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    Colour c = f((x + (i + 0.5f) / n) / img.w, (y + (j + 0.5f) / n) / img.h, field);
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                }
            img.at(x, y) = scale(sum, 1.0f / float(n * n));
        }
}
