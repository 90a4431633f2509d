// SPDX-License-Identifier: MIT
// tools/synth.cpp — the instruments. Drums are swept sines and filtered noise with
// exponential decays; tones are sums of partials whose amplitudes follow an envelope
// during the head and stay fixed inside the loop, so the loop repeats exactly.
#include "tools/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace synth {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// xorshift32: the same noise on every machine and every run.
struct Noise {
    std::uint32_t state;
    explicit Noise(std::uint32_t seed) : state(seed ? seed : 1u) {}
    double next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0; // [-1, 1)
    }
};

// RBJ biquad; coefficients may be recomputed every sample for sweeps.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    enum Kind { Low, High, Band };
    void set(Kind kind, double freq, double q, double rate = kRate)
    {
        const double w = kTwoPi * std::min(freq, rate * 0.45) / rate;
        const double alpha = std::sin(w) / (2.0 * q);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha;
        switch (kind) {
        case Low:  b0 = (1 - c) / 2; b1 = 1 - c;    b2 = (1 - c) / 2; break;
        case High: b0 = (1 + c) / 2; b1 = -(1 + c); b2 = (1 + c) / 2; break;
        case Band: b0 = alpha;       b1 = 0;        b2 = -alpha;      break;
        }
        b0 /= a0; b1 /= a0; b2 /= a0;
        a1 = -2 * c / a0;
        a2 = (1 - alpha) / a0;
    }
    double run(double x)
    {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1; x1 = x; y2 = y1; y1 = y;
        return y;
    }
};

int frames(double seconds, int rate = kRate) { return int(std::lround(seconds * rate)); }

// One-shots end at exactly zero so a note never stops on a click.
void fadeTail(std::vector<double>& s, double seconds, int rate = kRate)
{
    const int n = std::min<int>(frames(seconds, rate), int(s.size()));
    for (int i = 0; i < n; ++i)
        s[s.size() - 1 - std::size_t(i)] *= double(i) / n;
}

// Ring of detuned square waves: the metallic part of hats and cymbals.
double metal(double t)
{
    static const double kFreqs[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    double v = 0;
    for (double f : kFreqs)
        v += std::sin(kTwoPi * f * 2.0 * t) >= 0 ? 1.0 : -1.0;
    return v / 6.0;
}

// A 2-pole low-pass response, applied to partial amplitudes.
double lowpassGain(double freq, double cutoff)
{
    const double r = freq / cutoff;
    return 1.0 / std::sqrt(1.0 + r * r * r * r);
}

it::Sample makeSample(const char* name, const std::vector<double>& signal, double peak, int rate = kRate)
{
    it::Sample s;
    s.name = name;
    s.data = toPcm(signal, peak);
    s.c5Speed = rate;
    return s;
}

std::vector<double> hat(double seconds, double decay, std::uint32_t seed)
{
    std::vector<double> s(std::size_t(frames(seconds)));
    Noise noise(seed);
    Biquad hp, hp2;
    hp.set(Biquad::High, 7000, 0.7);
    hp2.set(Biquad::High, 6000, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate;
        const double body = hp.run(0.6 * noise.next() + 0.5 * metal(t));
        s[i] = hp2.run(body) * std::exp(-t / decay) * std::min(1.0, t / 0.0005);
    }
    fadeTail(s, 0.005);
    return s;
}

} // namespace

std::vector<std::int16_t> toPcm(const std::vector<double>& signal, double peak)
{
    double max = 0;
    for (double v : signal)
        max = std::max(max, std::abs(v));
    const double scale = max > 0 ? peak * 32767.0 / max : 0.0;
    std::vector<std::int16_t> out(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i)
        out[i] = std::int16_t(std::clamp<long>(std::lround(signal[i] * scale), -32768, 32767));
    return out;
}

Voice kick()
{
    std::vector<double> s(std::size_t(frames(0.45)));
    Noise noise(0x4b1c);
    Biquad click;
    click.set(Biquad::High, 3000, 0.7);
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate;
        const double freq = 47.0 + 113.0 * std::exp(-t / 0.035); // the thump's downward sweep
        phase += kTwoPi * freq / kRate;
        const double body = std::sin(phase) * std::exp(-t / 0.19) * std::min(1.0, t / 0.001);
        const double tick = click.run(noise.next()) * std::exp(-t / 0.004) * 0.5;
        s[i] = std::tanh(1.6 * (body + tick)); // soft saturation for punch without hard edges
    }
    fadeTail(s, 0.01);
    return {makeSample("kick", s, 0.95), 60};
}

