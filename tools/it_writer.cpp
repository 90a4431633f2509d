// SPDX-License-Identifier: MIT
// tools/it_writer.cpp — the Impulse Tracker file layout: header, order list, offset tables,
// sample headers, packed patterns, then the sample data. All numbers little-endian.
#include "tools/it_writer.h"

#include <cassert>
#include <cstring>

namespace it {
namespace {

constexpr std::size_t kHeaderSize = 0xC0;
constexpr std::size_t kSampleHeaderSize = 0x50;
constexpr std::size_t kPatternHeaderSize = 8;
constexpr std::size_t kMaxPackedPattern = 64000; // what Impulse Tracker itself accepts

// Masks of the packed pattern format: what follows the mask byte, or which value of the
// channel's previous cell to repeat.
constexpr int kReadNote = 0x01, kReadSample = 0x02, kReadVolume = 0x04, kReadEffect = 0x08;
constexpr int kSameNote = 0x10, kSameSample = 0x20, kSameVolume = 0x40, kSameEffect = 0x80;

void put8(std::vector<std::uint8_t>& b, std::size_t at, int v) { b[at] = std::uint8_t(v & 0xFF); }
void put16(std::vector<std::uint8_t>& b, std::size_t at, int v)
{
    b[at] = std::uint8_t(v & 0xFF);
    b[at + 1] = std::uint8_t((v >> 8) & 0xFF);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::size_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t((v >> (8 * i)) & 0xFF);
}
// Fixed-size text fields are zero-padded and keep their last byte zero.
void putText(std::vector<std::uint8_t>& b, std::size_t at, const std::string& s, std::size_t field)
{
    std::memcpy(&b[at], s.data(), std::min(s.size(), field - 1));
}

std::string where(int pattern, int row, int channel)
{
    return "pattern " + std::to_string(pattern) + " row " + std::to_string(row) + " channel " +
           std::to_string(channel);
}

std::string cellProblem(const Cell& c, int sampleCount)
{
    if (c.note != kNoNote && !(c.note >= 0 && c.note <= 119) && c.note != kNoteCut && c.note != kNoteOff)
        return "note " + std::to_string(c.note) + " outside 0..119";
    if (c.sample < 0 || c.sample > sampleCount)
        return "sample " + std::to_string(c.sample) + " does not exist";
    if (c.volume != kNoVolume && (c.volume < 0 || c.volume > 64))
        return "volume " + std::to_string(c.volume) + " outside 0..64";
    if (c.effect < 0 || c.effect > 26 || c.param < 0 || c.param > 255)
        return "effect " + std::to_string(c.effect) + "/" + std::to_string(c.param) + " out of range";
    return {};
}

} // namespace

std::vector<std::uint8_t> packPattern(const Pattern& pattern)
{
    struct Last {
        int mask = -1;
        int note = -1, sample = -1, volume = -1, effect = -1, param = -1;
    };
    std::vector<Last> last(std::size_t(pattern.channels));
    std::vector<std::uint8_t> out;
    for (int row = 0; row < pattern.rows; ++row) {
        for (int ch = 0; ch < pattern.channels; ++ch) {
            const Cell& c = pattern.at(row, ch);
            if (c.empty())
                continue;
            Last& l = last[std::size_t(ch)];
            int mask = 0;
            if (c.note != kNoNote)
                mask |= c.note == l.note ? kSameNote : kReadNote;
            if (c.sample != 0)
                mask |= c.sample == l.sample ? kSameSample : kReadSample;
            if (c.volume != kNoVolume)
                mask |= c.volume == l.volume ? kSameVolume : kReadVolume;
            if (c.effect != 0)
                mask |= (c.effect == l.effect && c.param == l.param) ? kSameEffect : kReadEffect;

            if (mask == l.mask) {
                out.push_back(std::uint8_t(ch + 1));
            } else {
                out.push_back(std::uint8_t((ch + 1) | 0x80));
                out.push_back(std::uint8_t(mask));
                l.mask = mask;
            }
            if (mask & kReadNote) {
                out.push_back(std::uint8_t(c.note));
                l.note = c.note;
            }
            if (mask & kReadSample) {
                out.push_back(std::uint8_t(c.sample));
                l.sample = c.sample;
            }
            if (mask & kReadVolume) {
                out.push_back(std::uint8_t(c.volume));
                l.volume = c.volume;
            }
            if (mask & kReadEffect) {
                out.push_back(std::uint8_t(c.effect));
                out.push_back(std::uint8_t(c.param));
                l.effect = c.effect;
                l.param = c.param;
            }
        }
        out.push_back(0); // end of row
    }
    return out;
}

std::string problem(const Module& m)
{
    if (m.channels < 1 || m.channels > kMaxChannels)
        return "channel count " + std::to_string(m.channels) + " outside 1..64";
    if (m.speed < 1 || m.speed > 255 || m.tempo < 32 || m.tempo > 255)
        return "speed or tempo out of range";
    if (m.globalVolume < 0 || m.globalVolume > 128 || m.mixVolume < 0 || m.mixVolume > 128 ||
        m.separation < 0 || m.separation > 128)
        return "global volume, mix volume or separation outside 0..128";
    if (m.channelPan.size() > std::size_t(m.channels) || m.channelVolume.size() > std::size_t(m.channels))
        return "more channel settings than channels";
    for (int p : m.channelPan)
        if (p < 0 || p > 64)
            return "channel pan outside 0..64";
    for (int v : m.channelVolume)
        if (v < 0 || v > 64)
            return "channel volume outside 0..64";
    if (m.orders.empty() || m.orders.size() > std::size_t(kMaxOrders))
        return "order list must hold 1 to 255 entries";
    if (m.patterns.size() > std::size_t(kMaxPatterns))
        return "more than 200 patterns";
    if (m.samples.size() > 99)
        return "more than 99 samples";
    for (std::size_t i = 0; i < m.orders.size(); ++i)
        if (m.orders[i] < 0 || m.orders[i] >= int(m.patterns.size()))
            return "order " + std::to_string(i) + " names missing pattern " + std::to_string(m.orders[i]);

    for (std::size_t s = 0; s < m.samples.size(); ++s) {
        const Sample& smp = m.samples[s];
        const std::string name = "sample " + std::to_string(s + 1) + " (" + smp.name + "): ";
        if (smp.c5Speed < 1 || smp.c5Speed > 9999999)
            return name + "C5 speed out of range";
        if (smp.defaultVolume < 0 || smp.defaultVolume > 64 || smp.globalVolume < 0 || smp.globalVolume > 64)
            return name + "volume outside 0..64";
        const bool loop = smp.loopBegin >= 0 || smp.loopEnd >= 0;
        if (loop && !(smp.loopBegin >= 0 && smp.loopBegin < smp.loopEnd && smp.loopEnd <= int(smp.data.size())))
            return name + "loop outside the sample";
    }

    for (std::size_t p = 0; p < m.patterns.size(); ++p) {
        const Pattern& pat = m.patterns[p];
        if (pat.rows < 1 || pat.rows > kMaxRows || pat.channels != m.channels ||
            pat.cells.size() != std::size_t(pat.rows) * std::size_t(pat.channels))
            return "pattern " + std::to_string(p) + ": shape does not match the module";
        for (int row = 0; row < pat.rows; ++row)
            for (int ch = 0; ch < pat.channels; ++ch) {
                const std::string why = cellProblem(pat.at(row, ch), int(m.samples.size()));
                if (!why.empty())
                    return where(int(p), row, ch) + ": " + why;
            }
        if (packPattern(pat).size() > kMaxPackedPattern)
            return "pattern " + std::to_string(p) + ": packed data over 64000 bytes";
    }
    return {};
}

std::vector<std::uint8_t> write(const Module& m)
{
    assert(problem(m).empty() && "check it::problem before writing");

    const std::size_t ordNum = m.orders.size() + 1;
    const std::size_t smpNum = m.samples.size();
    const std::size_t patNum = m.patterns.size();
    const std::size_t ordersAt = kHeaderSize;
    const std::size_t sampleOffsetsAt = ordersAt + ordNum; // no instruments: no offsets between
    const std::size_t patternOffsetsAt = sampleOffsetsAt + 4 * smpNum;
    const std::size_t sampleHeadersAt = patternOffsetsAt + 4 * patNum;

    std::vector<std::uint8_t> b(sampleHeadersAt + kSampleHeaderSize * smpNum, 0);
    putText(b, 0x00, "IMPM", 5);
    putText(b, 0x04, m.title, 26);
    put8(b, 0x1E, 4);   // row highlight: a beat
    put8(b, 0x1F, 16);  // and a bar
    put16(b, 0x20, int(ordNum));
    put16(b, 0x22, 0);  // instruments: none, notes name samples directly
    put16(b, 0x24, int(smpNum));
    put16(b, 0x26, int(patNum));
    put16(b, 0x28, 0x0214); // written as / compatible with Impulse Tracker 2.14
    put16(b, 0x2A, 0x0214);
    put16(b, 0x2C, 0x01 | 0x08); // stereo, linear slides
    put16(b, 0x2E, 0);           // no message
    put8(b, 0x30, m.globalVolume);
    put8(b, 0x31, m.mixVolume);
    put8(b, 0x32, m.speed);
    put8(b, 0x33, m.tempo);
    put8(b, 0x34, m.separation);
    put8(b, 0x35, 0);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        const bool used = ch < m.channels;
        const int pan = used && std::size_t(ch) < m.channelPan.size() ? m.channelPan[std::size_t(ch)] : 32;
        const int vol = used && std::size_t(ch) < m.channelVolume.size() ? m.channelVolume[std::size_t(ch)] : 64;
        put8(b, 0x40 + std::size_t(ch), used ? pan : pan + 128); // +128 disables the channel
        put8(b, 0x80 + std::size_t(ch), vol);
    }
    for (std::size_t i = 0; i < m.orders.size(); ++i)
        put8(b, ordersAt + i, m.orders[i]);
    put8(b, ordersAt + m.orders.size(), 255);

