// SPDX-License-Identifier: MIT
// tools/picture_titles.cpp — the pictures that carry text. Each is laid out in the units of the
// quad it is shown on (4.5 x 3.34 title picture, 7 x 0.8 strips, 0.8 x 7 upright strip, ...)
// and mapped onto its power-of-two image, so glyphs come out upright and unstretched on
// screen even where the image is squeezed by its quad.
#include <algorithm>
#include <cmath>
#include <string>

#include "tools/picture_sets.h"

namespace {

// Pixels per display unit along each axis of one picture.
struct Frame {
    float sx, sy;
    float px(float units) const { return units * sx; }
    float py(float units) const { return units * sy; }
};
Frame frameFor(const Image& img, float unitsW, float unitsH)
{
    return {float(img.w) / unitsW, float(img.h) / unitsH};
}

struct Fonts {
    Font* bold;
    Font* condensedBold;
    Font* light;
    Font* serifItalic;
    Font* sans;
};
const Fonts& fonts()
{
    static const Fonts f{openFont("DejaVuSans-Bold.ttf"), openFont("DejaVuSansCondensed-Bold.ttf"),
                         openFont("DejaVuSans-ExtraLight.ttf"), openFont("DejaVuSerif-Italic.ttf"),
                         openFont("DejaVuSans.ttf")};
    return f;
}

// A style whose em is `emUnits` display units tall, with glyphs widened or narrowed so they
// look right once the image is shown on its quad.
TextStyle styleFor(const Frame& fr, Font* font, float emUnits, float trackingEm = 0)
{
    return {font, fr.py(emUnits), fr.sx / fr.sy, trackingEm};
}

// Shrinks a style, keeping its proportions, until `text` fits in maxPx.
TextStyle fitted(TextStyle s, const std::string& text, float maxPx)
{
    float w = textWidth(s, text);
    if (w > maxPx)
        s.heightPx *= maxPx / w;
    return s;
}

Colour add(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

// Night backdrop: a vertical gradient, darkened towards the corners.
void backdrop(Image& img, Colour top, Colour bottom, float vignette)
{
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            float dx = (x + 0.5f) / img.w - 0.5f, dy = (y + 0.5f) / img.h - 0.5f;
            float v = 1 - vignette * std::min(1.0f, (dx * dx + dy * dy) * 2.2f);
            img.at(x, y) = scale(mix(top, bottom, (y + 0.5f) / img.h), v);
        }
}

// Sparse stars: soft dots a pixel or two across, placed by hash, above row yLimit.
void stars(Image& img, int count, int yLimit, unsigned seed)
{
    Mask m(img.w, img.h);
    for (int i = 0; i < count; ++i) {
        unsigned h = hash2(i, 0, seed);
        float cx = float(h % unsigned(img.w)) + 0.5f;
        float cy = float((h >> 12) % unsigned(std::max(1, yLimit))) + 0.5f;
        float bright = 0.25f + 0.75f * float((h >> 24) & 0xFFu) / 255.0f;
        const int reach = int(2 * pictureDetail + 0.5f);
        for (int y = int(cy) - reach; y <= int(cy) + reach; ++y)
            for (int x = int(cx) - reach; x <= int(cx) + reach; ++x)
                if (x >= 0 && y >= 0 && x < img.w && y < img.h) {
                    float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
                    m.at(x, y) += bright * std::exp(-(dx * dx + dy * dy) / (0.8f * pictureDetail * pictureDetail));
                }
    }
    addLight(img, m, {0.85f, 0.9f, 1.0f});
}

// The title look: a soft coloured glow, a dark drop shadow, then the letters in a fill.
template <class Fill>
void shine(Image& img, const Mask& text, Colour glow, float glowPx, Fill fillOfRow)
{
    addLight(img, blurred(text, glowPx, glowPx), scale(glow, 1.1f));
    addLight(img, blurred(text, glowPx * 0.3f, glowPx * 0.3f), scale(glow, 0.5f));
    int off = std::max(1, int(glowPx * 0.15f));
    composite(img, blurred(shifted(text, off, off), 1.5f * pictureDetail, 1.5f * pictureDetail), {0, 0, 0}, 0.7f);
    compositeRows(img, text, fillOfRow);
}

// Chrome: pale sky above a sharp horizon at mid-letter, deep colour rising to light below.
auto chrome(int y0, int y1, Colour deep)
{
    return [=](int y) {
        float t = std::clamp(float(y - y0) / float(std::max(1, y1 - y0)), 0.0f, 1.0f);
        if (t < 0.52f)
            return mix(Colour{1, 1, 1}, Colour{0.70f, 0.85f, 1.0f}, t / 0.52f);
        return mix(deep, Colour{0.95f, 0.85f, 1.0f}, (t - 0.52f) / 0.48f);
    };
}

auto plain(Colour c)
{
    return [=](int) { return c; };
}

// A horizontal line of light from x0 to x1 (pixels), thickness in pixels, fading at both ends.
void lightLine(Image& img, float x0, float x1, float y, float thickness, Colour c)
{
    Mask m(img.w, img.h);
    fillMask(m, 3, [&](float x, float yy) {
        if (x < x0 || x > x1)
            return 0.0f;
        float fade = std::min(smoothstep(x0, x0 + 0.2f * (x1 - x0), x), smoothstep(x1, x1 - 0.2f * (x1 - x0), x));
        return std::abs(yy - y) <= thickness * 0.5f ? fade : 0.0f;
    });
    addLight(img, blurred(m, 2 * pictureDetail, 2 * pictureDetail), scale(c, 0.6f));
    addLight(img, m, c);
}

// Title strips: one line of capitals centred on the 7 x 0.8 strip, white hot in the middle,
// with rules of light either side. Shown at alpha 0.2, so only bright things survive.
void drawStrip(Image& img, const std::string& words, Colour accent)
{
    Frame fr = frameFor(img, 7.0f, 0.8f);
    backdrop(img, {0.02f, 0.02f, 0.04f}, {0.04f, 0.03f, 0.06f}, 0.0f);
    TextStyle s = fitted(styleFor(fr, fonts().bold, 0.52f, 0.18f), words, fr.px(5.2f));
    float width = textWidth(s, words);
    float cap = capHeight(s);
    float baseline = img.h * 0.5f + cap * 0.5f;
    Mask text(img.w, img.h);
    drawTextCentred(text, s, words, img.w * 0.5f, baseline);
    float gap = fr.px(0.25f);
    lightLine(img, fr.px(0.2f), img.w * 0.5f - width * 0.5f - gap, img.h * 0.5f, 3 * pictureDetail, accent);
    lightLine(img, img.w * 0.5f + width * 0.5f + gap, img.w - fr.px(0.2f), img.h * 0.5f, 3 * pictureDetail, accent);
    int top = int(baseline - cap), bottom = int(baseline);
    shine(img, text, accent, fr.py(0.12f), [=](int y) {
        float t = std::clamp(float(y - top) / float(std::max(1, bottom - top)), 0.0f, 1.0f);
        return mix(Colour{1, 1, 1}, mix(Colour{1, 1, 1}, accent, 0.6f), t);
    });
}

} // namespace