Voice snare()
{
    std::vector<double> s(std::size_t(frames(0.3)));
    Noise noise(0x5a4e);
    Biquad hp, lp;
    hp.set(Biquad::High, 1200, 0.7);
    lp.set(Biquad::Low, 9000, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate;
        const double body = std::sin(kTwoPi * 185 * t) * std::exp(-t / 0.05) +
                            0.5 * std::sin(kTwoPi * 330 * t) * std::exp(-t / 0.03);
        const double rattle = lp.run(hp.run(noise.next())) * std::exp(-t / 0.085);
        // Driven into soft saturation: a denser crack that holds its own against the kick.
        s[i] = std::tanh(2.5 * (0.55 * body + 0.9 * rattle)) * std::min(1.0, t / 0.0008);
    }
    fadeTail(s, 0.01);
    return {makeSample("snare", s, 0.9), 60};
}

Voice clap()
{
    std::vector<double> s(std::size_t(frames(0.35)));
    Noise noise(0xc1a9);
    Biquad bp;
    bp.set(Biquad::Band, 1150, 0.9);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate;
        // Three quick hand hits, then the room. The first comes 10 ms late, so a clap on
        // the snare's row flams instead of stacking both attacks into one peak.
        double env = 0;
        for (double start : {0.010, 0.021, 0.032})
            if (t >= start)
                env = std::max(env, std::exp(-(t - start) / 0.006));
        if (t >= 0.04)
            env = std::max(env, 0.8 * std::exp(-(t - 0.04) / 0.11));
        s[i] = std::tanh(3.0 * bp.run(noise.next())) * env;
    }
    fadeTail(s, 0.01);
    return {makeSample("clap", s, 0.9), 60};
}

Voice closedHat() { return {makeSample("closed hat", hat(0.09, 0.018, 0x4a7c), 0.85), 60}; }
Voice openHat() { return {makeSample("open hat", hat(0.5, 0.14, 0x09e7), 0.85), 60}; }

Voice crash()
{
    std::vector<double> s(std::size_t(frames(1.6)));
    Noise noise(0xc4a5);
    Biquad hp, lp;
    hp.set(Biquad::High, 4500, 0.7);
    lp.set(Biquad::Low, 14000, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate;
        const double v = 0.8 * noise.next() + 0.4 * metal(t * 1.37);
        s[i] = lp.run(hp.run(v)) * std::exp(-t / 0.45) * std::min(1.0, t / 0.001);
    }
    fadeTail(s, 0.05);
    return {makeSample("crash", s, 0.85), 60};
}

Voice tom()
{
    std::vector<double> s(std::size_t(frames(0.45)));
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRate;
        phase += kTwoPi * (130.0 + 60.0 * std::exp(-t / 0.05)) / kRate;
        s[i] = std::tanh(1.3 * std::sin(phase)) * std::exp(-t / 0.17) * std::min(1.0, t / 0.001);
    }
    fadeTail(s, 0.01);
    return {makeSample("tom", s, 0.9), 60};
}

Voice riser()
{
    constexpr int kRiserRate = 22050; // noise: the top octave is not missed, the bytes are
    const double length = 3.84;      // two bars
    std::vector<double> s(std::size_t(frames(length, kRiserRate)));
    Noise noise(0x2153);
    Biquad bp;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / kRiserRate;
        const double x = t / length;
        bp.set(Biquad::Band, 250.0 * std::pow(24.0, x), 1.8, kRiserRate);
        s[i] = bp.run(noise.next()) * (0.08 + 0.92 * x * x);
    }
    fadeTail(s, 0.02, kRiserRate);
    return {makeSample("riser", s, 0.8, kRiserRate), 60};
}

// Additive tone: partials of f0 whose amplitudes come from amp(k, t); from `loopStart`
// seconds on amp must not change, and the loop holds a whole number of f0 periods.
template <class Amp, class Phase>
std::vector<double> additive(double f0, double seconds, double maxFreq, Amp amp, Phase phaseOf,
                             double partialOffset = 0.0)
{
    std::vector<double> s(std::size_t(frames(seconds)), 0.0);
    const int partials = int(maxFreq / f0);
    for (int k = 1; k <= partials; ++k) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            const double t = double(i) / kRate;
            const double a = amp(k, t);
            if (a != 0.0)
                s[i] += a * std::sin(double(k) * phaseOf(t) + 0.7 * k * k + partialOffset);
        }
    }
    return s;
}

