// SPDX-License-Identifier: MIT
// Figures for the music layer, printed rather than asserted: run with
//   music_tests --gtest_also_run_disabled_tests --gtest_filter='*Bench*'
// RINTA_BENCH_SONG names a module to measure besides the tiny one (e.g. data/sorvan.it).
#include "tests/music/music_support.h"

#include <chrono>
#include <SDL.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double secondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::string benchSong(const std::string& fallback)
{
    const char* named = std::getenv("RINTA_BENCH_SONG");
    return named ? named : fallback;
}

} // namespace

TEST_F(MusicTest, DISABLED_BenchLoadAndOfflineRender)
{
    const std::string tiny = scratchPath("tiny.it");
    ASSERT_TRUE(writeTinyModule(tiny, 32, 1, 255, 64));
    const std::string path = benchSong(tiny);

    setMusicOutput(MusicOutput::Offline);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    // The first load in a process pays libopenmpt's one-time set-up; the second does not.
    double loadSeconds[2], loadCpu[2];
    for (int i = 0; i < 2; ++i) {
        if (song) FMUSIC_FreeSong(song);
        const double c0 = threadCpuSeconds();
        const auto t0 = Clock::now();
        song = FMUSIC_LoadSong(path.c_str());
        loadSeconds[i] = secondsSince(t0);
        loadCpu[i] = threadCpuSeconds() - c0;
        ASSERT_NE(song, nullptr) << path;
    }
    ASSERT_TRUE(FMUSIC_PlaySong(song));

    std::vector<float> buf(2 * 441);
    const auto f0 = Clock::now();
    std::size_t frames = renderMusic(song, buf.data(), 441);
    const double firstBlockSeconds = secondsSince(f0);
    const double c0 = threadCpuSeconds();
    const auto t0 = Clock::now();
    for (;;) { // one 10 ms frame of audio at a time, as the capture tool pulls it
        const std::size_t got = renderMusic(song, buf.data(), 441);
        frames += got;
        if (got < 441) break;
    }
    const double renderSeconds = secondsSince(t0);
    const double renderCpu = threadCpuSeconds() - c0;
    const double songSeconds = double(frames) / 44100;
    std::printf("song %s: %d orders, %.1f s of music\n", path.c_str(), musicOrderCount(song), songSeconds);
    std::printf("  first load %.1f ms (%.1f ms CPU), second load %.1f ms (%.1f ms CPU)\n",
                loadSeconds[0] * 1e3, loadCpu[0] * 1e3, loadSeconds[1] * 1e3, loadCpu[1] * 1e3);
    std::printf("  first 10 ms of audio rendered in %.2f ms\n", firstBlockSeconds * 1e3);
    std::printf("  offline render %.3f s (%.3f s CPU) = %.0fx real time; end reads order %d\n",
                renderSeconds, renderCpu, songSeconds / renderSeconds, FMUSIC_GetOrder(song));
}

namespace {
std::atomic<std::int64_t> gFirstBlockNs{0};
void noteFirstBlock()
{
    std::int64_t none = 0;
    gFirstBlockNs.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
}
} // namespace

// The audible position is modelled as the device playing each buffer one buffer (1024
// frames) after the first block was mixed, then at the sample rate.
TEST_F(MusicTest, DISABLED_BenchQueriesAndLeadOnTheDummyDevice)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0); // or the driver named
    const std::string tiny = scratchPath("tiny.it");
    ASSERT_TRUE(writeTinyModule(tiny, 4, 1, 255, 64)); // 2.5 s
    constexpr double kRowSeconds = 2.5 / 255;
    setMusicOutput(MusicOutput::Device);
    const auto i0 = Clock::now();
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    const double initSeconds = secondsSince(i0);
    song = FMUSIC_LoadSong(tiny.c_str());
    gFirstBlockNs = 0;
    setMusicBlockHook(noteFirstBlock);
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    while (gFirstBlockNs == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    const auto t0 = Clock::time_point(Clock::duration(gFirstBlockNs.load())) +
                    std::chrono::microseconds(1024 * 1000000LL / 44100);

    // How far the reported row runs from the row the modelled audible position is in: 0 while
    // the heard sample lies inside the reported row.
    double minLead = 1e9, maxLead = -1e9;
    long queries = 0;
    double queryNs = 0;
    while (FMUSIC_GetOrder(song) < 4 && secondsSince(t0) < 10) {
        const auto q0 = Clock::now();
        int order = 0, row = 0;
        for (int i = 0; i < 1000; ++i) {
            order = FMUSIC_GetOrder(song);
            row = FMUSIC_GetRow(song);
        }
        queryNs += std::chrono::duration<double, std::nano>(Clock::now() - q0).count();
        queries += 1000;
        if (order >= 4) break;
        const double reported = (order * 64 + row) * kRowSeconds, heard = secondsSince(t0);
        const double lead = heard < 0 ? reported : heard < reported ? reported - heard
                                                 : heard > reported + kRowSeconds ? reported + kRowSeconds - heard : 0;
        minLead = std::min(minLead, lead);
        maxLead = std::max(maxLead, lead);
        std::this_thread::sleep_for(std::chrono::microseconds(700));
    }
    const double total = secondsSince(t0);
    std::printf("%s device: FSOUND_Init %.1f ms\n", SDL_GetCurrentAudioDriver(), initSeconds * 1e3);
    std::printf("  song of %.2f s ended after %.2f s\n", 4 * 64 * kRowSeconds, total);
    std::printf("  reported row minus modelled audible position: %.1f to %.1f ms (one row is %.1f ms)\n",
                minLead * 1e3, maxLead * 1e3, kRowSeconds * 1e3);
    std::printf("  order+row query pair: %.1f ns (%ld pairs, while the audio thread renders)\n",
                queryNs / queries, queries);
}
