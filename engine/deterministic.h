// SPDX-License-Identifier: MIT
// engine/deterministic.h — the virtual clock and the deterministic loop: the demo run frame by
// frame on time that moves only when the demo spends it (each sleep its length, each scene a
// fixed render cost), with the music rendered offline up to the clock after every step, so the
// order and row the timeline reads, the frames and the audio agree to the sample. rinta-capture
// and the page's exact mode (?frame=N) both run it; a front end fills in the virtual steps.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/timeline.h"

constexpr std::int64_t kNever = INT64_MAX;

// A key pressed for one frame: down before the frame, up after it is presented.
struct KeyPress {
    long frame; // presented frame, counted from 1
    int vk;     // virtual-key code (platform.h); kVkEscape ends the run like the main loop
};

class DeterministicLoop {
public:
    struct Settings {
        std::int64_t sceneCostUs = 1000; // the fixed cost of rendering one scene
        std::int64_t untilUs = kNever;   // no frame starts at or after this demo time
        long lastFrame = -1;             // the last frame run; -1: no limit
        // Stop after the frame in which the song ends before order 32 or jumps back, which
        // would otherwise run the demo until Esc.
        bool stopWhenSongEndsEarly = false;
        std::vector<KeyPress> keys;
    };

    enum class Ending {
        Order32,    // the song reached order 32 inside a frame, which was never presented
        Esc,        // a scripted Esc, after its frame
        Time,       // untilUs
        Frames,     // lastFrame
        SongEnded,  // the song ended before order 32 (stopWhenSongEndsEarly)
        SongLooped, // the song went back to an earlier order (stopWhenSongEndsEarly)
        Stopped,    // framePresented said so
    };

    explicit DeterministicLoop(Settings settings);
    virtual ~DeterministicLoop();
    DeterministicLoop(const DeterministicLoop&) = delete;
    DeterministicLoop& operator=(const DeterministicLoop&) = delete;

    // Installs the loop's sleep, end-of-process, shutdown and song-end hooks, its scene table
    // and offline music. Before initGL, which starts the song on that output.
    void install();
    // Runs frames until one of the endings; the song is freed and the sound closed after it.
    Ending run();

    // The clock and what it has pulled.
    std::int64_t clockUs() const { return clockUs_; }
    std::int64_t samplesPulled() const { return samplesPulled_; }
    bool songGone() const { return songGone_; }
    // Wall seconds spent in the sleep hook so far (the music rendered there): kept out of the
    // scenes' render timings.
    double sleepWallSeconds() const { return sleepWallSeconds_; }
    void advanceClock(std::int64_t us); // the clock moves on and the music follows it

    long frame() const { return frame_; } // the frame running, or the last one presented
    const std::vector<KeyPress>& keys() const { return settings_.keys; }
    bool frameCutShort() const { return cutShort_; }
    // The order the song had when it was freed, or is at now: what ended the demo.
    int endingOrder() const;
    int earlyEndOrder() const { return earlyEndOrder_; } // the order the song-end notice gave

    static double wallSeconds();

protected:
    // Whether the frame is drawn for a viewer; an unseen frame keeps only its GL state.
    virtual bool frameSeen(long frame) = 0;
    virtual void frameStarting(long) {}
    // Scene `index` (0 to 7) called at `depth` (0 from the timeline, 1 from inside scene 6):
    // the front end may trace or time it, and must call draw. The render cost is charged
    // after it, before sceneFinished.
    virtual bool callScene(int, int, SceneFunction draw) { return draw(); }
    virtual void sceneFinished(int) {}
    // After the frame, before its keys go up: show or read it. False ends the run (Stopped).
    virtual bool framePresented(long frame, bool seen) = 0;
    // The music rendered for samples [first, first + count), silence after the song's end.
    virtual void musicRendered(const float*, std::int64_t, std::int64_t) {}
    // The order-32 ending met inside a frame, before the loop unwinds to run(): a front end
    // that cannot unwind (the page, without exceptions) ends the process here.
    virtual void endedInsideFrame() {}

private:
    static void sleepHook(unsigned ms);
    [[noreturn]] static void endHook(int code);
    static void shutdownHook();
    static void songEndsEarly(SongEndsEarly how, int order);
    template <int N>
    static bool scene();
    bool runScene(int index);
    void pullMusic();

    Settings settings_;
    std::int64_t clockUs_ = 0;
    std::int64_t samplesPulled_ = 0;
    bool songGone_ = false;
    double sleepWallSeconds_ = 0;
    long frame_ = 0;
    bool cutShort_ = false;
    int sceneDepth_ = 0;
    int releasedAtOrder_ = -1;
    int earlyEndOrder_ = -1;
    bool songEndedEarly_ = false, songLooped_ = false;
    SceneFunction realScenes_[8] = {};
};
