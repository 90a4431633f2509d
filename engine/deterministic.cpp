// SPDX-License-Identifier: MIT
// engine/deterministic.cpp — the virtual clock, the music pulled up to it, and the frame loop.
#include "engine/deterministic.h"

#include <algorithm>
#include <chrono>

#include "engine/frontend.h"
#include "engine/startup.h"

namespace {

struct EndedInsideFrame {}; // thrown by the end-of-process hook, caught in run()

DeterministicLoop* active = nullptr; // the hooks are plain functions: one loop at a time

} // namespace

DeterministicLoop::DeterministicLoop(Settings settings) : settings_(std::move(settings)) {}

DeterministicLoop::~DeterministicLoop()
{
    if (active != this)
        return;
    for (int i = 0; i < 8; ++i)
        SceneFunctions[i] = realScenes_[i];
    setSleepHook(nullptr);
    setEndProcessHook(nullptr);
    setTimelineShutdown(nullptr);
    setSongEndsEarlyNotice(nullptr);
    active = nullptr;
}

double DeterministicLoop::wallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

template <int N>
bool DeterministicLoop::scene()
{
    return active->runScene(N);
}

void DeterministicLoop::install()
{
    active = this;
    static const SceneFunction wrappers[8] = {scene<0>, scene<1>, scene<2>, scene<3>,
                                              scene<4>, scene<5>, scene<6>, scene<7>};
    for (int i = 0; i < 8; ++i) {
        realScenes_[i] = SceneFunctions[i];
        SceneFunctions[i] = wrappers[i];
    }
    setSleepHook(sleepHook);
    setEndProcessHook(endHook);
    setTimelineShutdown(shutdownHook);
    setSongEndsEarlyNotice(songEndsEarly);
    setMusicOutput(MusicOutput::Offline);
}

// ---- the clock ------------------------------------------------------------------------------

void DeterministicLoop::pullMusic()
{
    static float buf[2 * 4096];
    const std::int64_t target = clockUs_ * kMixRate / 1000000;
    while (!songGone_ && samplesPulled_ < target) {
        const std::int64_t n = std::min<std::int64_t>(target - samplesPulled_, 4096);
        const size_t got = song ? renderMusic(song, buf, static_cast<size_t>(n)) : 0;
        std::fill(buf + 2 * got, buf + 2 * n, 0.0f); // after the song's end: silence
        musicRendered(buf, samplesPulled_, n);
        samplesPulled_ += n;
    }
}

void DeterministicLoop::advanceClock(std::int64_t us)
{
    clockUs_ += us;
    pullMusic();
}

void DeterministicLoop::sleepHook(unsigned ms)
{
    const double t0 = wallSeconds();
    active->advanceClock(static_cast<std::int64_t>(ms) * 1000);
    active->sleepWallSeconds_ += wallSeconds() - t0;
}

// ---- the endings ----------------------------------------------------------------------------

void DeterministicLoop::endHook(int)
{
    active->endedInsideFrame();
    throw EndedInsideFrame{};
}

void DeterministicLoop::shutdownHook() // the timeline freed the song at order 32 and closed the sound
{
    active->songGone_ = true;
    active->releasedAtOrder_ = kEndOrder;
    song = nullptr;
}

void DeterministicLoop::songEndsEarly(SongEndsEarly how, int order)
{
    active->earlyEndOrder_ = order;
    (how == SongEndsEarly::Ended ? active->songEndedEarly_ : active->songLooped_) = true;
}

int DeterministicLoop::endingOrder() const { return songGone_ ? releasedAtOrder_ : FMUSIC_GetOrder(song); }

// ---- scenes and frames ----------------------------------------------------------------------

bool DeterministicLoop::runScene(int index)
{
    const int depth = sceneDepth_;
    struct Depth { // scene 6 dispatches from inside its own frame; the ending may unwind through it
        int& d;
        explicit Depth(int& depth) : d(depth) { ++d; }
        ~Depth() { --d; }
    } nested(sceneDepth_);
    const bool r = callScene(index, depth, realScenes_[index]);
    advanceClock(settings_.sceneCostUs);
    sceneFinished(depth);
    return r;
}

DeterministicLoop::Ending DeterministicLoop::run()
{
    auto keys = [this](bool down) {
        bool esc = false;
        for (const KeyPress& k : settings_.keys)
            if (k.frame == frame_) {
                keyEvent(k.vk, down);
                esc = esc || k.vk == kVkEscape;
            }
        return esc;
    };
    Ending ending;
    for (;;) {
        if (clockUs_ >= settings_.untilUs) {
            ending = Ending::Time;
            break;
        }
        if (settings_.lastFrame >= 0 && frame_ >= settings_.lastFrame) {
            ending = Ending::Frames;
            break;
        }
        ++frame_;
        const bool seen = frameSeen(frame_);
        // 1. events: the keys pressed for this frame go down now and up after it is presented.
        const bool esc = keys(true);
        // 2. (Esc ends the loop after this frame) 3. scene keys and the frame itself
        setFrameSeen(seen);
        frameStarting(frame_);
        const std::int64_t frameStartUs = clockUs_;
        try {
            handleSceneKeys();
        } catch (const EndedInsideFrame&) {
            --frame_; // the song reached order 32 inside the frame: it is never presented
            cutShort_ = true;
            ending = Ending::Order32;
            break;
        }
        if (clockUs_ == frameStartUs)
            advanceClock(settings_.sceneCostUs); // no scene ran and nothing slept: presenting still takes time
        // 4. present
        const bool ok = framePresented(frame_, seen);
        keys(false);
        if (!ok) {
            ending = Ending::Stopped;
            break;
        }
        if (esc) { // the main loop's own shut-down after Esc
            ending = Ending::Esc;
            break;
        }
        if (settings_.stopWhenSongEndsEarly && (songEndedEarly_ || songLooped_)) {
            ending = songEndedEarly_ ? Ending::SongEnded : Ending::SongLooped;
            break;
        }
    }
    if (!songGone_) {
        releasedAtOrder_ = FMUSIC_GetOrder(song);
        FMUSIC_FreeSong(song);
        FSOUND_Close();
        songGone_ = true;
        song = nullptr;
    }
    return ending;
}