    // Patterns follow the sample headers; the sample data comes last.
    for (std::size_t p = 0; p < patNum; ++p) {
        const std::vector<std::uint8_t> packed = packPattern(m.patterns[p]);
        const std::size_t at = b.size();
        put32(b, patternOffsetsAt + 4 * p, at);
        b.resize(at + kPatternHeaderSize + packed.size(), 0);
        put16(b, at, int(packed.size()));
        put16(b, at + 2, m.patterns[p].rows);
        std::memcpy(&b[at + kPatternHeaderSize], packed.data(), packed.size());
    }

    for (std::size_t s = 0; s < smpNum; ++s) {
        const Sample& smp = m.samples[s];
        const std::size_t h = sampleHeadersAt + kSampleHeaderSize * s;
        const bool loop = smp.loopBegin >= 0;
        put32(b, sampleOffsetsAt + 4 * s, h);
        putText(b, h + 0x00, "IMPS", 5);
        putText(b, h + 0x04, smp.name, 13); // DOS file name field
        put8(b, h + 0x11, smp.globalVolume);
        put8(b, h + 0x12, 0x01 | 0x02 | (loop ? 0x10 : 0)); // data present, 16 bit, loop
        put8(b, h + 0x13, smp.defaultVolume);
        putText(b, h + 0x14, smp.name, 26);
        put8(b, h + 0x2E, 0x01); // signed samples
        put8(b, h + 0x2F, 32);   // default pan, not enabled: the channel's pan holds
        put32(b, h + 0x30, smp.data.size());
        put32(b, h + 0x34, loop ? std::size_t(smp.loopBegin) : 0);
        put32(b, h + 0x38, loop ? std::size_t(smp.loopEnd) : 0);
        put32(b, h + 0x3C, std::size_t(smp.c5Speed));

        const std::size_t at = b.size();
        put32(b, h + 0x48, at);
        b.resize(at + 2 * smp.data.size(), 0);
        for (std::size_t i = 0; i < smp.data.size(); ++i)
            put16(b, at + 2 * i, smp.data[i]);
    }
    return b;
}

} // namespace it
