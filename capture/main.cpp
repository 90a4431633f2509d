// SPDX-License-Identifier: MIT
// capture/main.cpp — rinta-capture: the demo's main loop without a window, a display or a
// sound card, and the wiring of its outputs. Time is virtual (clock.cpp); the scenes' calls
// pass through here for the render cost, the benchmark and the frame log (framelog.cpp);
// finished frames are read at the asked size (picture.cpp) and go to PNGs and the video.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture/bench.h"
#include "capture/clock.h"
#include "capture/framelog.h"
#include "capture/options.h"
#include "capture/outputs.h"
#include "capture/picture.h"
#include "engine/gl.h"
#include "engine/music.h"
#include "engine/projection.h"
#include "engine/startup.h"
#include "engine/timeline.h"
#include "platform/datadir.h"
#include "platform/headless.h"
#include "platform/platform.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadFlags = 2;

struct DemoEnded {}; // thrown by the end-of-process hook, caught in the loop

CaptureOptions opts;
WavWriter wav;
VideoWriter video;
bool videoOn = false;

void deliverAudio(const float* at, std::int64_t frames)
{
    if (wav.isOpen())
        wav.write(at, static_cast<size_t>(frames));
    if (videoOn)
        video.writeAudio(at, static_cast<size_t>(frames));
}

[[noreturn]] void unwindToLoop(int) { throw DemoEnded{}; }

// --- scene calls --------------------------------------------------------------------------
// The link wraps drawScene1..8 (see CMakeLists.txt), so every call the timeline makes passes
// here: the render cost is charged per scene actually run, and the benchmark times each one.

int sceneDepth = 0; // scene 6 dispatches from inside its own frame
long scenesThisFrame = 0;

bool runScene(int index, bool (*draw)())
{
    ++scenesThisFrame;
    const int depthAtCall = sceneDepth;
    traceSceneStart(depthAtCall, index);
    struct Depth {
        Depth() { ++sceneDepth; }
        ~Depth() { --sceneDepth; }
    } depth;
    const bool r = opts.bench && sceneDepth == 1 ? benchScene(index, draw, sleepWallSeconds) : draw();
    advanceClock(opts.frameCostUs);
    traceSceneEnd(depthAtCall);
    return r;
}

// The order the song had when it was freed: for the ending, what the timeline saw when it
// ended the demo (read before the handle goes).
int orderAtRelease = -1;

} // namespace

#define RINTA_WRAP_SCENE(n, mangled)                                                                                  \
    extern "C" bool __real_##mangled();                                                                                \
    extern "C" bool __wrap_##mangled() { return runScene(n - 1, __real_##mangled); }
RINTA_WRAP_SCENE(1, _Z10drawScene1v)
RINTA_WRAP_SCENE(2, _Z10drawScene2v)
RINTA_WRAP_SCENE(3, _Z10drawScene3v)
RINTA_WRAP_SCENE(4, _Z10drawScene4v)
RINTA_WRAP_SCENE(5, _Z10drawScene5v)
RINTA_WRAP_SCENE(6, _Z10drawScene6v)
RINTA_WRAP_SCENE(7, _Z10drawScene7v)
RINTA_WRAP_SCENE(8, _Z10drawScene8v)

extern "C" bool __real__Z15FMUSIC_FreeSongP13FMUSIC_MODULE(FMUSIC_MODULE* mod);
extern "C" bool __wrap__Z15FMUSIC_FreeSongP13FMUSIC_MODULE(FMUSIC_MODULE* mod)
{
    orderAtRelease = FMUSIC_GetOrder(mod);
    return __real__Z15FMUSIC_FreeSongP13FMUSIC_MODULE(mod);
}

