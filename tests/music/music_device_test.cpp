// SPDX-License-Identifier: MIT
// The music layer on an SDL audio device: with SDL's dummy driver, with a driver that is
// not there, and with none named. The position must advance in real time in every case,
// and queries must never wait on the audio thread.
#include "tests/music/music_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include <SDL.h>
#include <signal.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRowSeconds = 2.5 / 255;

// Sets or removes SDL_AUDIODRIVER for one test and puts back what was there.
class AudioDriverEnv {
public:
    explicit AudioDriverEnv(const char* value)
    {
        if (const char* old = std::getenv("SDL_AUDIODRIVER")) saved_ = old;
        if (value) setenv("SDL_AUDIODRIVER", value, 1);
        else unsetenv("SDL_AUDIODRIVER");
    }
    ~AudioDriverEnv()
    {
        if (saved_) setenv("SDL_AUDIODRIVER", saved_->c_str(), 1);
        else unsetenv("SDL_AUDIODRIVER");
    }

private:
    std::optional<std::string> saved_;
};

struct Playthrough {
    bool reachedEnd = false;
    bool sawEveryOrder = true;
    int lastOrderBeforeEnd = -1;
    int backwards = 0; // polls that read an earlier order than the one before
    double seconds = 0;
};

// Polls the playing song as a frame loop would until it reports the end (or 10 s pass).
Playthrough watch(FMUSIC_MODULE* song, int orders)
{
    Playthrough p;
    std::vector<bool> seen(orders, false);
    const auto t0 = Clock::now();
    int last = 0;
    while (Clock::now() - t0 < std::chrono::seconds(10)) {
        const int order = FMUSIC_GetOrder(song);
        if (order < last) ++p.backwards;
        last = order;
        if (order == orders) {
            p.reachedEnd = true;
            break;
        }
        if (order >= 0 && order < orders) seen[order] = true;
        p.lastOrderBeforeEnd = std::max(p.lastOrderBeforeEnd, order);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    p.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    for (bool s : seen) p.sawEveryOrder = p.sawEveryOrder && s;
    EXPECT_EQ(p.backwards, 0) << "orders only move forward";
    return p;
}

void expectPlaysInRealTime(FMUSIC_MODULE* song, int orders, int rows)
{
    ASSERT_NE(song, nullptr);
    const Playthrough p = watch(song, orders);
    EXPECT_TRUE(p.reachedEnd) << "the position must advance to the end without a sound card";
    EXPECT_TRUE(p.sawEveryOrder);
    // Paced by a clock, not rendered as fast as possible: the song takes about its length.
    EXPECT_GT(p.seconds, 0.6 * orders * rows * kRowSeconds);
    EXPECT_EQ(FMUSIC_GetOrder(song), orders) << "stays at the end";
}

} // namespace

TEST_F(MusicTest, DummyDriverPlaysSilentlyInRealTime)
{
    AudioDriverEnv env("dummy");
    expectPlaysInRealTime(start(MusicOutput::Device, 3, 16), 3, 16);
}

TEST_F(MusicTest, MissingDriverFallsBackToTheSilentClock)
{
    AudioDriverEnv env("no_such_audio_driver");
    expectPlaysInRealTime(start(MusicOutput::Device, 3, 16), 3, 16);
}

TEST_F(MusicTest, NoDriverNamedStillPlaysToTheEnd)
{
    // Whatever this machine has: a real device plays the blips, none falls back to dummy.
    AudioDriverEnv env(nullptr);
    expectPlaysInRealTime(start(MusicOutput::Device, 3, 16), 3, 16);
}

TEST_F(MusicTest, ReinitialisingAfterCloseStartsAFreshDevice)
{
    AudioDriverEnv env("dummy");
    start(MusicOutput::Device, 2, 8);
    FMUSIC_FreeSong(song);
    song = nullptr;
    FSOUND_Close();
    FSOUND_Close();
    expectPlaysInRealTime(start(MusicOutput::Device, 2, 8), 2, 8);
}