void drawMade(Image& img)
{
    // The title picture, 4.5 x 3.34: the group's name, "presents", the demo's name in chrome
    // over a horizon grid, and a line of promise underneath.
    Frame fr = frameFor(img, 4.5f, 3.34f);
    backdrop(img, {0.01f, 0.01f, 0.06f}, {0.16f, 0.03f, 0.20f}, 0.5f);
    const float horizon = fr.py(2.35f);
    stars(img, 140, int(horizon), 3u);

    // Horizon glow and a perspective grid on the ground below it.
    for (int y = 0; y < img.h; ++y) {
        float d = (y + 0.5f - horizon) / fr.py(0.25f);
        float glow = std::exp(-d * d);
        for (int x = 0; x < img.w; ++x)
            img.at(x, y) = add(img.at(x, y), scale({0.9f, 0.25f, 0.55f}, 0.55f * glow));
    }
    Mask grid(img.w, img.h);
    const float cx = img.w * 0.5f;
    fillMask(grid, 3, [&](float x, float y) {
        if (y < horizon)
            return 0.0f;
        // Ground plane seen from above: rows at whole distances, lanes at whole offsets.
        // Distances to the nearest line are measured in design pixels for an even line width.
        const float d = pictureDetail;
        float below = y - horizon + d;
        float k = fr.py(0.8f), lanes = 2.2f;
        float z = k / below, dz = k / (below * below);
        float zd = std::min(fract(z), 1 - fract(z)) / dz;
        float lx = (x - cx) / below * lanes, dx = lanes / below;
        float xd = std::min(fract(lx), 1 - fract(lx)) / dx;
        float rowLine = zd < 0.7f * d ? smoothstep(0.6f, 0.2f, dz * d) : 0.0f; // rows too dense merge
        float laneLine = xd < 0.7f * d ? smoothstep(0.5f, 0.15f, dx * d) : 0.0f;
        float fade = smoothstep(horizon, horizon + fr.py(0.6f), y);
        return std::max(rowLine, laneLine) * (0.2f + 0.8f * fade);
    });
    addLight(img, blurred(grid, 2 * pictureDetail, 2 * pictureDetail), {0.6f, 0.1f, 0.5f});
    addLight(img, grid, {0.9f, 0.35f, 0.8f});

    Mask small(img.w, img.h);
    TextStyle group = styleFor(fr, fonts().sans, 0.20f, 0.45f);
    drawTextCentred(small, group, "QUARTZ HERON", cx, fr.py(0.55f));
    TextStyle presents = styleFor(fr, fonts().serifItalic, 0.22f);
    drawTextCentred(small, presents, "presents", cx, fr.py(0.92f));
    shine(img, small, {0.3f, 0.6f, 1.0f}, fr.py(0.05f), plain({0.85f, 0.92f, 1.0f}));

    Mask title(img.w, img.h);
    TextStyle big = fitted(styleFor(fr, fonts().bold, 1.35f, 0.02f), "rinta", fr.px(3.9f));
    float baseline = fr.py(2.05f);
    drawTextCentred(title, big, "rinta", cx, baseline);
    shine(img, title, {0.2f, 0.8f, 1.0f}, fr.py(0.12f),
          chrome(int(baseline - big.heightPx * 0.76f), int(baseline), {0.12f, 0.10f, 0.45f}));

    Mask tag(img.w, img.h);
    TextStyle line = styleFor(fr, fonts().sans, 0.16f, 0.12f);
    drawTextCentred(tag, line, "eight scenes  \u00b7  one song  \u00b7  no sleep", cx, fr.py(3.0f));
    shine(img, tag, {0.9f, 0.3f, 0.7f}, fr.py(0.04f), plain({1.0f, 0.88f, 0.95f}));
}