namespace {

// --- presenting ---------------------------------------------------------------------------

std::vector<unsigned char> shown; // what a viewer sees now: black before frame 1
std::int64_t videoFromUs = kNever; // time of video frame 0
std::int64_t videoTicks = 0;

// Every video frame time before untilUs shows the picture presented last.
bool emitVideoUntil(std::int64_t untilUs)
{
    if (!videoOn || videoFromUs == kNever)
        return true;
    for (;;) {
        const std::int64_t tick = videoFromUs + videoTicks * 1000000 / opts.fps;
        if (tick >= untilUs)
            return true;
        if (!video.writeFrame(shown.data()))
            return false;
        ++videoTicks;
    }
}

// --- set-up -------------------------------------------------------------------------------

bool prepareOutputs(std::string& error)
{
    if (!opts.pngDir.empty() && !makeFrameDirectory(opts.pngDir, error))
        return false;
    if (!opts.wavFile.empty() && !wav.open(opts.wavFile, error))
        return false;
    if (!opts.videoFile.empty()) {
        if (!video.open(opts.videoFile, opts.fps, opts.width, opts.height, error))
            return false;
        videoOn = true;
    }
    if (!opts.logFile.empty() && !openFrameLog(opts.logFile, error))
        return false;
    return true;
}

void printProgress(double startWall, long frames, bool force)
{
    static double last = 0;
    const double now = wallSeconds();
    if (!force && now - last < 0.5)
        return;
    last = now;
    const double demo = double(clockUs) / 1e6, wall = now - startWall;
    std::fprintf(stderr, "\r  demo %7.2f s  order %2d  frame %6ld  %5.2fx real time ", demo,
                 songGone ? -1 : FMUSIC_GetOrder(song), frames, wall > 0 ? demo / wall : 0.0);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    if (!parseCaptureOptions(argc, argv, opts, error)) {
        std::fprintf(stderr, "rinta-capture: %s\n%s", error.c_str(), captureUsage());
        return kExitBadFlags;
    }
    if (opts.help || opts.version)
        return printToStdout(opts.help ? captureUsage() : captureVersion());
    auto fail = [](const std::string& why) {
        std::fprintf(stderr, "rinta-capture: %s\n", why.c_str());
        return kExitFailure;
    };

    // The engine opens "data/..." relative to the working directory.
    if (!checkCapturePaths(opts, error) || !useDataDirectory(opts.dataDir, error))
        return fail(error);
    if (!prepareOutputs(error))
        return fail(error);

    std::string eglError;
    // The pbuffer is the classic picture; other sizes draw into a frame target of their own.
    HeadlessContext* ctx = createHeadlessContext(kSceneWidth, kSceneHeight, eglError);
    if (!ctx)
        return fail("no usable EGL: " + eglError);
    if (!setUpPicture({opts.width, opts.height, opts.msaa}, error)) {
        destroyHeadlessContext(ctx);
        return fail(error);
    }
    shown.assign(static_cast<size_t>(opts.width) * opts.height * 3, 0);
    setAudioSink(deliverAudio);
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string rendererName = renderer ? renderer : "unknown";

    setSleepHook(virtualSleep);
    setTimelineShutdown(songReleased);
    setEndProcessHook(unwindToLoop);
    setMusicOutput(MusicOutput::Offline);
    resizeGLScene(45, kSceneWidth, kSceneHeight); // as the window's creation does
    initGL();

    const bool endsByItself =
        song || opts.seconds > 0 || opts.lastFrame > 0 ||
        std::any_of(opts.keys.begin(), opts.keys.end(), [](const KeyPress& k) { return k.vk == kVkEscape; });
    if (!endsByItself) {
        destroyHeadlessContext(ctx);
        return fail("the module " + opts.dataDir + "/sorvan.it did not load, so the demo would never reach its "
                    "end; give --seconds to capture without music");
    }
    if (!song)
        std::fprintf(stderr, "rinta-capture: warning: no music (%s/sorvan.it did not load)\n", opts.dataDir.c_str());

    const std::int64_t secondsUs = opts.seconds > 0 ? std::llround(opts.seconds * 1e6) : kNever;
    if (secondsUs != kNever)
        audioTo = secondsUs * kCaptureRate / 1000000;
    const bool timedOutputs = videoOn || wav.isOpen();
    if (opts.firstFrame == 1) { // a capture from the start has the music from its first sample
        audioFrom = 0;
        videoFromUs = 0;
    }
    // The video shows every frame from the first listed to the last; PNGs only those listed.
    auto inSpan = [](long frame) {
        return frame >= opts.firstFrame && (opts.lastFrame < 0 || frame <= opts.lastFrame);
    };
    auto listed = [&](long frame) {
        if (opts.frameRanges.empty())
            return inSpan(frame);
        return std::any_of(opts.frameRanges.begin(), opts.frameRanges.end(),
                           [frame](const auto& r) { return frame >= r.first && frame <= r.second; });
    };

    const bool progress = isatty(STDERR_FILENO) != 0;
    const double startWall = wallSeconds();
    long frame = 0, fullFrames = 0, pngWritten = 0;
    double fullWall = 0, unsampledWall = 0;
    const char* endReason = "the song's end (order 32)";
    const char* endWord = "order32"; // the reason as the log gives it
    bool cutShort = false;           // the last frame met the ending and was never presented
    bool ok = true;
    for (;;) {
        if (clockUs >= secondsUs) {
            endReason = "--seconds";
            endWord = "seconds";
            break;
        }
        // With time-based outputs one more (unseen) frame tells how long frame B stays on screen.
        if (opts.lastFrame > 0 && frame >= opts.lastFrame + (timedOutputs ? 1 : 0)) {
            endReason = "--frames";
            endWord = "frames";
            break;
        }
        ++frame;
        // A frame is drawn in full only when a PNG or the video can show it; the others keep
        // their pixels to a one-pixel scissor box that no scene touches, since only their
        // state matters to later frames (every scene clears before it draws).
        const bool full = opts.bench || (!opts.pngDir.empty() && listed(frame)) || (videoOn && inSpan(frame));

        // 1. events: the keys pressed for this frame go down now and up after it is presented.
        bool esc = false, keyed = false;
        for (const KeyPress& k : opts.keys)
            if (k.frame == frame) {
                keyEvent(k.vk, true);
                esc = esc || k.vk == kVkEscape;
                keyed = true;
            }
        // 2. (the Esc test ends the loop after this frame) 3. scene keys and the frame itself
        if (full) {
            glDisable(GL_SCISSOR_TEST);
        } else {
            glEnable(GL_SCISSOR_TEST);
            glScissor(0, 0, 1, 1);
        }
        const std::int64_t frameStartUs = clockUs;
        const double wall0 = wallSeconds(), slept0 = sleepWallSeconds;
        scenesThisFrame = 0;
        startTrail();
        bool ended = false;
        try {
            handleSceneKeys();
        } catch (const DemoEnded&) {
            ended = true;
        }
        if (ended) {
            --frame; // the song reached order 32 inside the frame: it is never presented
            cutShort = true;
            break;
        }
        if (frame == 1 && !keyed && scenesThisFrame == 0) {
            destroyHeadlessContext(ctx);
            return fail("internal: the scene calls do not pass through the capture (was it linked with --wrap?)");
        }
        if (clockUs == frameStartUs)
            advanceClock(opts.frameCostUs); // no scene ran and nothing slept: presenting still takes time
        if (!full) {
            GLint box[4] = {};
            glGetIntegerv(GL_SCISSOR_BOX, box);
            if (!glIsEnabled(GL_SCISSOR_TEST) || box[2] != 1 || box[3] != 1) {
                destroyHeadlessContext(ctx);
                return fail("internal: a scene changed the scissor test, so unseen frames cannot be skipped");
            }
        }
        glFinish();
        const double renderWall = wallSeconds() - wall0 - (sleepWallSeconds - slept0);
        (full ? fullWall : unsampledWall) += renderWall;
        fullFrames += full ? 1 : 0;

        // 4. present: what was on screen until now fills the video up to this moment.
        if (frame == opts.firstFrame && opts.firstFrame > 1) {
            audioFrom = samplesPulled;
            videoFromUs = clockUs;
        }
        ok = emitVideoUntil(std::min(clockUs, secondsUs)) && ok;
        if (full && !opts.bench) {
            readPicture(shown);
            if (!opts.pngDir.empty() && listed(frame)) {
                char name[32];
                std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
                if (!writePng(opts.pngDir + name, shown.data(), opts.width, opts.height, error)) {
                    ok = false;
                    break;
                }
                ++pngWritten;
            }
        }
        for (const KeyPress& k : opts.keys)
            if (k.frame == frame)
                keyEvent(k.vk, false);
        logFrame(frame, clockUs, FMUSIC_GetOrder(song), FMUSIC_GetRow(song), SceneOverride);
        if (progress)
            printProgress(startWall, frame, false);
        if (!ok)
            break;
        if (esc) { // the main loop's own shut-down after Esc
            FMUSIC_FreeSong(song);
            FSOUND_Close();
            songGone = true;
            endReason = "Esc";
            endWord = "esc";
            break;
        }
    }
    const std::int64_t endUs = std::min(clockUs, secondsUs);
    if (ok)
        ok = emitVideoUntil(endUs);
    if (progress) {
        printProgress(startWall, frame, true);
        std::fputc('\n', stderr);
    }
    if (!ok && error.empty())
        error = video.failure();
    if (ok && wav.isOpen())
        ok = wav.close(error);
    if (ok && videoOn)
        ok = video.finish(error);
    logEnd(endUs, songGone ? orderAtRelease : FMUSIC_GetOrder(song), ok ? endWord : "error", cutShort);
    if (ok)
        ok = closeFrameLog(error);
    if (!songGone) {
        FMUSIC_FreeSong(song);
        FSOUND_Close();
    }
    const int samples = pictureSamples();
    tearDownPicture();
    destroyHeadlessContext(ctx);
    if (!ok)
        return fail(error);

    const double wall = wallSeconds() - startWall, demo = double(endUs) / 1e6;
    const long unsampled = frame - fullFrames;
    if (opts.bench)
        printBenchReport(stdout, rendererName.c_str(), pictureWidth(), pictureHeight(), samples);
    std::fprintf(stderr,
                 "rinta-capture: %ld frames over %.3f s of demo time, ended by %s; %ld drawn in full (%.2f ms "
                 "each), %ld unsampled (%.2f ms each); %.1f s wall, %.2fx real time; wrote %ld PNG, %lld video "
                 "frames, %lld audio frames; %s\n",
                 frame, demo, endReason, fullFrames, fullFrames ? fullWall * 1000 / fullFrames : 0.0, unsampled,
                 unsampled ? unsampledWall * 1000 / unsampled : 0.0, wall, wall > 0 ? demo / wall : 0.0, pngWritten,
                 static_cast<long long>(videoTicks), static_cast<long long>(wav.frames()), rendererName.c_str());
    return 0;
}
