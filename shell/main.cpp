// SPDX-License-Identifier: MIT
// shell/main.cpp — the entry: the fullscreen question, the window, the main loop and the
// releases. Each loop iteration takes at most one event, then always renders and presents.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

#include "engine/frontend.h"
#include "shell/audio_output.h"
#include "shell/options.h"
#include "shell/window.h"

namespace {

long long epochMicros(std::chrono::system_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

long peakResidentKb()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    long kb = -1;
    char line[256];
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::atol(line + 6);
    if (f)
        std::fclose(f);
    return kb;
}

// With RINTA_STARTUP_TIMING set, one line on stderr after the first frame: the moments (in
// microseconds of the epoch) of main, the question, its answer and the first presented frame,
// and the peak resident memory then. The start-up benchmark reads it.
void reportStartup(std::chrono::system_clock::time_point mainAt)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage); // all threads, llvmpipe's among them
    const long cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000L +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000L;
    std::fprintf(stderr,
                 "rinta-startup main=%lld asked=%lld answered=%lld first-frame=%lld peak-rss-kb=%ld cpu-ms=%ld\n",
                 epochMicros(mainAt), epochMicros(questionShownAt), epochMicros(questionAnsweredAt),
                 epochMicros(std::chrono::system_clock::now()), peakResidentKb(), cpuMs);
}

} // namespace

int main(int argc, char** argv)
{
    const auto mainAt = std::chrono::system_clock::now();
    bool reportTiming = std::getenv("RINTA_STARTUP_TIMING") != nullptr;
    // SIGTERM, SIGINT and SIGHUP end the program at any moment, question up or playing, and the
    // question box's process ends with it; SDL's own handlers would only queue a quit event,
    // which nothing reads while the question is up.
    catchEndSignals();
    childrenDieWithProcess();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    setMusicDevice(&sdlAudioOutput()); // before the window's start-up starts the music
    // The command line (shell/options.cpp): --help, --version and bad arguments end here, before
    // anything opens (packaging checks ask for the version without a display); with no
    // arguments the question is asked as it always was.
    if (const int code = startFromCommandLine(argc, argv); code >= 0)
        return code;
    setTimelineShutdown(killGLWindow); // the order-32 ending releases the window too

    bool running = true;
    int exitCode = 0;
    endSignalsStopLoop(true);
    while (running) {
        if (endSignalReceived())
            running = false;
        if (!pumpOneEvent(exitCode))
            running = false;
        // Down now, or pressed since the last look: a quick tap is not lost to its key-up.
        if (asyncKeyState(kVkEscape))
            running = false;
        handleSceneKeys();
        presentFrame();
        if (reportTiming) {
            reportStartup(mainAt);
            reportTiming = false;
        }
    }

    FMUSIC_FreeSong(song);
    FSOUND_Close();
    killGLWindow();
    SDL_Quit();
    // Esc and close are normal ends: the code is 0, not the last key's number. A signal's end
    // says which, as a shell reports a process it ended.
    if (const int signal = endSignalReceived())
        return 128 + signal;
    return exitCode;
}
