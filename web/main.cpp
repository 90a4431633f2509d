// SPDX-License-Identifier: MIT
// web/main.cpp — the browser front end: the shell's main loop for a page. The page (page.js)
// asks the question, fetches the data into the file system and starts main with the answer.
// Live: real sleeps that yield to the browser (asyncify), music through Web Audio, keys from
// the page, the frame reaching the canvas only at the swap. Deterministic (--frame N): the
// capture tool's virtual clock (each scene 1 ms, each sleep its length, the music rendered
// offline up to the clock), frames before N run without drawing, frame N is shown, then stop.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/gl.h"
#include "engine/music.h"
#include "engine/projection.h"
#include "engine/startup.h"
#include "engine/timeline.h"
#include "glcompat/glcompat.h"
#include "platform/platform.h"
#include "web/music.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kMixRate = 44100; // the rate initGL gives FSOUND_Init
constexpr long long kSceneCostUs = 1000;

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

struct KeyPress {
    long frame;
    int vk;
};

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

// ---- the clock -------------------------------------------------------------------------------

bool deterministic = false;
long long clockUs = 0;
long long samplesPulled = 0;
bool songGone = false;
bool sleptThisFrame = false;

void pullMusic()
{
    static float buf[2 * 4096];
    const long long target = clockUs * kMixRate / 1000000;
    while (!songGone && song && samplesPulled < target) {
        const long long n = std::min<long long>(target - samplesPulled, 4096);
        renderMusic(song, buf, static_cast<size_t>(n));
        samplesPulled += n;
    }
}

void virtualSleep(unsigned ms)
{
    clockUs += static_cast<long long>(ms) * 1000;
    pullMusic();
}

void pageSleep(unsigned ms)
{
    sleptThisFrame = true;
    emscripten_sleep(ms); // asyncify: the browser runs (audio, keys, painting) meanwhile
}

// ---- scene calls: the render cost on the virtual clock, and per-scene timings --------------

SceneFunction realScenes[8];
std::vector<double> sceneMs[8]; // per call, sleeps excluded, the GPU's work included
bool benching = false;
int sceneDepth = 0;
double sleepMsInScene = 0;

template <int N>
bool runScene()
{
    ++sceneDepth;
    const double slept0 = sleepMsInScene;
    const double t0 = benching && sceneDepth == 1 ? emscripten_get_now() : 0;
    const bool r = realScenes[N]();
    if (benching && sceneDepth == 1) {
        glFinish();
        sceneMs[N].push_back(emscripten_get_now() - t0 - (sleepMsInScene - slept0));
    }
    --sceneDepth;
    if (deterministic) {
        clockUs += kSceneCostUs;
        pullMusic();
    }
    return r;
}

void wrapScenes()
{
    static const SceneFunction wrappers[8] = {runScene<0>, runScene<1>, runScene<2>, runScene<3>,
                                              runScene<4>, runScene<5>, runScene<6>, runScene<7>};
    for (int i = 0; i < 8; ++i) {
        realScenes[i] = SceneFunctions[i];
        SceneFunctions[i] = wrappers[i];
    }
}

void benchSleep(unsigned ms)
{
    const double t0 = emscripten_get_now();
    virtualSleep(ms);
    sleepMsInScene += emscripten_get_now() - t0;
}

// ---- ending --------------------------------------------------------------------------------

const char* endReason = "";
long currentFrame = 0;
void printBench(long frames);

void songReleased() { songGone = true; } // the timeline freed the song and closed the sound

// The order-32 ending from inside a frame: that frame is never presented, the last one stays.
[[noreturn]] void endFromFrame(int code)
{
    if (benching)
        printBench(currentFrame - 1);
    pageEnded(endReason[0] ? endReason : "the song's end");
    emscripten_force_exit(code);
    std::abort(); // not reached
}

void pageShowMessage(const char* text, const char* caption, MessageIcon) { pageMessage(text, caption); }
bool pageAsk(const char* text, const char* caption, MessageIcon, bool defaultAnswer)
{
    pageMessage(text, caption); // the page asks its questions before main; anything later is told
    return defaultAnswer;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = static_cast<size_t>(p / 100.0 * double(v.size()) + 0.999999); // nearest rank
    return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

void printBench(long frames)
{
    std::string report = "scene calls   median      p95 (ms a call, sleeps excluded, glFinish after each)\n";
    for (int i = 0; i < 8; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "%5d %5zu %8.2f %8.2f\n", i + 1, sceneMs[i].size(),
                      percentile(sceneMs[i], 50), percentile(sceneMs[i], 95));
        report += line;
    }
    char tail[96];
    std::snprintf(tail, sizeof tail, "%ld frames, %lu WebGL draw calls\n", frames, glcompatDrawCalls());
    report += tail;
    std::fputs(report.c_str(), stdout);
    pageBench(report.c_str());
}

} // namespace

