// SPDX-License-Identifier: MIT
// fuzz/music_fuzz.cpp — the music layer's load path on arbitrary bytes. A song that loads
// is also started offline and rendered for a moment, since a module libopenmpt accepts may
// still have an order list we do not expect (none at all, or only end markers).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/music.h"
#include "fuzz/input_file.h"

namespace {
constexpr int kRate = 22050;
constexpr std::size_t kRenderFrames = 4096; // a few ticks: enough to step past a short song

bool initOffline()
{
    setMusicOutput(MusicOutput::Offline);
    return FSOUND_Init(kRate, 32, 0);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = initOffline();
    if (!ready) std::abort();
    const char* path = fuzzInputPath(".it");
    writeFuzzInput(path, data, size);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(path);
    if (!song) return 0;

    const int orders = musicOrderCount(song);
    if (orders < 0 || FMUSIC_GetOrder(song) != 0 || FMUSIC_GetRow(song) != 0) std::abort();
    if (!FMUSIC_PlaySong(song)) std::abort();
    std::vector<float> out(2 * kRenderFrames);
    const std::size_t got = renderMusic(song, out.data(), kRenderFrames);
    const int order = FMUSIC_GetOrder(song);
    if (got > kRenderFrames || order < 0 || FMUSIC_GetRow(song) < 0) std::abort();
    if (got < kRenderFrames && order != orders) std::abort(); // an ended song reads as its order count
    FMUSIC_FreeSong(song);
    return 0;
}
