// SPDX-License-Identifier: MIT
// The music layer driven offline, as the capture tool drives it: position after every
// rendered sample count, the end of the song, and repeatable audio.
#include "tests/music/music_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr double kRowSeconds = 2.5 / 255; // speed 1, tempo 255: one tick per row

struct Trace {
    std::vector<std::pair<int, int>> positions; // (order, row) after each chunk
    std::vector<float> samples;
    std::size_t frames = 0;
};

// Renders the whole song in chunks, noting the position after each.
Trace renderAll(FMUSIC_MODULE* song, std::size_t chunk)
{
    Trace t;
    std::vector<float> buf(2 * chunk);
    for (;;) {
        const std::size_t got = renderMusic(song, buf.data(), chunk);
        t.samples.insert(t.samples.end(), buf.begin(), buf.begin() + 2 * got);
        t.frames += got;
        t.positions.emplace_back(FMUSIC_GetOrder(song), FMUSIC_GetRow(song));
        if (got < chunk || t.frames > 44100 * 60) break;
    }
    return t;
}

} // namespace

TEST_F(MusicTest, OfflineSongWaitsAtItsStartUntilPlayedAndPulled)
{
    const std::string path = scratchPath("song.it");
    ASSERT_TRUE(writeTinyModule(path, 2, 1, 255, 16));
    setMusicOutput(MusicOutput::Offline);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(musicOrderCount(song), 2);
    float buf[2 * 256];
    EXPECT_EQ(renderMusic(song, buf, 256), 0u) << "not started yet";
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);
    EXPECT_EQ(FMUSIC_GetRow(song), 0);

    ASSERT_TRUE(FMUSIC_PlaySong(song));
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);
    EXPECT_EQ(FMUSIC_GetRow(song), 0);
    EXPECT_EQ(renderMusic(song, buf, 256), 256u);
}

TEST_F(MusicTest, OfflineOrderAndRowStepThroughEveryRowInTurn)
{
    constexpr int kOrders = 3, kRows = 16;
    start(MusicOutput::Offline, kOrders, kRows);
    const Trace t = renderAll(song, 64);

    std::vector<std::pair<int, int>> seen;
    for (const auto& p : t.positions)
        if (seen.empty() || seen.back() != p) seen.push_back(p);
    std::vector<std::pair<int, int>> expected;
    for (int o = 0; o < kOrders; ++o)
        for (int r = 0; r < kRows; ++r)
            expected.emplace_back(o, r);
    expected.emplace_back(kOrders, 0); // past the last order
    EXPECT_EQ(seen, expected);

    // Played once to its last row: no repeat, no fade-out tail.
    const double seconds = double(t.frames) / 44100;
    EXPECT_NEAR(seconds, kOrders * kRows * kRowSeconds, 0.01);
}

TEST_F(MusicTest, OfflinePositionIsThatOfTheLastFrameRendered)
{
    start(MusicOutput::Offline, 2, 16);
    const std::size_t rowFrames = std::size_t(std::lround(44100 * kRowSeconds)); // 432
    std::vector<float> buf(2 * 44100);
    // Just short of row 5's start, then just past it: the row must flip within a few frames.
    ASSERT_EQ(renderMusic(song, buf.data(), 5 * rowFrames - 4), 5 * rowFrames - 4);
    EXPECT_EQ(FMUSIC_GetRow(song), 4);
    ASSERT_EQ(renderMusic(song, buf.data(), 8), 8u);
    EXPECT_EQ(FMUSIC_GetRow(song), 5);
    // One call spanning many rows and an order change reports where it stopped.
    ASSERT_EQ(renderMusic(song, buf.data(), 14 * rowFrames), 14 * rowFrames);
    EXPECT_EQ(FMUSIC_GetOrder(song), 1);
    EXPECT_EQ(FMUSIC_GetRow(song), 3);
}

TEST_F(MusicTest, OfflineEndReportsTheOrderListLengthAndStopsRendering)
{
    // 32 orders, as in the demo's own song: the demo ends when the order reads 32.
    start(MusicOutput::Offline, 32, 8);
    EXPECT_EQ(musicOrderCount(song), 32);
    const Trace t = renderAll(song, 1000);
    ASSERT_GE(t.positions.size(), 2u);
    EXPECT_EQ(t.positions[t.positions.size() - 2].first, 31) << "the last order plays before the end";
    EXPECT_EQ(FMUSIC_GetOrder(song), 32);
    EXPECT_EQ(FMUSIC_GetRow(song), 0);

    // After the end: nothing more to render, and the position stays put.
    std::vector<float> buf(2 * 100, 1.0f);
    EXPECT_EQ(renderMusic(song, buf.data(), 100), 0u);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](float s) { return s == 0.0f; }))
        << "frames not rendered are silence, not stale data";
    EXPECT_EQ(FMUSIC_GetOrder(song), 32);
}