void drawWorld(Image& img) { drawStrip(img, "OTHER WORLDS", {0.2f, 0.8f, 1.0f}); }
void drawLomb(Image& img) { drawStrip(img, "SLOW LIGHT", {1.0f, 0.65f, 0.2f}); }
void drawGate(Image& img) { drawStrip(img, "THROUGH THE GATE", {0.3f, 1.0f, 0.6f}); }
void drawEnd(Image& img) { drawStrip(img, "THE END", {1.0f, 0.3f, 0.7f}); }

void drawStyle(Image& img)
{
    // The upright strip is 0.8 wide and 7 high with the texture unturned, so the word is set
    // as upright capitals stacked top to bottom, drawn in the strip's own proportions.
    Frame fr = frameFor(img, 0.8f, 7.0f);
    backdrop(img, {0.02f, 0.02f, 0.05f}, {0.03f, 0.02f, 0.05f}, 0.0f);
    const std::string word = "DRIFT";
    const float slot = 7.0f / float(word.size());
    TextStyle s = styleFor(fr, fonts().bold, 0.78f);
    float cap = capHeight(s);
    Mask text(img.w, img.h);
    for (size_t i = 0; i < word.size(); ++i) {
        float centre = fr.py(slot * (float(i) + 0.5f));
        drawTextCentred(text, s, word.substr(i, 1), img.w * 0.5f, centre + cap * 0.5f);
    }
    // Rails of light down both sides, and a dot between letters.
    Mask rails(img.w, img.h);
    fillMask(rails, 3, [&](float x, float y) {
        float edge = std::min(std::abs(x - fr.px(0.07f)), std::abs(x - fr.px(0.73f)));
        float fade = std::min(smoothstep(0, fr.py(0.4f), y), smoothstep(float(img.h), img.h - fr.py(0.4f), y));
        float r = edge < 1.5f * pictureDetail ? fade : 0.0f;
        for (size_t i = 1; i < word.size(); ++i) {
            float dx = (x - img.w * 0.5f) / fr.px(0.05f), dy = (y - fr.py(slot * float(i))) / fr.py(0.05f);
            if (dx * dx + dy * dy < 1)
                r = 1;
        }
        return r;
    });
    const Colour accent{0.7f, 0.4f, 1.0f};
    addLight(img, blurred(rails, 3 * pictureDetail, 3 * pictureDetail), scale(accent, 0.6f));
    addLight(img, rails, accent);
    shine(img, text, accent, fr.px(0.1f), plain({1, 1, 1}));
}

