// SPDX-License-Identifier: MIT
// The music layer on an SDL audio device: with SDL's dummy driver, with a driver that is
// not there, and with none named. The position must advance in real time in every case,
// and queries must never wait on the audio thread.
#include "tests/music/music_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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
    double longestGap = 0; // between two polls: a busy machine may keep the poller away
};

// Polls the playing song as a frame loop would until it reports the end (or 10 s pass).
Playthrough watch(FMUSIC_MODULE* song, int orders)
{
    Playthrough p;
    std::vector<bool> seen(orders, false);
    const auto t0 = Clock::now();
    int last = 0;
    auto lastPoll = t0;
    while (Clock::now() - t0 < std::chrono::seconds(10)) {
        const auto now = Clock::now();
        p.longestGap = std::max(p.longestGap, std::chrono::duration<double>(now - lastPoll).count());
        lastPoll = now;
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
    // Each order lasts rows * 9.8 ms: polls closer than that see every one.
    if (p.longestGap < rows * kRowSeconds) {
        EXPECT_TRUE(p.sawEveryOrder);
    }
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
    EXPECT_GT(FMUSIC_GetOrder(song) * 64 + FMUSIC_GetRow(song), order * 64 + row)
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

// A row change as a frame loop sees it: the song reported it at some moment after
// `notBefore` (a query started then still read the row before) and by `by`, in
// microseconds of the device's clock. On a busy machine the polls come late and the
// interval widens; what is asserted on it holds for any interval, so only the song's own
// schedule can fail it.
struct RowChange {
    int index;     // order * rows + row
    int skipped;   // rows passed over since the change before
    std::int64_t notBefore;
    std::int64_t by;
};

// Order and row as one position: a query on each side of an order change would pair the
// old order with the new row.
int positionIndex(FMUSIC_MODULE* song, int rows, int& order)
{
    for (;;) {
        order = FMUSIC_GetOrder(song);
        const int row = FMUSIC_GetRow(song);
        if (FMUSIC_GetOrder(song) == order) return order * rows + row;
    }
}

// Polls the song as a frame loop would (every 200 us, or as soon as the machine lets it)
// until its order reaches `endOrder` or `seconds` pass; `during` is called before each poll
// with the seconds since the first. `endedAfter`, if given, gets the moment after which the
// end was reported (-1 if it was not).
template <typename During>
std::vector<RowChange> pollRowChanges(FMUSIC_MODULE* song, int rows, int endOrder, double seconds, During during,
                                      std::int64_t* endedAfter = nullptr)
{
    MusicDevice& device = sdlAudioOutput();
    std::vector<RowChange> changes;
    int last = 0;
    const std::int64_t first = device.heardNowUs();
    std::int64_t lastQueryStart = first;
    if (endedAfter) *endedAfter = -1;
    for (;;) {
        const std::int64_t start = device.heardNowUs();
        if (start - first > std::int64_t(seconds * 1e6)) break;
        during(double(start - first) / 1e6);
        int order = 0;
        const int index = positionIndex(song, rows, order);
        const std::int64_t end = device.heardNowUs();
        if (order >= endOrder) {
            if (endedAfter) *endedAfter = lastQueryStart;
            break;
        }
        if (index != last) changes.push_back({index, index - last - 1, lastQueryStart, end});
        last = index;
        lastQueryStart = start;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return changes;
}

struct Pull {
    std::int64_t pulledAt, heardAt;
    std::size_t frames;
};
std::vector<Pull> gPulls; // noted on the audio thread
void notePull(std::int64_t pulledAtUs, std::int64_t heardAtUs, std::size_t frames)
{
    if (gPulls.size() < gPulls.capacity()) gPulls.push_back({pulledAtUs, heardAtUs, frames});
}

// Checks each row change against the schedule the device gave for each pull: every row, seen
// or passed over between two polls, must have been due between them. A row is due with the
// first block (as the core splits a pull into blocks of 256 frames) that starts inside it,
// allowing its start a couple of samples either way; a late audio thread may mix a block
// after it is due, and it is mixed by the time the device asks for the next buffer.
void expectRowsHeardOnSchedule(const std::vector<RowChange>& changes, double rowFrames)
{
    struct Block {
        std::int64_t songFrame, due, mixedBy;
    };
    std::vector<Block> blocks;
    std::int64_t songFrame = 0;
    for (std::size_t p = 0; p + 1 < gPulls.size(); ++p)
        for (std::size_t at = 0; at < gPulls[p].frames; at += 256) {
            blocks.push_back({songFrame, gPulls[p].heardAt + std::int64_t(at) * 1000000 / 44100, gPulls[p + 1].pulledAt});
            songFrame += std::int64_t(std::min<std::size_t>(256, gPulls[p].frames - at));
        }
    const auto blockFrom = [&](double frame) {
        return std::lower_bound(blocks.begin(), blocks.end(), frame,
                                [](const Block& b, double f) { return double(b.songFrame) < f; });
    };
    int checked = 0, early = 0, late = 0;
    for (const RowChange& c : changes) {
        for (int index = c.index - c.skipped; index <= c.index; ++index) {
            const auto lo = blockFrom(index * rowFrames - 2), hi = blockFrom(index * rowFrames + 2);
            if (hi == blocks.end()) continue;
            ++checked;
            if (lo->due > c.by) ++early; // reported before it was due
            // due and mixed, but a query after that still read the row before
            if (std::max(hi->due, hi->mixedBy) <= c.notBefore) ++late;
        }
    }
    EXPECT_GT(checked, 30);
    EXPECT_EQ(early, 0) << "rows reported ahead of the device's schedule (when mixed?)";
    EXPECT_EQ(late, 0) << "rows reported after they were due (steps too coarse?)";
}

} // namespace

// A row is reported from the moment the device will play its first sample (about one device
// buffer after it was mixed, not when it is mixed), in steps of a block (5.8 ms) so that a
// frame loop sees every row of 9.8 ms. Checked against the schedule the device itself gave
// for each buffer it pulled, not against the wall clock: every row, seen or passed over
// between two polls, must have been due between them.
TEST_F(MusicTest, RowIsReportedWhenHeardInFineSteps)
{
    AudioDriverEnv env("dummy");
    constexpr int kRows = 64;
    constexpr double kRowFrames = 432; // libopenmpt's tick of 2.5/255 s, in whole samples
    gPulls.clear();
    gPulls.reserve(4096);
    setAudioPullHookForTests(notePull);
    start(MusicOutput::Device, 2, kRows);
    const std::vector<RowChange> changes = pollRowChanges(song, kRows, 2, 5.0, [](double) {});
    setAudioPullHookForTests(nullptr);
    ASSERT_GT(changes.size(), 30u);

    expectRowsHeardOnSchedule(changes, kRowFrames);
}

// A sound server that goes away mid-song: SDL goes on calling for samples at the device's
// pace, the song keeps its time without a jump, and still ends. Run by
// sound_server_gone.sh, which starts a PulseAudio server and names its pid. Measured on the
// device's own schedule: the silent clock goes on from where the device's last buffer ends,
// and every row is reported when that schedule says. On a busy machine SDL may notice the
// loss late and the position waits meanwhile; what a viewer would notice is a lasting shift
// of the picture against the clock, checked a second after the loss.
TEST_F(MusicTest, SoundServerGoingAwayKeepsTheSongOnTime)
{
    const char* pid = std::getenv("RINTA_TEST_PULSE_PID");
    if (!pid) GTEST_SKIP() << "needs the PulseAudio server that sound_server_gone.sh starts";
    AudioDriverEnv env("pulseaudio");
    constexpr int kOrders = 12, kRows = 64; // 7.5 s
    start(MusicOutput::Device, kOrders, kRows);
    ASSERT_STREQ(SDL_GetCurrentAudioDriver(), "pulseaudio");

    gPulls.clear();
    gPulls.reserve(8192);
    setAudioPullHookForTests(notePull);
    bool killed = false;
    std::int64_t endedAfter = -1;
    const std::vector<RowChange> changes = pollRowChanges(song, kRows, kOrders, 15.0, [&](double now) {
        if (!killed && now >= 4.0) {
            kill(std::atoi(pid), SIGKILL);
            killed = true;
        }
    }, &endedAfter);
    setAudioPullHookForTests(nullptr);
    ASSERT_TRUE(killed);
    ASSERT_GT(endedAfter, 0) << "the song ends after its server has gone";
    ASSERT_GT(changes.size(), 100u);
    EXPECT_TRUE(silentClockRunsForTests());

    // Each pull is heard where the one before it ends, bent by at most 2% of a buffer.
    std::int64_t worstSeam = 0;
    for (std::size_t p = 1; p < gPulls.size(); ++p) {
        const std::int64_t end = gPulls[p - 1].heardAt + std::int64_t(gPulls[p - 1].frames) * 1000000 / 44100;
        worstSeam = std::max(worstSeam, std::abs(gPulls[p].heardAt - end));
    }
    EXPECT_LT(worstSeam, 1000) << "the schedule jumped (in microseconds)";
    expectRowsHeardOnSchedule(changes, 432);

    // The song's offset from the clock, in ms, as an interval per row change: when it was
    // reported, less when the row starts in the song.
    const auto rowStartMs = [](const RowChange& c) { return c.index * kRowSeconds * 1e3; };
    const auto lo = [&](const RowChange& c) { return c.notBefore / 1e3 - rowStartMs(c); };
    const auto hi = [&](const RowChange& c) { return c.by / 1e3 - rowStartMs(c); };
    const std::int64_t t0 = changes.front().notBefore;
    const auto at = [&](const RowChange& c) { return double(c.by - t0) / 1e6; };
    const RowChange* before = nullptr; // the narrowest in the second before the kill
    for (const RowChange& c : changes)
        if (at(c) >= 2.5 && at(c) < 3.5 && (!before || hi(c) - lo(c) < hi(*before) - lo(*before))) before = &c;
    ASSERT_NE(before, nullptr);
    double worstJump = 0;
    for (const RowChange& c : changes)
        if (at(c) >= 5.0) worstJump = std::max({worstJump, lo(c) - hi(*before), lo(*before) - hi(c)});
    EXPECT_LT(worstJump, 50.0) << "the song's time shifted when the server went away";
    // The server takes a while to start: the song's time runs from its first row change.
    const double songMs = kOrders * kRows * kRowSeconds * 1e3;
    EXPECT_LT(endedAfter / 1e3 - hi(changes.front()), songMs + 250) << "the song keeps real time";
}

namespace {

// A device whose clock the test sets and whose pulls it makes, as the page's Web Audio
// callback makes them: the core's schedule without an audio thread.
class ManualDevice final : public MusicDevice {
public:
    bool open(int) override { return true; }
    void start() override {}
    void close() override {}
    std::int64_t heardNowUs() override { return now; }
    std::int64_t now = 0;
};
ManualDevice gManualDevice; // outlives each test, which the fixture closes after it

// Plays the device's song for `seconds`, pulling buffers of 2048 frames (the page's) one
// ahead of the clock; returns the order heard after each buffer and the frames of music.
std::pair<std::vector<int>, std::size_t> playManually(ManualDevice& device, FMUSIC_MODULE* song, double seconds)
{
    constexpr std::size_t kFrames = 2048;
    std::vector<float> buf(2 * kFrames);
    std::vector<int> orders;
    std::size_t music = 0;
    const std::int64_t bufferUs = std::int64_t(kFrames) * 1000000 / 44100;
    for (std::int64_t at = 1000000; at < 1000000 + std::int64_t(seconds * 1e6); at += bufferUs) {
        music += musicDeviceFill(buf.data(), kFrames, at + bufferUs);
        device.now = at;
        orders.push_back(FMUSIC_GetOrder(song));
    }
    return {orders, music};
}

} // namespace

// What the page plays: through a device, a song that jumps back plays on and its position
// goes round with it, and a song that runs off its list ends, reading the list's length.
TEST_F(MusicTest, ThroughADeviceALoopingSongPlaysOnAndOnlyARunOffTheListEnds)
{
    ManualDevice& device = gManualDevice;
    device.now = 0;
    setMusicDevice(&device);
    start(MusicOutput::Device, 4, 8, {3, 7, 0}); // 0.3 s, then back to order 0
    const auto [looped, loopedFrames] = playManually(device, song, 10.0);
    EXPECT_GT(loopedFrames, std::size_t(44100 * 9.9)) << "still playing after 10 s";
    int wraps = 0;
    for (std::size_t i = 1; i < looped.size(); ++i) wraps += looped[i] < looped[i - 1];
    EXPECT_GT(wraps, 25);
    EXPECT_LT(*std::max_element(looped.begin(), looped.end()), 4) << "a loop never reads as the end";
    FMUSIC_FreeSong(song);
    song = nullptr;
    FSOUND_Close();

    start(MusicOutput::Device, 4, 8);
    const auto [ended, endedFrames] = playManually(device, song, 1.0);
    EXPECT_NEAR(double(endedFrames) / 44100, 4 * 8 * kRowSeconds, 0.01);
    EXPECT_EQ(ended.back(), 4);
    EXPECT_EQ(FMUSIC_GetOrder(song), 4);
    FMUSIC_FreeSong(song);
    song = nullptr;
    FSOUND_Close();
    setMusicDevice(&sdlAudioOutput());
}

// Each row is heard from the moment the device said the first block holding it would play:
// before that the row before it, and never a row skipped.
TEST_F(MusicTest, ThroughADeviceEachRowIsHeardFromItsBlocksStamp)
{
    ManualDevice& device = gManualDevice;
    device.now = 0;
    setMusicDevice(&device);
    start(MusicOutput::Device, 2, 16);
    std::vector<float> buf(2 * 2048);
    constexpr std::int64_t kFrom = 5000000;
    std::size_t frames = 0;
    while (musicDeviceFill(buf.data(), 2048, kFrom + std::int64_t(frames) * 1000000 / 44100) == 2048) frames += 2048;
    std::vector<std::pair<int, int>> heard; // each position once, in the order heard
    device.now = kFrom - 1;
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);
    EXPECT_EQ(FMUSIC_GetRow(song), 0);
    for (std::int64_t t = kFrom; t < kFrom + 400000; t += 500) {
        device.now = t;
        const std::pair<int, int> p{FMUSIC_GetOrder(song), FMUSIC_GetRow(song)};
        if (heard.empty() || heard.back() != p) {
            heard.push_back(p);
            if (p.first < 2) { // due with the first block starting inside the row
                const double start = (p.first * 16 + p.second) * 432.0;
                const std::int64_t due = kFrom + std::int64_t(std::ceil((start - 2) / 256) * 256) * 1000000 / 44100;
                EXPECT_GE(t, due) << "row " << p.second << " heard early";
                EXPECT_LT(t, due + 500 + 6000) << "row " << p.second << " heard late";
            }
        }
    }
    std::vector<std::pair<int, int>> expected;
    for (int o = 0; o < 2; ++o)
        for (int r = 0; r < 16; ++r) expected.emplace_back(o, r);
    expected.emplace_back(2, 0);
    EXPECT_EQ(heard, expected);
    FMUSIC_FreeSong(song);
    song = nullptr;
    FSOUND_Close();
    setMusicDevice(&sdlAudioOutput());
}