TEST_F(MusicTest, JumpPastTheEndFromAnEarlierOrderEndsTheSongOnADevice)
{
    AudioDriverEnv env("dummy");
    start(MusicOutput::Device, 32, 8, {5, 7, 40}); // B28 at order 5, row 7: to order 40 of 32
    const Playthrough p = watch(song, 32);
    EXPECT_TRUE(p.reachedEnd) << "a jump past the list ends the song, it does not start over";
    EXPECT_EQ(p.lastOrderBeforeEnd, 5);
    EXPECT_EQ(FMUSIC_GetOrder(song), 32);
}

namespace {
std::atomic<int> gBlocksRendered{0};
void countBlock() { ++gBlocksRendered; }

void waitFor(const std::atomic<int>& counter, int atLeast)
{
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (counter < atLeast && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Inside FMUSIC_FreeSong, between letting go of the song and destroying it: the device goes
// away, and the test waits until a callback has seen that (a silent clock runs) or had ample
// time to, and the clock has had time to render.
void deviceGoesAwayDuringFree()
{
    setAudioDeviceGoneForTests(true);
    const auto deadline = Clock::now() + std::chrono::milliseconds(300);
    while (!silentClockRunsForTests() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(60)); // several silent blocks
}

// Sets the device back for the next test, however this one ends.
struct DeviceBack {
    ~DeviceBack()
    {
        setAudioDeviceGoneForTests(false);
        setMusicFreeHook(nullptr);
    }
};
} // namespace

TEST_F(MusicTest, FreeingAsTheDeviceGoesAwayNeverRendersTheFreedSong)
{
    AudioDriverEnv env("dummy");
    DeviceBack back;
    gBlocksRendered = 0;
    setMusicBlockHook(countBlock);
    start(MusicOutput::Device, 3, 64);
    waitFor(gBlocksRendered, 4);
    ASSERT_GE(gBlocksRendered, 4) << "callbacks under way";
    setMusicFreeHook(deviceGoesAwayDuringFree);
    const int beforeFree = gBlocksRendered;
    EXPECT_TRUE(FMUSIC_FreeSong(song));
    song = nullptr;
    const int afterFree = gBlocksRendered;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(afterFree, beforeFree + 1) << "a silent clock was started on the song being freed";
    EXPECT_EQ(gBlocksRendered, afterFree) << "the freed song is still rendered";
    FSOUND_Close();
}

TEST_F(MusicTest, FreeingWhileTheSilentClockRunsStopsTheSong)
{
    AudioDriverEnv env("dummy");
    DeviceBack back;
    gBlocksRendered = 0;
    setMusicBlockHook(countBlock);
    start(MusicOutput::Device, 3, 64);
    waitFor(gBlocksRendered, 4);
    setAudioDeviceGoneForTests(true);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!silentClockRunsForTests() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(silentClockRunsForTests());
    const int onDevice = gBlocksRendered;
    waitFor(gBlocksRendered, onDevice + 8);
    ASSERT_GE(gBlocksRendered, onDevice + 8) << "the silent clock renders the song";

    EXPECT_TRUE(FMUSIC_FreeSong(song));
    song = nullptr;
    const int afterFree = gBlocksRendered;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(gBlocksRendered, afterFree) << "the freed song is still rendered";

    // The next song plays on, on the silent clock, to its end.
    start(MusicOutput::Device, 2, 8);
    const Playthrough p = watch(song, 2);
    EXPECT_TRUE(p.reachedEnd);
}

TEST_F(MusicTest, FreeingWhilePlayingStopsTheSong)
{
    AudioDriverEnv env("dummy");
    gBlocksRendered = 0;
    setMusicBlockHook(countBlock);
    start(MusicOutput::Device, 3, 64);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (gBlocksRendered < 4 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(gBlocksRendered, 4) << "callbacks under way";
    EXPECT_TRUE(FMUSIC_FreeSong(song));
    song = nullptr;
    const int afterFree = gBlocksRendered;
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // several device buffers
    EXPECT_EQ(gBlocksRendered, afterFree) << "the freed song is no longer rendered";
    FSOUND_Close();
}

namespace {

std::atomic<int> gHookCalls{0};
std::atomic<bool> gHookHolding{false};
std::atomic<bool> gHookRelease{false};

// Holds the rendering thread inside one block until released (or 3 s pass).
void holdOneBlock()
{
    if (gHookCalls++ != 3) return;
    gHookHolding = true;
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (!gHookRelease && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    gHookHolding = false;
}

FMUSIC_MODULE* gHookSong = nullptr;
std::vector<int> gRowsSeenByHook;
void noteRow()
{
    // Offline, the hook runs on this thread: it sees the row published before each block.
    gRowsSeenByHook.push_back(FMUSIC_GetRow(gHookSong));
}

} // namespace

TEST_F(MusicTest, QueriesDoNotWaitForTheAudioThread)
{
    AudioDriverEnv env("dummy");
    gHookCalls = 0;
    gHookHolding = false;
    gHookRelease = false;
    setMusicBlockHook(holdOneBlock);
    start(MusicOutput::Device, 2, 64);

    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!gHookHolding && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(gHookHolding) << "the audio thread never rendered";
    // The blocks before the held one are heard about one device buffer after they were mixed.
    std::this_thread::sleep_for(std::chrono::milliseconds(80));

    int order = -2, row = -2;
    for (int i = 0; i < 1000; ++i) {
        order = FMUSIC_GetOrder(song);
        row = FMUSIC_GetRow(song);
    }
    const bool answeredWhileHeld = gHookHolding;
    gHookRelease = true;
    EXPECT_TRUE(answeredWhileHeld) << "a query waited for the audio thread's block";
    EXPECT_EQ(order, 0);
    EXPECT_GT(row, 0) << "the blocks before the held one were scheduled";
}

namespace {
std::atomic<bool> gStallNextLookup{false};
void stallLookup()
{
    if (gStallNextLookup.exchange(false)) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}
} // namespace

// A query held up inside the lookup for longer than the schedule's slots last (the writer
// refills them all meanwhile) answers with the last position heard, not the song's start.
TEST_F(MusicTest, StalledQueryFallsBackToTheLastPositionHeard)
{
    AudioDriverEnv env("dummy");
    setMusicLookupHook(stallLookup);
    start(MusicOutput::Device, 8, 64); // 5 s
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (FMUSIC_GetOrder(song) < 1 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int order = FMUSIC_GetOrder(song), row = FMUSIC_GetRow(song);
    ASSERT_EQ(order, 1);
    gStallNextLookup = true;
    const int stalledOrder = FMUSIC_GetOrder(song);
    setMusicLookupHook(nullptr);
    EXPECT_FALSE(gStallNextLookup) << "the lookup was held";
    EXPECT_GE(stalledOrder, order) << "a held query read the song's start";
    EXPECT_GE(FMUSIC_GetOrder(song) * 64 + FMUSIC_GetRow(song), order * 64 + row + 64)
        << "the next query reads the position heard now";
}

TEST_F(MusicTest, PositionIsPublishedBlockByBlockWithinOneRender)
{
    setMusicBlockHook(noteRow);
    start(MusicOutput::Offline, 1, 64);
    gHookSong = song;
    gRowsSeenByHook.clear();
    std::vector<float> buf(2 * 8192);
    ASSERT_EQ(renderMusic(song, buf.data(), 8192), 8192u); // about 19 rows
    // Blocks of about a tick: the row moves on many times inside one long render.
    ASSERT_GE(gRowsSeenByHook.size(), 8u);
    EXPECT_EQ(gRowsSeenByHook.front(), 0);
    EXPECT_GE(gRowsSeenByHook.back(), 15);
    EXPECT_TRUE(std::is_sorted(gRowsSeenByHook.begin(), gRowsSeenByHook.end()));
}

namespace {
std::vector<Clock::time_point> gBlockTimes; // when each block was mixed, on the audio thread
void noteBlockTime()
{
    if (gBlockTimes.size() < gBlockTimes.capacity()) gBlockTimes.push_back(Clock::now());
}
} // namespace

// A row is reported when the device plays its first sample, about one device buffer (23 ms)
// after it was mixed, not when it is mixed; and in steps fine enough that a frame loop sees
// every row of 9.8 ms.
TEST_F(MusicTest, RowIsReportedWhenHeardInFineSteps)
{
    AudioDriverEnv env("dummy");
    constexpr int kRows = 64;
    constexpr double kRowFrames = 44100 * kRowSeconds;
    gBlockTimes.clear();
    gBlockTimes.reserve(4096);
    setMusicBlockHook(noteBlockTime);
    start(MusicOutput::Device, 2, kRows);

    std::vector<std::pair<int, Clock::time_point>> changes; // row index, when first reported
    int last = 0;
    const auto t0 = Clock::now();
    while (Clock::now() - t0 < std::chrono::seconds(5)) {
        const int order = FMUSIC_GetOrder(song), row = FMUSIC_GetRow(song);
        if (order >= 2) break;
        const int index = order * kRows + row;
        if (index != last) changes.emplace_back(index, Clock::now());
        last = index;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    setMusicBlockHook(nullptr);
    ASSERT_GT(changes.size(), 50u);

    int consecutive = 0;
    std::vector<double> afterMixMs;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const auto [index, at] = changes[i];
        if (i > 0 && index == changes[i - 1].first + 1) ++consecutive;
        const std::size_t block = std::size_t(index * kRowFrames) / 256; // the block holding its first sample
        if (block < gBlockTimes.size())
            afterMixMs.push_back(std::chrono::duration<double, std::milli>(at - gBlockTimes[block]).count());
    }
    EXPECT_GT(consecutive, int(changes.size() * 9 / 10)) << "rows are reported one by one, none skipped";
    ASSERT_FALSE(afterMixMs.empty());
    std::sort(afterMixMs.begin(), afterMixMs.end());
    const double median = afterMixMs[afterMixMs.size() / 2];
    EXPECT_GT(median, 12.0) << "reported when mixed, ahead of what is heard";
    EXPECT_LT(median, 40.0);
}

// A sound server that goes away mid-song: SDL goes on calling for samples at the device's
// pace, the song keeps its time without a jump, and still ends. Run by
// sound_server_gone.sh, which starts a PulseAudio server and names its pid.
TEST_F(MusicTest, SoundServerGoingAwayKeepsTheSongOnTime)
{
    const char* pid = std::getenv("RINTA_TEST_PULSE_PID");
    if (!pid) GTEST_SKIP() << "needs the PulseAudio server that sound_server_gone.sh starts";
    AudioDriverEnv env("pulseaudio");
    constexpr int kOrders = 12, kRows = 64; // 7.5 s
    start(MusicOutput::Device, kOrders, kRows);
    ASSERT_STREQ(SDL_GetCurrentAudioDriver(), "pulseaudio");

    // Wall clock minus song time at each row change: constant while the song keeps time.
    std::vector<std::pair<double, double>> offsets; // (seconds since start, offset in ms)
    int last = 0;
    bool killed = false;
    const auto t0 = Clock::now();
    double endedAt = -1;
    while (Clock::now() - t0 < std::chrono::seconds(15)) {
        const double now = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!killed && now >= 4.0) {
            kill(std::atoi(pid), SIGKILL);
            killed = true;
        }
        const int order = FMUSIC_GetOrder(song), row = FMUSIC_GetRow(song);
        if (order >= kOrders) {
            endedAt = now;
            break;
        }
        const int index = order * kRows + row;
        if (index != last) offsets.emplace_back(now, (now - index * kRowSeconds) * 1e3);
        last = index;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ASSERT_TRUE(killed);
    EXPECT_GT(endedAt, 0) << "the song ends after its server has gone";
    ASSERT_GT(offsets.size(), 100u);
    double before = 0, worstJump = 0;
    for (const auto& [at, offset] : offsets) {
        if (at < 3.5) before = offset;
        if (at >= 3.5) worstJump = std::max(worstJump, std::abs(offset - before));
    }
    EXPECT_LT(worstJump, 50.0) << "the position jumped when the server went away";
    const double heardFrom = offsets.front().second / 1e3; // the server takes a while to start
    EXPECT_LT(endedAt - heardFrom, kOrders * kRows * kRowSeconds + 0.25) << "the song keeps real time";
}