void drawShot(Image& img)
{
    // A framed picture for the corridor wall (3 x 2): dusk over a lake between ridges, in a
    // dark wooden frame with a brass plate naming the piece.
    Frame fr = frameFor(img, 3.0f, 2.0f);
    const float border = 0.14f;
    const float x0 = fr.px(border), x1 = img.w - fr.px(border);
    const float y0 = fr.py(border), y1 = img.h - fr.py(border);
    const float horizon = y0 + (y1 - y0) * 0.58f;
    const float sunX = x0 + (x1 - x0) * 0.62f, sunY = horizon - fr.py(0.28f);
    auto ridge = [&](float x, float base, float height, unsigned seed) {
        float u = (x - x0) / (x1 - x0);
        return base - height * periodicFbm(u * 6, 0.5f, 6, 1, 5, seed);
    };
    auto sky = [&](float y) {
        float t = std::clamp((y - y0) / (horizon - y0), 0.0f, 1.0f);
        static const Colour kSky[4] = {{0.06f, 0.06f, 0.22f}, {0.35f, 0.15f, 0.40f},
                                       {0.95f, 0.45f, 0.25f}, {1.0f, 0.80f, 0.45f}};
        float k = t * 3;
        int i = std::min(int(k), 2);
        return mix(kSky[i], kSky[i + 1], k - float(i));
    };
    auto scenery = [&](float x, float y) {
        // Above the horizon: sky, sun and two ridges; below: the same, mirrored and rippled.
        bool water = y > horizon;
        float ripple = water ? std::sin((y - horizon) * 0.9f + 3 * std::sin(x * 0.05f)) * (y - horizon) * 0.02f : 0;
        float sy = water ? 2 * horizon - y + ripple : y;
        Colour c = sky(sy);
        float dx = (x - sunX) / fr.px(0.2f), dy = (sy - sunY) / fr.py(0.2f);
        float sun = dx * dx + dy * dy;
        c = add(c, scale({1.0f, 0.7f, 0.4f}, 0.5f * std::exp(-sun * 0.15f)));
        if (sun < 1)
            c = mix(c, {1.0f, 0.95f, 0.8f}, smoothstep(1.0f, 0.9f, sun));
        if (sy > ridge(x, horizon, fr.py(0.45f), 5u))
            c = mix(c, {0.18f, 0.10f, 0.25f}, 0.85f);
        if (sy > ridge(x, horizon, fr.py(0.22f), 9u))
            c = {0.07f, 0.04f, 0.10f};
        if (water)
            c = scale(mix(c, {0.20f, 0.12f, 0.28f}, 0.2f), 0.92f);
        return c;
    };
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            float fx = x + 0.5f, fy = y + 0.5f;
            if (fx > x0 && fx < x1 && fy > y0 && fy < y1) {
                img.at(x, y) = scenery(fx, fy);
                continue;
            }
            // Frame: dark wood grain along each side, lit on the upper and left edges.
            float grain = periodicFbm(fx * 0.02f, fy * 0.3f, 64, 256, 3, 17u);
            Colour wood = mix({0.16f, 0.08f, 0.04f}, {0.40f, 0.24f, 0.12f}, grain);
            float inner = std::min(std::min(fx - 0, img.w - fx) / fr.sx, std::min(fy, img.h - fy) / fr.sy);
            float lit = (fy < img.h * 0.5f || fx < img.w * 0.5f) ? 1.15f : 0.8f;
            img.at(x, y) = scale(wood, lit * (0.7f + 0.3f * smoothstep(0, border * 0.5f, inner)));
        }
    // The brass plate on the bottom rail, with the title engraved.
    const float plateW = fr.px(0.9f), plateH = fr.py(0.09f);
    const float pcx = img.w * 0.5f, pcy = img.h - fr.py(border * 0.5f);
    for (int y = int(pcy - plateH / 2); y < int(pcy + plateH / 2); ++y)
        for (int x = int(pcx - plateW / 2); x < int(pcx + plateW / 2); ++x) {
            float t = (y - (pcy - plateH / 2)) / plateH;
            img.at(x, y) = mix({0.95f, 0.80f, 0.45f}, {0.55f, 0.40f, 0.15f}, t);
        }
    Mask caption(img.w, img.h);
    TextStyle s = fitted(styleFor(fr, fonts().condensedBold, 0.075f, 0.1f), "NORTHERN SHORE \u00b7 MIREL", plateW * 0.9f);
    drawTextCentred(caption, s, "NORTHERN SHORE \u00b7 MIREL", pcx, pcy + capHeight(s) * 0.5f);
    composite(img, caption, {0.18f, 0.10f, 0.03f});
}

