// SPDX-License-Identifier: MIT
// engine/module_file.cpp — see module_file.h.
#include "engine/module_file.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

namespace {

std::uint32_t read16(const std::vector<unsigned char>& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8;
}
std::uint64_t read32(const std::vector<unsigned char>& b, std::size_t at)
{
    return read16(b, at) | std::uint64_t(read16(b, at + 2)) << 16;
}

} // namespace

bool impulseTrackerIsWhole(const std::vector<unsigned char>& b)
{
    const std::uint64_t size = b.size();
    if (size < 0xC0) return false;
    const std::uint64_t orders = read16(b, 0x20), instruments = read16(b, 0x22);
    const std::uint64_t samples = read16(b, 0x24), patterns = read16(b, 0x26);
    const std::uint64_t tablesAt = 0xC0 + orders;
    if (tablesAt + 4 * (instruments + samples + patterns) > size) return false;
    if ((read16(b, 0x2E) & 1) && read32(b, 0x38) + read16(b, 0x36) > size) return false; // message

    constexpr std::uint64_t kInstrumentBytes = 554, kSampleHeaderBytes = 0x50;
    for (std::uint64_t i = 0; i < instruments; ++i) {
        const std::uint64_t at = read32(b, tablesAt + 4 * i);
        if (at != 0 && at + kInstrumentBytes > size) return false;
    }
    const std::uint64_t sampleTable = tablesAt + 4 * instruments;
    for (std::uint64_t i = 0; i < samples; ++i) {
        const std::uint64_t at = read32(b, sampleTable + 4 * i);
        if (at == 0) continue;
        if (at + kSampleHeaderBytes > size) return false;
        const unsigned flags = b[at + 0x12];
        if (!(flags & 0x01)) continue; // no sample data
        const std::uint64_t length = read32(b, at + 0x30), data = read32(b, at + 0x48);
        const std::uint64_t bytes = length * ((flags & 0x02) ? 2 : 1) * ((flags & 0x04) ? 2 : 1);
        if (flags & 0x08) { // compressed: its size is only known by unpacking
            if (length != 0 && data >= size) return false;
        } else if (data + bytes > size) {
            return false;
        }
    }
    const std::uint64_t patternTable = sampleTable + 4 * samples;
    for (std::uint64_t i = 0; i < patterns; ++i) {
        const std::uint64_t at = read32(b, patternTable + 4 * i);
        if (at == 0) continue; // an empty 64-row pattern
        if (at + 8 > size || at + 8 + read16(b, at) > size) return false;
    }
    return true;
}

bool readModuleFile(const char* path, std::vector<unsigned char>& bytes)
{
    struct stat st{};
    if (stat(path, &st) != 0) {
        std::fprintf(stderr, "music: cannot open %s\n", path);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size <= 0 || std::uint64_t(st.st_size) > kMaxModuleBytes) {
        std::fprintf(stderr, "music: %s is not a module file of a sensible size\n", path);
        return false;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "music: cannot open %s\n", path);
        return false;
    }
    bytes.resize(std::size_t(st.st_size));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) {
        std::fprintf(stderr, "music: cannot read %s\n", path);
        return false;
    }
    return true;
}