// Songs that jump back play on and report where they really are; only a song that runs off
// its order list ends. Each plays 4 orders of 8 rows, 2.5 s rendered (about 8 passes).
TEST_F(MusicTest, OfflineLoopingSongsPlayOnAndOnlyARunOffTheListEnds)
{
    struct Case {
        const char* what;
        TinyJump jump;
        bool ends;
        int minOrderAfterFirstPass; // the orders a loop goes back to
    };
    const Case cases[] = {
        {"no jump: runs off the list", {}, true, 0},
        {"B00 on the last row of the last order", {3, 7, 0}, false, 0},
        {"B01 in the middle of the last order", {3, 3, 1}, false, 1},
        {"B00 at the end of order 1: order 3 is never reached", {1, 7, 0}, false, 0},
        {"a jump past the list's end", {3, 7, 40}, true, 0},
        {"a jump past the list's end from an earlier order", {1, 7, 40}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(MusicOutput::Offline, 4, 8, c.jump);
        const Trace t = renderAll(song, 1000);
        if (c.ends) {
            EXPECT_LT(t.frames, std::size_t(44100 * 4 * 8 * kRowSeconds) + 1000);
            EXPECT_EQ(t.positions.back().first, 4) << "ended: the order list's length";
        } else {
            EXPECT_GT(t.frames, std::size_t(44100 * 59)) << "still playing after a minute";
            int maxOrder = 0, wraps = 0;
            for (std::size_t i = 1; i < t.positions.size(); ++i) {
                maxOrder = std::max(maxOrder, t.positions[i].first);
                if (t.positions[i].first < t.positions[i - 1].first) {
                    ++wraps;
                    EXPECT_GE(t.positions[i].first, c.minOrderAfterFirstPass);
                }
            }
            EXPECT_GT(wraps, 100) << "the position goes back with every pass";
            EXPECT_LT(maxOrder, 4) << "a loop never reads as the end";
            const float peak = std::abs(*std::max_element(t.samples.end() - 2 * 44100, t.samples.end(),
                                                          [](float a, float b) { return std::abs(a) < std::abs(b); }));
            EXPECT_GT(peak, 0.01f) << "still audible in the last second";
        }
        FMUSIC_FreeSong(song);
        song = nullptr;
    }
}

TEST_F(MusicTest, OfflineShortReadAtTheEndReturnsOnlyTheFramesLeft)
{
    start(MusicOutput::Offline, 1, 8);
    const std::size_t songFrames = renderAll(song, 7).frames;
    ASSERT_GT(songFrames, 1000u);
    FMUSIC_FreeSong(song);
    song = nullptr;
    FSOUND_Close();

    start(MusicOutput::Offline, 1, 8);
    std::vector<float> buf(2 * (songFrames + 500));
    EXPECT_EQ(renderMusic(song, buf.data(), songFrames + 500), songFrames);
    EXPECT_EQ(FMUSIC_GetOrder(song), 1);
}

TEST_F(MusicTest, OfflineRenderingIsRepeatableAndAudible)
{
    start(MusicOutput::Offline, 3, 16);
    const Trace first = renderAll(song, 300);
    FMUSIC_FreeSong(song);
    song = nullptr;
    FSOUND_Close();

    start(MusicOutput::Offline, 3, 16);
    const Trace second = renderAll(song, 300);

    ASSERT_EQ(first.samples.size(), second.samples.size());
    EXPECT_EQ(std::memcmp(first.samples.data(), second.samples.data(), first.samples.size() * sizeof(float)), 0);
    EXPECT_EQ(first.positions, second.positions);

    float peak = 0;
    for (float s : first.samples) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.05f) << "the tones must be heard";
    EXPECT_LE(peak, 1.0f);
}

TEST_F(MusicTest, RenderMusicLeavesADeviceSongToTheAudioThread)
{
    start(MusicOutput::Device, 2, 16);
    float buf[2 * 64];
    EXPECT_EQ(renderMusic(song, buf, 64), 0u);
    EXPECT_EQ(renderMusic(nullptr, buf, 64), 0u);
}

// A jump beyond the order list from an order before the last (B28: to order 40 of 32) leaves
// the list as running off its end does: the song ends, it does not start over.
TEST_F(MusicTest, OfflineJumpPastTheEndFromAnEarlierOrderEndsTheSong)
{
    start(MusicOutput::Offline, 32, 8, {5, 7, 40});
    const Trace t = renderAll(song, 1000);
    EXPECT_LT(t.frames, std::size_t(44100 * 6 * 8 * kRowSeconds) + 1000) << "orders 0-5, once";
    int maxOrder = 0, backwards = 0;
    for (std::size_t i = 0; i + 1 < t.positions.size(); ++i) {
        maxOrder = std::max(maxOrder, t.positions[i].first);
        if (t.positions[i + 1].first < t.positions[i].first) ++backwards;
    }
    EXPECT_EQ(backwards, 0) << "never goes back to order 0";
    EXPECT_EQ(maxOrder, 5);
    EXPECT_EQ(FMUSIC_GetOrder(song), 32) << "ended: the order list's length";
    EXPECT_EQ(FMUSIC_GetRow(song), 0);
}