void drawGreets(Image& img)
{
    // 5 x 3.34, shown shifted 0.3 to the right, so the right eighth of it lies beyond the view:
    // everything is centred on the part that is seen.
    Frame fr = frameFor(img, 5.0f, 3.34f);
    backdrop(img, {0.02f, 0.03f, 0.08f}, {0.02f, 0.08f, 0.12f}, 0.45f);
    stars(img, 160, img.h, 29u);
    const float visibleW = 4.4f;
    const float cx = fr.px(visibleW * 0.5f);

    Mask title(img.w, img.h);
    TextStyle head = styleFor(fr, fonts().bold, 0.52f, 0.12f);
    float baseline = fr.py(0.78f);
    drawTextCentred(title, head, "GREETINGS", cx, baseline);
    shine(img, title, {0.2f, 0.9f, 0.8f}, fr.py(0.08f),
          chrome(int(baseline - capHeight(head)), int(baseline), {0.05f, 0.25f, 0.35f}));

    static const char* const kGroups[12] = {
        "Polar Static",  "Glass Orchard",  "Tin Lighthouse", "Saffron Loop",
        "Hollow Birch",  "Quiet Voltage",  "Pale Circuit",   "Moss & Mirror",
        "Northbound Tape", "Lantern Nine", "Velvet Parallax", "Ember Atlas"};
    Mask names(img.w, img.h);
    const float columnW = 1.9f;
    for (int i = 0; i < 12; ++i) {
        int column = i / 6, row = i % 6;
        float colCx = fr.px(visibleW * 0.5f + (column == 0 ? -1.05f : 1.05f));
        TextStyle s = fitted(styleFor(fr, fonts().condensedBold, 0.22f, 0.04f), kGroups[i], fr.px(columnW));
        drawTextCentred(names, s, kGroups[i], colCx, fr.py(1.35f + 0.29f * float(row)));
    }
    shine(img, names, {0.2f, 0.5f, 0.9f}, fr.py(0.04f), plain({0.92f, 0.97f, 1.0f}));

    Mask foot(img.w, img.h);
    TextStyle s = styleFor(fr, fonts().serifItalic, 0.17f);
    drawTextCentred(foot, s, "and to everyone still making things that move", cx, fr.py(3.12f));
    shine(img, foot, {0.9f, 0.5f, 0.2f}, fr.py(0.03f), plain({1.0f, 0.85f, 0.6f}));
}

