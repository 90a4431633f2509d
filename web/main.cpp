// SPDX-License-Identifier: MIT
// web/main.cpp — the browser front end: the shell's main loop for a page. The page (page.js)
// asks the question, fetches the data into the file system and starts main with the answer.
// Live: real sleeps that yield to the browser (asyncify), music through Web Audio, keys from
// the page, the frame reaching the canvas only at the swap. Deterministic (--frame N): the
// engine's deterministic loop, as rinta-capture runs it (engine/deterministic.h): frames before
// N run without drawing, frame N is shown, then stop.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/deterministic.h"
#include "engine/frontend.h"
#include "engine/gl.h"
#include "engine/percentile.h"
#include "engine/projection.h"
#include "glcompat/glcompat.h"
#include "web/music.h"
#include "web/render.h"

namespace {

// clang-format off
EM_JS(void, pageFramePresented, (int frame, int order, int row),
      { if (Module.rintaPage) Module.rintaPage.framePresented(frame, order, row); });
EM_JS(void, pageEnded, (const char* why), { if (Module.rintaPage) Module.rintaPage.ended(UTF8ToString(why)); });
EM_JS(void, pageMessage, (const char* text, const char* caption),
      { if (Module.rintaPage) Module.rintaPage.message(UTF8ToString(text), UTF8ToString(caption)); });
EM_JS(void, pageBench, (const char* report), { if (Module.rintaPage) Module.rintaPage.bench(UTF8ToString(report)); });
// clang-format on

// ---- keys from the page ---------------------------------------------------------------------

bool escPressed = false; // the shell's "keys[VK_ESCAPE]", latched so a tap between frames counts

bool parseKey(const std::string& text, KeyPress& press)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    press.frame = std::atol(text.substr(0, colon).c_str());
    const std::string key = text.substr(colon + 1);
    if (key.size() == 1 && key[0] >= '1' && key[0] <= '8')
        press.vk = kVk1 + (key[0] - '1');
    else if (key == "left")
        press.vk = kVkLeft;
    else if (key == "right")
        press.vk = kVkRight;
    else if (key == "esc")
        press.vk = kVkEscape;
    else
        return false;
    return press.frame >= 1;
}

// ---- live ------------------------------------------------------------------------------------

bool sleptThisFrame = false;

// clang-format off
// A fence after each live frame, so that a frame is begun only once the one before last is
// drawn. The loop is paced by its sleeps, not by the browser's frames, and Chromium takes GL
// calls far faster than its software GL draws them: unpaced, the picture fell 1-3 s behind the
// music there, and the browser's own work (a screenshot) waited behind it for seconds.
EM_JS(void, pageFenceFrame, (), {
    const gl = GLctx;
    if (!gl || gl.isContextLost()) return;
    (Module.rintaFences || (Module.rintaFences = [])).push(gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0));
    gl.flush();
});
// The live frames the GL has not finished drawing. A fence from before a lost context reads as
// no status at all: drawn, as far as waiting for it goes.
EM_JS(int, pageFramesDrawing, (), {
    const gl = GLctx, q = Module.rintaFences || [];
    const lost = !gl || gl.isContextLost();
    while (q.length) {
        const status = lost ? null : gl.getSyncParameter(q[0], gl.SYNC_STATUS);
        if (!lost && status === gl.UNSIGNALED) break;
        const fence = q.shift();
        if (!lost && status === gl.SIGNALED) gl.deleteSync(fence);
    }
    return q.length;
});
// clang-format on

void pageSleep(unsigned ms)
{
    sleptThisFrame = true;
    emscripten_sleep(ms); // asyncify: the browser runs (audio, keys, painting) meanwhile
}

// The order-32 ending from inside a live frame: the last frame stays on the canvas.
[[noreturn]] void endLive(int code)
{
    pageEnded("the song's end");
    emscripten_force_exit(code);
    std::abort(); // not reached
}

// ---- exact (--frame N, --bench): the engine's deterministic loop ----------------------------

class ExactRun final : public DeterministicLoop {
public:
    ExactRun(Settings settings, long targetFrame, bool bench)
        : DeterministicLoop(std::move(settings)), targetFrame_(targetFrame), bench_(bench)
    {
    }

