// SPDX-License-Identifier: MIT
// capture/main.cpp — rinta-capture: the demo's deterministic loop (engine/deterministic.h)
// without a window, a display or a sound card, and the wiring of its outputs. Each scene call
// is traced for the frame log (framelog.cpp) and timed for the benchmark; finished frames are
// read at the asked size (picture.cpp) and go to PNGs and the video, the music to the WAV.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture/bench.h"
#include "capture/framelog.h"
#include "capture/options.h"
#include "capture/outputs.h"
#include "capture/picture.h"
#include "engine/deterministic.h"
#include "engine/frontend.h"
#include "engine/gl.h"
#include "engine/projection.h"
#include "platform/headless.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadFlags = 2;

CaptureOptions opts;
WavWriter wav;
VideoWriter video;
bool videoOn = false;

// The capture's side of the deterministic loop: which frames are seen, the trace and timing of
// each scene call, the finished frame to the outputs and the music to the WAV and the video.
class Capture final : public DeterministicLoop {
public:
    using DeterministicLoop::DeterministicLoop;

    std::int64_t audioFrom = kNever; // first sample that goes to the outputs (set when output starts)
    std::int64_t audioTo = kNever;   // one past the last, when --seconds fixes it
    std::int64_t videoFromUs = kNever; // time of video frame 0
    std::int64_t videoTicks = 0;
    std::int64_t secondsUs = kNever;
    std::vector<unsigned char> shown; // what a viewer sees now: black before frame 1
    long fullFrames = 0, pngWritten = 0;
    double fullWall = 0, unsampledWall = 0;
    bool progress = false;
    double startWall = 0;
    bool ok = true;
    std::string error;

    // The video shows every frame from the first listed to the last; PNGs only those listed.
    static bool inSpan(long frame)
    {
        return frame >= opts.firstFrame && (opts.lastFrame < 0 || frame <= opts.lastFrame);
    }
    static bool listed(long frame)
    {
        if (opts.frameRanges.empty())
            return inSpan(frame);
        return std::any_of(opts.frameRanges.begin(), opts.frameRanges.end(),
                           [frame](const auto& r) { return frame >= r.first && frame <= r.second; });
    }

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

    void printProgress(bool force)
    {
        static double last = 0;
        const double now = wallSeconds();
        if (!force && now - last < 0.5)
            return;
        last = now;
        const double demo = double(clockUs()) / 1e6, wall = now - startWall;
        std::fprintf(stderr, "\r  demo %7.2f s  order %2d  frame %6ld  %5.2fx real time ", demo,
                     songGone() ? -1 : FMUSIC_GetOrder(song), frame(), wall > 0 ? demo / wall : 0.0);
        std::fflush(stderr);
    }

protected:
    // A frame is drawn in full only when a PNG or the video can show it; the others keep only
    // their state, which later frames need.
    bool frameSeen(long frame) override
    {
        return opts.bench || (!opts.pngDir.empty() && listed(frame)) || (videoOn && inSpan(frame));
    }

    void frameStarting(long) override
    {
        wall0_ = wallSeconds();
        slept0_ = sleepWallSeconds();
        startTrail();
    }

    bool callScene(int index, int depth, SceneFunction draw) override
    {
        traceSceneStart(depth, index);
        return opts.bench && depth == 0 ? benchScene(index, draw, *this) : draw();
    }

    void sceneFinished(int depth) override { traceSceneEnd(depth); }

    bool framePresented(long frame, bool seen) override
    {
        glFinish();
        const double renderWall = wallSeconds() - wall0_ - (sleepWallSeconds() - slept0_);
        (seen ? fullWall : unsampledWall) += renderWall;
        fullFrames += seen ? 1 : 0;

        // What was on screen until now fills the video up to this moment.
        if (frame == opts.firstFrame && opts.firstFrame > 1) {
            audioFrom = samplesPulled();
            videoFromUs = clockUs();
        }
        ok = emitVideoUntil(std::min(clockUs(), secondsUs)) && ok;
        if (seen && !opts.bench) {
            readPicture(shown);
            if (!opts.pngDir.empty() && listed(frame)) {
                char name[40];
                std::snprintf(name, sizeof name, "/frame-%06ld.png", frame);
                if (!writePng(opts.pngDir + name, shown.data(), opts.width, opts.height, error))
                    return ok = false;
                ++pngWritten;
            }
        }
        logFrame(frame, clockUs(), FMUSIC_GetOrder(song), FMUSIC_GetRow(song), SceneOverride);
        if (progress)
            printProgress(false);
        return ok;
    }

    void musicRendered(const float* buf, std::int64_t first, std::int64_t count) override
    {
        const std::int64_t from = std::max(first, audioFrom), to = std::min(first + count, audioTo);
        if (from >= to)
            return;
        const float* at = buf + 2 * (from - first);
        if (wav.isOpen())
            wav.write(at, static_cast<size_t>(to - from));
        if (videoOn)
            video.writeAudio(at, static_cast<size_t>(to - from));
    }

private:
    double wall0_ = 0, slept0_ = 0;
};

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

struct EndingWords {
    const char* reason; // in the summary: "ended by ..."
    const char* log;    // in the frame log's last line
};