void drawCredit(Image& img, int member)
{
    // One credit on 4 x 3.34: the role above, the handle large, what they made below. Shown
    // over a grey backdrop at a pulsing alpha, so the picture is dark with bright letters.
    struct Credit {
        const char* role;
        const char* handle;
        const char* work;
        Colour accent;
    };
    static const Credit kCredits[4] = {
        {"CODE", "rinta", "engine \u00b7 scenes \u00b7 timing", {0.2f, 0.8f, 1.0f}},
        {"MUSIC", "pasko", "composition \u00b7 samples \u00b7 mix", {1.0f, 0.6f, 0.2f}},
        {"GRAPHICS", "mirel", "textures \u00b7 pictures \u00b7 type", {0.4f, 1.0f, 0.5f}},
        {"DESIGN", "olvek", "direction \u00b7 flow \u00b7 colour", {1.0f, 0.35f, 0.75f}},
    };
    const Credit& c = kCredits[std::clamp(member, 0, 3)];
    Frame fr = frameFor(img, 4.0f, 3.34f);
    backdrop(img, scale(c.accent, 0.05f), {0.01f, 0.01f, 0.02f}, 0.6f);
    const float cx = img.w * 0.5f, cy = fr.py(1.75f);

    // A thin ring behind the handle, echoing the ring that pulses behind the picture.
    Mask ring(img.w, img.h);
    fillMask(ring, 3, [&](float x, float y) {
        float dx = (x - cx) / fr.sx, dy = (y - cy) / fr.sy;
        float r = std::sqrt(dx * dx + dy * dy);
        return std::abs(r - 1.35f) < 0.012f ? 1.0f : 0.0f;
    });
    addLight(img, blurred(ring, 4 * pictureDetail, 4 * pictureDetail), scale(c.accent, 0.5f));
    addLight(img, ring, scale(c.accent, 0.6f));

    Mask role(img.w, img.h);
    TextStyle rs = styleFor(fr, fonts().sans, 0.26f, 0.6f);
    drawTextCentred(role, rs, c.role, cx, fr.py(0.85f));
    shine(img, role, c.accent, fr.py(0.05f), plain(mix({1, 1, 1}, c.accent, 0.5f)));

    Mask handle(img.w, img.h);
    TextStyle hs = fitted(styleFor(fr, fonts().bold, 1.05f, 0.02f), c.handle, fr.px(3.4f));
    float baseline = fr.py(2.08f);
    drawTextCentred(handle, hs, c.handle, cx, baseline);
    shine(img, handle, c.accent, fr.py(0.1f),
          chrome(int(baseline - hs.heightPx * 0.76f), int(baseline), scale(c.accent, 0.35f)));

    Mask work(img.w, img.h);
    TextStyle ws = styleFor(fr, fonts().sans, 0.18f, 0.08f);
    drawTextCentred(work, ws, c.work, cx, fr.py(2.62f));
    shine(img, work, c.accent, fr.py(0.03f), plain({0.95f, 0.95f, 0.95f}));
}

void drawFenro(Image& img)
{
    // The closing picture, 4.5 x 3.34, laid over the last scene at alpha 0.1: large, bright,
    // simple letters on black are all that can show through at that strength.
    Frame fr = frameFor(img, 4.5f, 3.34f);
    backdrop(img, {0.0f, 0.0f, 0.02f}, {0.02f, 0.0f, 0.04f}, 0.3f);
    stars(img, 90, img.h, 41u);
    const float cx = img.w * 0.5f;

    Mask big(img.w, img.h);
    TextStyle s = fitted(styleFor(fr, fonts().bold, 0.62f, 0.02f), "thank you", fr.px(3.9f));
    drawTextCentred(big, s, "thank you", cx, fr.py(1.35f));
    TextStyle s2 = fitted(styleFor(fr, fonts().bold, 0.62f, 0.02f), "for watching", fr.px(3.9f));
    drawTextCentred(big, s2, "for watching", cx, fr.py(2.05f));
    shine(img, big, {0.5f, 0.6f, 1.0f}, fr.py(0.1f), plain({1, 1, 1}));

    Mask sign(img.w, img.h);
    TextStyle ss = styleFor(fr, fonts().sans, 0.2f, 0.4f);
    drawTextCentred(sign, ss, "RINTA  \u00b7  QUARTZ HERON", cx, fr.py(2.75f));
    shine(img, sign, {1.0f, 0.4f, 0.7f}, fr.py(0.04f), plain({1.0f, 0.9f, 0.95f}));
}