Voice bass()
{
    const double f0 = 55.0;   // A1
    const double head = 0.3;  // the pluck
    const double loop = 0.2;  // 11 periods of 55 Hz: 8820 frames exactly
    const double loopCutoff = 380.0;
    auto cutoff = [&](double t) {
        return t < head ? loopCutoff + 2600.0 * (std::exp(-t / 0.06) - std::exp(-head / 0.06)) : loopCutoff;
    };
    auto level = [&](double t) {
        const double attack = std::min(1.0, t / 0.002);
        const double decay = t < head ? (std::exp(-t / 0.08) - std::exp(-head / 0.08)) / (1 - std::exp(-head / 0.08)) : 0.0;
        return attack * (0.7 + 0.3 * decay);
    };
    auto amp = [&](int k, double t) { return level(t) * lowpassGain(k * f0, cutoff(t)) / k; };
    std::vector<double> s = additive(f0, head + loop, 6000.0, amp, [&](double t) { return kTwoPi * f0 * t; });
    for (std::size_t i = 0; i < s.size(); ++i) // a sine under the saw for weight
        s[i] += 0.5 * level(double(i) / kRate) * std::sin(kTwoPi * f0 * double(i) / kRate);
    Voice v{makeSample("bass", s, 0.9), 33};
    v.sample.loopBegin = frames(head);
    v.sample.loopEnd = frames(head + loop);
    return v;
}

Voice pad()
{
    // Three saws 1 Hz apart: every partial is a whole number of Hz, so a one second loop
    // holds whole cycles of all of them and the chorus beating repeats seamlessly. The
    // outer saws are quieter and a quarter cycle off the middle one in every partial,
    // which keeps the beating to a gentle shimmer instead of a pulse once a second.
    const double attack = 0.35;
    const double loop = 1.0;
    std::vector<double> s(std::size_t(frames(attack + loop)), 0.0);
    const struct { double f0, weight, offset; } saws[] = {
        {219.0, 0.6, 0.5 * std::numbers::pi}, {220.0, 1.0, 0.0}, {221.0, 0.6, 0.5 * std::numbers::pi}};
    for (const auto& saw : saws) {
        const double f0 = saw.f0;
        auto amp = [&](int k, double t) {
            const double rise = t < attack ? std::sin(0.5 * std::numbers::pi * t / attack) : 1.0;
            return saw.weight * rise * rise * lowpassGain(k * f0, 1500.0) / k;
        };
        const std::vector<double> v = additive(f0, attack + loop, 6000.0, amp,
                                               [&](double t) { return kTwoPi * f0 * t; }, saw.offset);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] += v[i];
    }
    Voice v{makeSample("pad", s, 0.9), 57}; // A3
    v.sample.loopBegin = frames(attack);
    v.sample.loopEnd = frames(attack + loop);
    return v;
}

Voice stab()
{
    const double f0 = 220.0;
    auto amp = [&](int k, double t) {
        const double cutoff = 700.0 + 4500.0 * std::exp(-t / 0.05);
        return std::min(1.0, t / 0.002) * std::exp(-t / 0.11) * lowpassGain(k * f0, cutoff) / k;
    };
    std::vector<double> s = additive(f0, 0.4, 12000.0, amp, [&](double t) { return kTwoPi * f0 * t; });
    const std::vector<double> s2 = additive(f0 * 1.006, 0.4, 12000.0, amp,
                                            [&](double t) { return kTwoPi * f0 * 1.006 * t; });
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] += s2[i];
    fadeTail(s, 0.02);
    return {makeSample("stab", s, 0.9), 57};
}

Voice pluck()
{
    const double f0 = 440.0;
    auto amp = [&](int k, double t) {
        // Upper partials die first: the bright pick, then a rounder ring.
        const double weight = (k % 2 ? 1.0 : 0.6) / k;
        return std::min(1.0, t / 0.001) * weight * std::exp(-t * (4.0 + 2.2 * k));
    };
    std::vector<double> s = additive(f0, 0.7, 14000.0, amp, [&](double t) { return kTwoPi * f0 * t; });
    fadeTail(s, 0.02);
    return {makeSample("pluck", s, 0.9), 69};
}

Voice lead()
{
    const double f0 = 440.0;  // A4
    const double head = 0.3;
    const double loop = 0.2;  // 88 periods of 440 Hz and one vibrato cycle of 5 Hz
    const double depth = 0.5; // phase swing in radians: about 10 cents of vibrato
    auto vibratoDepth = [&](double t) { return t < head ? depth * t / head : depth; };
    auto phaseOf = [&](double t) { return kTwoPi * f0 * t + vibratoDepth(t) * std::sin(kTwoPi * 5.0 * t); };
    auto amp = [&](int k, double t) {
        const double level = std::min(1.0, t / 0.008) * (t < head ? 1.0 - 0.15 * t / head : 0.85);
        const double weight = (k % 2 ? 1.0 : 0.35) / k; // between a square and a saw
        return level * weight * lowpassGain(k * f0, 3500.0);
    };
    std::vector<double> s = additive(f0, head + loop, 14000.0, amp, phaseOf);
    Voice v{makeSample("lead", s, 0.9), 69};
    v.sample.loopBegin = frames(head);
    v.sample.loopEnd = frames(head + loop);
    return v;
}

} // namespace synth