EndingWords wordsFor(DeterministicLoop::Ending ending)
{
    using E = DeterministicLoop::Ending;
    switch (ending) {
    case E::Order32: return {"the song's end (order 32)", "order32"};
    case E::Esc: return {"Esc", "esc"};
    case E::Time: return {"--seconds", "seconds"};
    case E::Frames: return {"--frames", "frames"};
    case E::SongEnded: return {"the song's end before order 32", "songend"};
    case E::SongLooped: return {"the song going back to an earlier order", "songloop"};
    case E::Stopped: break;
    }
    return {"an error", "error"};
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

    if (!checkCapturePaths(opts, error))
        return fail(error);
    setDataDirectory(opts.dataDir);
    if (!prepareOutputs(error))
        return fail(error);

    // With time-based outputs one more (unseen) frame tells how long the last one stays on screen.
    const bool timedOutputs = videoOn || wav.isOpen();
    DeterministicLoop::Settings settings;
    settings.sceneCostUs = opts.frameCostUs;
    settings.keys = opts.keys;
    if (opts.seconds > 0)
        settings.untilUs = std::llround(opts.seconds * 1e6);
    if (opts.lastFrame > 0)
        settings.lastFrame = opts.lastFrame + (timedOutputs && opts.lastFrame < LONG_MAX ? 1 : 0);
    // Without a limit, a song that never reaches order 32 would keep the capture going for ever.
    settings.stopWhenSongEndsEarly = opts.seconds <= 0 && opts.lastFrame <= 0;
    Capture capture(settings);
    capture.secondsUs = settings.untilUs;

    std::string eglError;
    // The pbuffer is the classic picture; other sizes draw into a frame target of their own.
    HeadlessContext* ctx = createHeadlessContext(kSceneWidth, kSceneHeight, eglError);
    if (!ctx)
        return fail("no usable EGL: " + eglError);
    if (!setUpPicture({opts.width, opts.height, opts.msaa}, error)) {
        destroyHeadlessContext(ctx);
        return fail(error);
    }
    capture.shown.assign(static_cast<size_t>(opts.width) * opts.height * 3, 0);
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string rendererName = renderer ? renderer : "unknown";

    capture.install();
    resizeGLScene(45, kSceneWidth, kSceneHeight); // as the window's creation does
    initGL();

    const bool endsByItself =
        song || opts.seconds > 0 || opts.lastFrame > 0 ||
        std::any_of(opts.keys.begin(), opts.keys.end(), [](const KeyPress& k) { return k.vk == kVkEscape; });
    if (!endsByItself) {
        destroyHeadlessContext(ctx);
        return fail("the module " + songFilePath() + " did not load, so the demo would never reach its "
                    "end; give --seconds to capture without music");
    }
    if (!song)
        std::fprintf(stderr, "rinta-capture: warning: no music (%s did not load)\n", songFilePath().c_str());

    if (settings.untilUs != kNever)
        capture.audioTo = settings.untilUs * kMixRate / 1000000;
    if (opts.firstFrame == 1) { // a capture from the start has the music from its first sample
        capture.audioFrom = 0;
        capture.videoFromUs = 0;
    }

    capture.progress = isatty(STDERR_FILENO) != 0;
    capture.startWall = DeterministicLoop::wallSeconds();
    const DeterministicLoop::Ending ending = capture.run();
    const long frame = capture.frame();
    const std::int64_t endUs = std::min(capture.clockUs(), capture.secondsUs);
    bool ok = capture.ok;
    error = capture.error;
    if (ok)
        ok = capture.emitVideoUntil(endUs);
    if (capture.progress) {
        capture.printProgress(true);
        std::fputc('\n', stderr);
    }
    if (!ok && error.empty())
        error = video.failure();
    if (ok && wav.isOpen())
        ok = wav.close(error);
    if (ok && videoOn)
        ok = video.finish(error);
    const EndingWords words = wordsFor(ending);
    logEnd(endUs, capture.endingOrder(), ok ? words.log : "error", capture.frameCutShort());
    if (ok)
        ok = closeFrameLog(error);
    const int samples = pictureSamples();
    tearDownPicture();
    destroyHeadlessContext(ctx);
    if (!ok)
        return fail(error);

    const double wall = DeterministicLoop::wallSeconds() - capture.startWall, demo = double(endUs) / 1e6;
    const long unsampled = frame - capture.fullFrames;
    if (opts.bench)
        printBenchReport(stdout, rendererName.c_str(), pictureWidth(), pictureHeight(), samples);
    std::fprintf(stderr,
                 "rinta-capture: %ld frames over %.3f s of demo time, ended by %s; %ld drawn in full (%.2f ms "
                 "each), %ld unsampled (%.2f ms each); %.1f s wall, %.2fx real time; wrote %ld PNG, %lld video "
                 "frames, %lld audio frames; %s\n",
                 frame, demo, words.reason, capture.fullFrames,
                 capture.fullFrames ? capture.fullWall * 1000 / capture.fullFrames : 0.0, unsampled,
                 unsampled ? capture.unsampledWall * 1000 / unsampled : 0.0, wall, wall > 0 ? demo / wall : 0.0,
                 capture.pngWritten, static_cast<long long>(capture.videoTicks),
                 static_cast<long long>(wav.frames()), rendererName.c_str());

    if (ending == DeterministicLoop::Ending::SongEnded || ending == DeterministicLoop::Ending::SongLooped) {
        std::fprintf(stderr,
                     "rinta-capture: stopped after frame %ld: the song %s before order %d, so the demo would run "
                     "until Esc; give --seconds or --frames to capture more\n",
                     frame,
                     ending == DeterministicLoop::Ending::SongEnded ? "ended" : "went back to an earlier order",
                     kEndOrder);
    } else if (capture.earlyEndOrder() >= 0) {
        std::fprintf(stderr, "rinta-capture: note: the song never reaches order %d; the demo runs on until Esc\n",
                     kEndOrder);
    }
    // Frames asked for that the demo never reached: the capture is short of what was wanted.
    if (opts.lastFrame > frame && ending == DeterministicLoop::Ending::Order32) {
        return fail("the demo ended at frame " + std::to_string(frame) + " (" + words.reason + "), before frame " +
                    std::to_string(opts.lastFrame) + " that --frames asks for");
    }
    return 0;
}
