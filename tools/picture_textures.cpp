// SPDX-License-Identifier: MIT
// tools/picture_textures.cpp — the five seamless tiles. Each is a function of u, v over one
// tile built only from whole periods (lattice cells, integer frequencies, noise that wraps),
// so the scenes can repeat them 5 to 60 times without a seam. Features are a few pixels wide
// at least and drawn supersampled, so they settle calmly into the mipmaps.
#include <algorithm>
#include <cmath>

#include "tools/picture_sets.h"

namespace {

constexpr float kTau = 6.28318530718f;

// Signed distance from a point to the nearest wrapped copy of (px, py) on the unit torus.
float torusDistance(float u, float v, float px, float py)
{
    float dx = u - px, dy = v - py;
    dx -= std::round(dx);
    dy -= std::round(dy);
    return std::sqrt(dx * dx + dy * dy);
}

// Bevelled cell edge: 1 on the cell, falling to 0 in the seam; `light` adds a highlight on the
// top-left edges and a shadow on the bottom-right ones, as lit from the upper left.
struct Bevel {
    float body;
    float light;
};
Bevel bevel(float lx, float ly, float seam, float width)
{
    float d = std::min(std::min(lx, 1 - lx), std::min(ly, 1 - ly));
    float body = smoothstep(seam, seam + 0.01f, d);
    float top = smoothstep(seam + width, seam, ly) + 0.6f * smoothstep(seam + width, seam, lx);
    float bottom = smoothstep(1 - seam - width, 1 - seam, ly) +
                   0.6f * smoothstep(1 - seam - width, 1 - seam, lx);
    return {body, (top - bottom) * body};
}

Colour add(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

// Piecewise-linear palette over t in 0..1.
Colour ramp(const Colour* stops, int n, float t)
{
    t = std::clamp(t, 0.0f, 1.0f) * float(n - 1);
    int i = std::min(int(t), n - 2);
    return mix(stops[i], stops[i + 1], t - float(i));
}

} // namespace

void drawTarvel(Image& img)
{
    // 8 x 8 blue-grey marble slabs with lit bevels and a faint cyan light in every seam: on the
    // big floor the grid is what makes its swing and turn readable.
    constexpr int kSlabs = 8;
    auto marbleAt = [](float u, float v) { return periodicFbm(u * 8, v * 8, 8, 8, 5, 21u); };
    fillTile(img, 2, marbleAt, [](float u, float v, float marble) {
        float gu = u * kSlabs, gv = v * kSlabs;
        int cx = int(std::floor(gu)) % kSlabs, cy = int(std::floor(gv)) % kSlabs;
        float lx = fract(gu), ly = fract(gv);
        float tint = float(hash2(cx, cy, 11u) & 0xFFu) / 255.0f;
        float vein = std::pow(std::abs(std::sin(kTau * (u + 2 * v) + marble * 7)), 12.0f);
        Colour stone = mix({0.07f, 0.15f, 0.27f}, {0.20f, 0.38f, 0.56f}, 0.6f * marble + 0.4f * tint);
        stone = add(stone, scale({0.30f, 0.42f, 0.50f}, 0.35f * vein));
        Bevel b = bevel(lx, ly, 0.045f, 0.08f);
        stone = add(scale(stone, 1 + 0.35f * b.light), {0, 0, 0});
        float d = std::min(std::min(lx, 1 - lx), std::min(ly, 1 - ly));
        Colour seam = add({0.02f, 0.04f, 0.08f}, scale({0.15f, 0.65f, 0.85f}, std::exp(-d * d / 0.0009f)));
        return mix(seam, stone, b.body);
    });
}

void drawTex2(Image& img)
{
    // Four brushed steel plates with rivets and darkened seams. Seen whole on the gate, and
    // stretched into long panels along the first corridor segment.
    struct Grain {
        float brushed, grime;
    };
    auto grainAt = [](float u, float v) {
        return Grain{periodicFbm(u * 4, v * 96, 4, 96, 4, 31u), periodicFbm(u * 4, v * 4, 4, 4, 4, 47u)};
    };
    fillTile(img, 2, grainAt, [](float u, float v, Grain g) {
        float gu = u * 2, gv = v * 2;
        int cx = int(std::floor(gu)) % 2, cy = int(std::floor(gv)) % 2;
        float lx = fract(gu), ly = fract(gv);
        float tint = float(hash2(cx, cy, 5u) & 0xFFu) / 255.0f;
        Colour steel = mix({0.30f, 0.33f, 0.38f}, {0.52f, 0.56f, 0.62f}, 0.5f * g.brushed + 0.3f * tint + 0.1f);
        steel = scale(steel, 0.75f + 0.35f * g.grime);
        Bevel b = bevel(lx, ly, 0.02f, 0.05f);
        steel = scale(steel, 1 + 0.45f * b.light);
        // Rivets: lit domes at the corners and the middle of the top and bottom edges.
        static const float kRivets[6][2] = {{0.08f, 0.08f}, {0.5f, 0.08f}, {0.92f, 0.08f},
                                            {0.08f, 0.92f}, {0.5f, 0.92f}, {0.92f, 0.92f}};
        for (const auto& r : kRivets) {
            float dx = (lx - r[0]) / 0.035f, dy = (ly - r[1]) / 0.035f;
            float rr = dx * dx + dy * dy;
            if (rr < 1.6f) {
                float dome = std::sqrt(std::max(0.0f, 1 - rr));
                float lit = std::clamp(0.55f + 0.45f * (-dx - dy) * 0.7f, 0.0f, 1.0f) * dome;
                Colour rivet = mix({0.12f, 0.13f, 0.15f}, {0.85f, 0.88f, 0.92f}, lit);
                float cover = smoothstep(1.15f, 0.85f, rr);
                float ring = smoothstep(1.6f, 1.15f, rr) * (1 - cover);
                steel = mix(scale(steel, 1 - 0.5f * ring), rivet, cover);
            }
        }
        return mix({0.05f, 0.05f, 0.06f}, steel, b.body);
    });
}

void drawTex3(Image& img)
{
    // Dark hull plating crossed by a lit rib at the tile edge and two cyan rails along it. In
    // the corridor the rails run with the flight and the ribs flick past, one every few frames.
    auto hazeAt = [](float u, float v) { return periodicFbm(u * 8, v * 8, 8, 8, 4, 63u); };
    fillTile(img, 2, hazeAt, [](float u, float v, float haze) {
        Colour c = mix({0.02f, 0.03f, 0.06f}, {0.08f, 0.10f, 0.16f}, haze);
        // Faint panel seams between the ribs.
        float seamU = std::min(fract(u * 4), 1 - fract(u * 4));
        float seamV = std::min(fract(v * 2), 1 - fract(v * 2));
        c = scale(c, 1 - 0.5f * smoothstep(0.012f, 0.0f, std::min(seamU * 0.25f, seamV * 0.5f)));
        // The rib: a raised metal band across the tile at u = 0.
        float du = std::min(u, 1 - u);
        float rib = smoothstep(0.05f, 0.04f, du);
        float ribLight = 0.5f + 0.5f * std::cos(du / 0.05f * 3.14159f);
        c = mix(c, scale({0.35f, 0.38f, 0.45f}, 0.5f + 0.5f * ribLight), rib);
        // Rails: thin cores with a soft halo, at v = 0.25 and 0.75.
        for (float railV : {0.25f, 0.75f}) {
            float dv = std::abs(v - railV);
            float glow = std::exp(-dv * dv / 0.00004f) + 0.35f * std::exp(-dv * dv / 0.0012f);
            c = add(c, scale({0.15f, 0.75f, 0.95f}, glow));
        }
        // Amber lamps on the rib between the rails.
        for (float lampV : {0.0f, 0.5f}) {
            float d = torusDistance(u, v, 0.0f, lampV);
            c = add(c, scale({1.0f, 0.55f, 0.15f}, std::exp(-d * d / 0.0006f) * 1.3f));
        }
        return c;
    });
}

void drawTex4(Image& img)
{
    // Interfering ripples from five fixed centres, read through a warm palette. Each ripple
    // fades out before half a tile so it never meets its own wrapped copy with a crease.
    static const Colour kPalette[5] = {{0.10f, 0.02f, 0.18f}, {0.45f, 0.06f, 0.40f},
                                       {0.90f, 0.35f, 0.20f}, {1.00f, 0.70f, 0.25f},
                                       {1.00f, 0.93f, 0.70f}};
    static const float kCentres[5][2] = {
        {0.21f, 0.27f}, {0.70f, 0.18f}, {0.48f, 0.63f}, {0.12f, 0.83f}, {0.86f, 0.71f}};
    auto flowAt = [](float u, float v) { return periodicFbm(u * 4, v * 4, 4, 4, 4, 77u); };
    fillTile(img, 2, flowAt, [](float u, float v, float flow) {
        float wave = 0;
        for (const auto& c : kCentres) {
            float d = torusDistance(u, v, c[0], c[1]);
            wave += std::cos(kTau * d * 9) * smoothstep(0.45f, 0.05f, d);
        }
        float t = 0.5f + 0.22f * wave + 0.45f * (flow - 0.5f);
        return ramp(kPalette, 5, t);
    });
}

void drawShade(Image& img)
{
    // 4 x 4 rounded cells, each shaded like a lit cushion in violet. The tunnel stretches the
    // tile fifty times along its length; the cell rows then pass by as rings.
    static const Colour kPalette[4] = {{0.05f, 0.01f, 0.09f}, {0.30f, 0.08f, 0.45f},
                                       {0.65f, 0.30f, 0.85f}, {0.95f, 0.80f, 1.00f}};
    auto mottlingAt = [](float u, float v) { return periodicFbm(u * 8, v * 8, 8, 8, 4, 91u); };
    fillTile(img, 2, mottlingAt, [](float u, float v, float mottling) {
        float lx = fract(u * 4) - 0.5f, ly = fract(v * 4) - 0.5f;
        // Rounded square: distance outside a box of half-size 0.36 with corner radius 0.08.
        float qx = std::max(std::abs(lx) - 0.36f, 0.0f), qy = std::max(std::abs(ly) - 0.36f, 0.0f);
        float outside = std::sqrt(qx * qx + qy * qy) - 0.08f;
        float cell = smoothstep(0.02f, -0.01f, outside);
        float hx = lx + 0.15f, hy = ly + 0.15f; // highlight towards the upper left
        float lit = 1 - std::min(1.0f, std::sqrt(hx * hx + hy * hy) * 1.5f);
        Colour inside = ramp(kPalette, 4, 0.25f + 0.6f * lit + 0.2f * (mottling - 0.5f));
        return mix(scale(kPalette[0], 0.6f + 0.8f * mottling), inside, cell);
    });
}