namespace {
bool prepared = false; // rintaPrepare ran: context, textures, render state and song are ready
bool glReady = false;
}

// Called by the page while its question is up, once the code and the data are in: the GL
// context, the textures and render state, the song read, so that the answer only has to
// start the music. Nothing is drawn or heard. Returns whether there is a GL context.
extern "C" EMSCRIPTEN_KEEPALIVE int rintaPrepare()
{
    if (prepared)
        return glReady;
    prepared = true;
    setMessageHooks(pageShowMessage, pageAsk);
    glReady = glcompatInit("#canvas", kWidth, kHeight);
    if (!glReady)
        return 0;
    resizeGLScene(45, kWidth, kHeight); // as the window's creation does
    prepareStartupData();
    prepareGL();
    return 1;
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
    std::vector<KeyPress> keys;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frame" && i + 1 < argc) {
            targetFrame = std::atol(argv[++i]);
        } else if (a == "--bench") {
            benching = true;
        } else if (a == "--key" && i + 1 < argc) {
            KeyPress k{};
            if (parseKey(argv[++i], k))
                keys.push_back(k);
            else
                std::fprintf(stderr, "rinta: key '%s' is not FRAME:KEY (KEY 1-8, left, right, esc)\n", argv[i]);
        }
    }
    deterministic = targetFrame > 0 || benching;
    setMessageHooks(pageShowMessage, pageAsk);
    if (!prepared)
        glReady = glcompatInit("#canvas", kWidth, kHeight);
    if (!glReady) {
        showMessage("Can't Create A GL Rendering Context.", "ERROR", MessageIcon::Exclamation);
        return 0;
    }
    wrapScenes();
    setTimelineShutdown(songReleased);
    setEndProcessHook(endFromFrame);
    if (deterministic) {
        setSleepHook(benching ? benchSleep : virtualSleep);
        setMusicOutput(MusicOutput::Offline);
        glcompatSetDrawing(benching);
    } else {
        setSleepHook(pageSleep);
        setMusicDevice(&webAudioOutput());
        setMusicOutput(MusicOutput::Device);
    }
    if (!prepared)
        resizeGLScene(45, kWidth, kHeight); // as the window's creation does
    initGL(); // after rintaPrepare, this only starts the music

    if (deterministic) {
        // The capture tool's loop: keys of a frame go down before it and up after it is shown.
        long frame = 0;
        while (benching && targetFrame == 0 ? !songGone : frame < targetFrame) {
            currentFrame = ++frame;
            bool esc = false;
            for (const KeyPress& k : keys)
                if (k.frame == frame) {
                    keyEvent(k.vk, true);
                    esc = esc || k.vk == kVkEscape;
                }
            const bool shown = benching || frame == targetFrame || esc;
            glcompatSetDrawing(shown);
            const long long before = clockUs;
            endReason = "the song's end (order 32)";
            handleSceneKeys();
            if (clockUs == before) { // nothing ran or slept: presenting still takes time
                clockUs += kSceneCostUs;
                pullMusic();
            }
            if (shown)
                glcompatPresent();
            for (const KeyPress& k : keys)
                if (k.frame == frame)
                    keyEvent(k.vk, false);
            if (esc)
                break;
        }
        if (benching)
            printBench(frame);
        FMUSIC_FreeSong(song);
        FSOUND_Close();
        song = nullptr;
        pageFramePresented(static_cast<int>(frame), -1, -1);
        pageEnded(frame < targetFrame ? "Esc" : "the frame asked for");
        return 0;
    }

    // The shell's loop: Esc ends it after one more frame; every frame is presented.
    long& frame = currentFrame;
    bool running = true;
    while (running) {
        if (escPressed)
            running = false;
        escPressed = false;
        sleptThisFrame = false;
        handleSceneKeys();
        glcompatPresent();
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