    void printBench(long frames)
    {
        std::string report = "scene calls   median      p95   submit   finish (ms a call, sleeps excluded; "
                             "submit: until the calls return, finish: the glFinish after them)\n";
        for (int i = 0; i < 8; ++i) {
            char line[128];
            std::snprintf(line, sizeof line, "%5d %5zu %8.2f %8.2f %8.2f %8.2f\n", i + 1, sceneMs_[i].size(),
                          percentile(sceneMs_[i], 50), percentile(sceneMs_[i], 95), percentile(submitMs_[i], 50),
                          percentile(finishMs_[i], 50));
            report += line;
        }
        // What every finish above costs with nothing to wait for: the round trip to the GL, which
        // in a browser may be another process.
        std::vector<double> idle;
        for (int i = 0; i < 30; ++i) {
            const double t0 = emscripten_get_now();
            glFinish();
            idle.push_back(emscripten_get_now() - t0);
        }
        char tail[160];
        std::snprintf(tail, sizeof tail, "%ld frames, %lu WebGL draw calls; a glFinish with nothing to draw: %.2f ms\n",
                      frames, glcompatDrawCalls(), percentile(idle, 50));
        report += tail;
        std::fputs(report.c_str(), stdout);
        pageBench(report.c_str());
    }

protected:
    bool frameSeen(long frame) override
    {
        const bool esc = std::any_of(keys().begin(), keys().end(),
                                     [frame](const KeyPress& k) { return k.frame == frame && k.vk == kVkEscape; });
        return bench_ || frame == targetFrame_ || esc;
    }

    bool callScene(int index, int depth, SceneFunction draw) override
    {
        if (!bench_ || depth > 0)
            return draw();
        const double slept0 = sleepWallSeconds();
        const double t0 = emscripten_get_now();
        const bool r = draw();
        const double t1 = emscripten_get_now();
        glFinish();
        const double t2 = emscripten_get_now();
        const double submit = t1 - t0 - (sleepWallSeconds() - slept0) * 1000.0;
        submitMs_[index].push_back(submit);
        finishMs_[index].push_back(t2 - t1);
        sceneMs_[index].push_back(submit + t2 - t1);
        return r;
    }

    bool framePresented(long frame, bool seen) override
    {
        // A bench shows only its last frame, as rinta-capture's shows none: the browser's
        // compositing of every frame would run beside the next frame's scenes on the same
        // cores, and its cost is not theirs.
        if (seen && (!bench_ || frame == targetFrame_))
            pagePresent();
        return true;
    }

    // The order-32 ending: that frame is never presented, the last one stays.
    void endedInsideFrame() override
    {
        if (bench_)
            printBench(frame() - 1);
        pageFramePresented(static_cast<int>(frame() - 1), -1, -1); // the page offers that one instead
        pageEnded("the song's end (order 32)");
        emscripten_force_exit(0);
        std::abort(); // not reached
    }

private:
    long targetFrame_;
    bool bench_;
    std::vector<double> sceneMs_[8]; // per call, sleeps excluded, the GPU's work included
    std::vector<double> submitMs_[8], finishMs_[8];
};

void pageShowMessage(const char* text, const char* caption, MessageIcon) { pageMessage(text, caption); }
bool pageAsk(const char* text, const char* caption, MessageIcon, bool defaultAnswer)
{
    pageMessage(text, caption); // the page asks its questions before main; anything later is told
    return defaultAnswer;
}

} // namespace

// The page's render-layer switch: glcompat keeps every state change and draws nothing.
void setFrameSeen(bool seen) { glcompatSetDrawing(seen); }

namespace {
bool prepared = false; // the preparation is over: context, textures, render state and song are ready
bool glTried = false;  // the GL context was asked for (glReady says whether there is one)
bool glReady = false;
}

