// SPDX-License-Identifier: MIT
// tests/support/tiny_module.cpp — a minimal Impulse Tracker writer: header, order list
// closed by the 255 end marker, one 8-bit sample, one packed pattern per order.
#include "tests/support/tiny_module.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int kChannels = 4;
constexpr int kHeaderSize = 0xC0;
constexpr int kSampleHeaderSize = 0x50;
constexpr int kSampleLength = 2205; // 50 ms at the sample's own rate: a short blip
constexpr int kSampleRate = 44100;  // C-5 plays the sample at this rate

void put8(std::vector<unsigned char>& b, std::size_t at, int v) { b[at] = static_cast<unsigned char>(v); }
void put16(std::vector<unsigned char>& b, std::size_t at, int v)
{
    b[at] = static_cast<unsigned char>(v & 0xFF);
    b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
void put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}
void putText(std::vector<unsigned char>& b, std::size_t at, const char* s)
{
    for (std::size_t i = 0; s[i]; ++i)
        b[at + i] = static_cast<unsigned char>(s[i]);
}

// One pattern: a note on channel 0 at row 0 (pitched by the order) and a quieter one at
// the middle row, so every order starts audibly and no order is silent throughout.
std::vector<unsigned char> packPattern(int order, int rows, const TinyJump& jump)
{
    std::vector<unsigned char> p;
    for (int row = 0; row < rows; ++row) {
        if (order == jump.order && row == jump.row) {
            p.push_back(0x80 | 2);                  // channel 1, mask follows
            p.push_back(0x08);                      // effect and parameter
            p.push_back(2);                         // B: jump to order
            p.push_back(static_cast<unsigned char>(jump.target));
        }
        if (row == 0 || row == rows / 2) {
            p.push_back(0x80 | 1);                  // channel 0, mask follows
            p.push_back(0x01 | 0x02 | 0x04);        // note, instrument, volume
            p.push_back(static_cast<unsigned char>(48 + (order * 5) % 36)); // C-4 upwards
            p.push_back(1);                         // sample 1
            p.push_back(row == 0 ? 64 : 32);        // volume column: set volume
        }
        p.push_back(0); // end of row
    }
    return p;
}

} // namespace

std::vector<unsigned char> tinyModuleBytes(int orders, int speed, int tempo, int rows, TinyJump jump)
{
    if (orders < 0) orders = 0;
    if (orders > 200) orders = 200;
    if (rows < 1) rows = 1;
    if (rows > 200) rows = 200;

    const int ordNum = orders + 1; // the list ends with the 255 marker, as trackers save it
    const std::size_t ordersAt = kHeaderSize;
    const std::size_t sampleOffsetsAt = ordersAt + ordNum;
    const std::size_t patternOffsetsAt = sampleOffsetsAt + 4;
    const std::size_t sampleHeaderAt = patternOffsetsAt + 4 * std::size_t(orders);
    const std::size_t sampleDataAt = sampleHeaderAt + kSampleHeaderSize;
    std::size_t end = sampleDataAt + kSampleLength;

    std::vector<unsigned char> b(end, 0);
    putText(b, 0x00, "IMPM");
    putText(b, 0x04, "tiny");
    put16(b, 0x1E, 0x1004);   // row highlight
    put16(b, 0x20, ordNum);
    put16(b, 0x22, 0);        // instruments: none, notes name samples directly
    put16(b, 0x24, 1);        // samples
    put16(b, 0x26, orders);   // patterns
    put16(b, 0x28, 0x0214);   // made with / compatible with 2.14
    put16(b, 0x2A, 0x0214);
    put16(b, 0x2C, 0x01 | 0x08); // stereo, linear slides
    put8(b, 0x30, 128);       // global volume
    put8(b, 0x31, 48);        // mixing volume
    put8(b, 0x32, speed);
    put8(b, 0x33, tempo);
    put8(b, 0x34, 128);       // panning separation
    for (int ch = 0; ch < 64; ++ch) {
        put8(b, 0x40 + ch, ch < kChannels ? 32 : 32 + 128); // centre; unused channels off
        put8(b, 0x80 + ch, 64);
    }
    for (int o = 0; o < orders; ++o)
        put8(b, ordersAt + o, o);
    put8(b, ordersAt + orders, 255);
    put32(b, sampleOffsetsAt, static_cast<std::uint32_t>(sampleHeaderAt));

    putText(b, sampleHeaderAt + 0x00, "IMPS");
    put8(b, sampleHeaderAt + 0x11, 64);   // global volume
    put8(b, sampleHeaderAt + 0x12, 0x01); // sample present, 8 bit, mono, no loop
    put8(b, sampleHeaderAt + 0x13, 64);   // default volume
    putText(b, sampleHeaderAt + 0x14, "blip");
    put8(b, sampleHeaderAt + 0x2E, 0x01); // signed samples
    put8(b, sampleHeaderAt + 0x2F, 32);   // default pan
    put32(b, sampleHeaderAt + 0x30, kSampleLength);
    put32(b, sampleHeaderAt + 0x3C, kSampleRate);
    put32(b, sampleHeaderAt + 0x48, static_cast<std::uint32_t>(sampleDataAt));
    // A 441 Hz sine at C-5 that fades out, so a note stops instead of clicking.
    for (int i = 0; i < kSampleLength; ++i) {
        const double fade = 1.0 - double(i) / kSampleLength;
        const double v = 100.0 * fade * std::sin(2.0 * M_PI * i / 100.0);
        b[sampleDataAt + i] = static_cast<unsigned char>(static_cast<std::int8_t>(std::lround(v)));
    }

    for (int o = 0; o < orders; ++o) {
        const std::vector<unsigned char> packed = packPattern(o, rows, jump);
        put32(b, patternOffsetsAt + 4 * o, static_cast<std::uint32_t>(end));
        b.resize(end + 8 + packed.size(), 0);
        put16(b, end, static_cast<int>(packed.size()));
        put16(b, end + 2, rows);
        std::copy(packed.begin(), packed.end(), b.begin() + static_cast<std::ptrdiff_t>(end + 8));
        end = b.size();
    }
    return b;
}

bool writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool writeTinyModule(const std::string& path, int orders, int speed, int tempo, int rows, TinyJump jump)
{
    return writeBytes(path, tinyModuleBytes(orders, speed, tempo, rows, jump));
}
