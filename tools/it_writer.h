// SPDX-License-Identifier: MIT
// tools/it_writer.h — writes an Impulse Tracker module in sample mode (no instruments):
// the IMPM header, the order list closed by the 255 end marker, IMPS sample headers with
// signed 16-bit data, and packed patterns. Only what every IT player reads the same way.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace it {

constexpr int kMaxChannels = 64;
constexpr int kMaxPatterns = 200;
constexpr int kMaxRows = 200;
constexpr int kMaxOrders = 255; // the list itself; one more byte holds the end marker

constexpr int kNoNote = -1;
constexpr int kNoteCut = 254;  // "^^^": silences the channel at once
constexpr int kNoteOff = 255;  // "===": never written by the composer (sample mode)
constexpr int kNoVolume = -1;

// Note numbers: 0 is C-0, 60 is C-5 (plays a sample at its C5 speed), 119 is B-9.
struct Cell {
    int note = kNoNote;
    int sample = 0;        // 1-based; 0 keeps the channel's sample
    int volume = kNoVolume; // volume column, 0..64 sets the note volume
    int effect = 0;        // 1 = A ... 26 = Z; 0 none
    int param = 0;         // 0..255

    bool empty() const { return note == kNoNote && sample == 0 && volume == kNoVolume && effect == 0; }
};

struct Pattern {
    int rows = 64;
    int channels = 0;
    std::vector<Cell> cells; // rows * channels, row major

    Pattern() = default;
    Pattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount), cells(std::size_t(rowCount) * channelCount) {}
    Cell& at(int row, int channel) { return cells[std::size_t(row) * channels + channel]; }
    const Cell& at(int row, int channel) const { return cells[std::size_t(row) * channels + channel]; }
};

struct Sample {
    std::string name;            // up to 25 characters are kept
    std::vector<std::int16_t> data;
    int c5Speed = 44100;         // playback rate in Hz of note C-5
    int loopBegin = -1;          // forward loop [loopBegin, loopEnd) in frames; -1 none
    int loopEnd = -1;
    int defaultVolume = 64;      // 0..64, used when a note has no volume
    int globalVolume = 64;       // 0..64, scales every note of the sample
};

struct Module {
    std::string title;           // up to 25 characters are kept
    int speed = 6;               // ticks per row
    int tempo = 125;             // BPM: a tick lasts 2.5 / tempo seconds
    int globalVolume = 128;      // 0..128
    int mixVolume = 48;          // 0..128
    int separation = 128;        // stereo separation 0..128
    int channels = 0;            // channels in use, 1..64; the rest are disabled
    std::vector<int> channelPan;    // per used channel, 0 (left) .. 64 (right); default 32
    std::vector<int> channelVolume; // per used channel, 0..64; default 64
    std::vector<int> orders;     // pattern numbers in play order; the end marker is added
    std::vector<Sample> samples;
    std::vector<Pattern> patterns;
};

// Empty when the module can be written; otherwise what is wrong with it, naming the
// pattern, row, channel or sample.
std::string problem(const Module& module);

// The whole file. The module must have no problem (asserted).
std::vector<std::uint8_t> write(const Module& module);

// The packed form of one pattern's rows, as stored after its 8-byte header.
std::vector<std::uint8_t> packPattern(const Pattern& pattern);

} // namespace it