// Called by the page while its question is up, once the code and the data are in: the GL
// context, the song read, each picture decoded and uploaded, the render state, so that the
// answer only has to start the music. Nothing is drawn or heard. One short step a call, so
// that the page stays live between them: step 0 first, then each step it returns, until 0.
extern "C" EMSCRIPTEN_KEEPALIVE int rintaPrepareStep(int step)
{
    if (prepared)
        return 0;
    if (step == 0) {
        setMessageHooks(pageShowMessage, pageAsk);
        glTried = true;
        glReady = pageRenderStart();
        if (!glReady) {
            prepared = true; // main says so
            return 0;
        }
        resizeGLScene(45, kSceneWidth, kSceneHeight); // as the window's creation does
        return 1;
    }
    const int next = prepareStep(step - 1);
    prepared = next == 0;
    return prepared ? 0 : next + 1;
}

// Called by the page for every key going down or up (virtual-key codes, as the shell's table).
extern "C" EMSCRIPTEN_KEEPALIVE void rintaKeyEvent(int vk, int down)
{
    keyEvent(vk, down != 0);
    if (vk == kVkEscape && down)
        escPressed = true;
}

int main(int argc, char** argv)
{
    long targetFrame = 0;
    bool bench = false;
    std::vector<KeyPress> keys;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frame" && i + 1 < argc) {
            targetFrame = std::atol(argv[++i]);
        } else if (a == "--bench") {
            bench = true;
        } else if (a == "--key" && i + 1 < argc) {
            KeyPress k{};
            if (parseKey(argv[++i], k))
                keys.push_back(k);
            else
                std::fprintf(stderr, "rinta: key '%s' is not FRAME:KEY (KEY 1-8, left, right, esc)\n", argv[i]);
        }
    }
    const bool deterministic = targetFrame > 0 || bench;
    setMessageHooks(pageShowMessage, pageAsk);
    if (!glTried)
        glReady = pageRenderStart();
    if (!glReady) {
        showMessage("Can't Create A GL Rendering Context.", "ERROR", MessageIcon::Exclamation);
        return 0;
    }

    if (deterministic) {
        // The capture tool's loop: keys of a frame go down before it and up after it is shown.
        DeterministicLoop::Settings settings;
        settings.keys = keys;
        settings.lastFrame = targetFrame > 0 ? targetFrame : -1;
        settings.stopWhenSongEndsEarly = targetFrame == 0; // a benchmark of a song that never ends
        ExactRun run(settings, targetFrame, bench);
        run.install();
        glcompatSetDrawing(bench);
        if (!prepared)
            resizeGLScene(45, kSceneWidth, kSceneHeight); // as the window's creation does
        initGL(); // after rintaPrepare, this only starts the music
        const DeterministicLoop::Ending ending = run.run();
        if (bench)
            run.printBench(run.frame());
        pageFramePresented(static_cast<int>(run.frame()), -1, -1);
        using E = DeterministicLoop::Ending;
        pageEnded(ending == E::SongEnded    ? "the song's end before order 32"
                  : ending == E::SongLooped ? "the song going back to an earlier order"
                  : run.frame() < targetFrame ? "Esc"
                                              : "the frame asked for");
        return 0;
    }

    setEndProcessHook(endLive);
    setSleepHook(pageSleep);
    setMusicDevice(&webAudioOutput());
    setMusicOutput(MusicOutput::Device);
    if (!prepared)
        resizeGLScene(45, kSceneWidth, kSceneHeight); // as the window's creation does
    initGL(); // after rintaPrepare, this only starts the music

    // The shell's loop: Esc ends it after one more frame; every frame is presented.
    long frame = 0;
    bool running = true;
    while (running) {
        if (escPressed)
            running = false;
        escPressed = false;
        sleptThisFrame = false;
        // One frame drawing while this one is made; a fence that never reads signalled (a
        // browser's fault) slows the demo to two frames a second, not to a stop.
        const double waitUntil = emscripten_get_now() + 500;
        while (pageFramesDrawing() > 1 && emscripten_get_now() < waitUntil)
            pageSleep(1);
        handleSceneKeys();
        pagePresent();
        pageFenceFrame();
        pageFramePresented(static_cast<int>(++frame), FMUSIC_GetOrder(song), FMUSIC_GetRow(song));
        if (!sleptThisFrame)
            emscripten_sleep(0); // a frame without a sleep still lets the page breathe
    }
    FMUSIC_FreeSong(song);
    FSOUND_Close();
    song = nullptr;
    pageEnded("Esc");
    return 0;
}
