// SPDX-License-Identifier: MIT
// platform/platform.cpp — default implementations of the platform layer, each replaceable.
#include "platform/platform.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

void realSleep(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void stderrMessage(const char* text, const char* caption, MessageIcon)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

bool stderrQuestion(const char* text, const char* caption, MessageIcon icon, bool defaultAnswer)
{
    stderrMessage(text, caption, icon);
    return defaultAnswer;
}

SleepFn sleepHook = realSleep;
GlProcLoader procLoader = nullptr;
EndProcessFn endHook = nullptr;
ShowMessageFn showHook = stderrMessage;
AskYesNoFn askHook = stderrQuestion;

// Written by the event source and read by the frame, both on the main thread in the
// program; atomics keep the capture tool and tests honest if they feed keys elsewhere.
std::array<std::atomic<bool>, 256> keyDown{};
std::array<std::atomic<bool>, 256> keyPressedSinceQuery{};

// Signals: written by the handler, which may run on any thread; only async-signal-safe
// calls there.
std::atomic<int> endSignal{0};
std::atomic<bool> loopStopsOnSignal{false};
pid_t processId = 0;

void onEndSignal(int signal)
{
    int none = 0;
    const bool first = endSignal.compare_exchange_strong(none, signal);
    if (first && loopStopsOnSignal)
        return; // the loop ends within a frame and shuts down as after Esc
    _exit(128 + signal);
}

void dieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != processId) // the parent ended before the line above
        _exit(1);
}

} // namespace

void catchEndSignals()
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

void endSignalsStopLoop(bool loopRunning) { loopStopsOnSignal = loopRunning; }
int endSignalReceived() { return endSignal; }

void childrenDieWithProcess()
{
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;
    processId = getpid();
    pthread_atfork(nullptr, nullptr, dieWithParent);
}

void Sleep(unsigned ms) { sleepHook(ms); }
void setSleepHook(SleepFn fn) { sleepHook = fn ? fn : realSleep; }

void endProcess(int code)
{
    if (endHook)
        endHook(code);
    std::exit(code);
}
void setEndProcessHook(EndProcessFn fn) { endHook = fn; }

void keyEvent(int vk, bool down)
{
    if (vk < 0 || vk > 255)
        return;
    keyDown[vk] = down;
    if (down)
        keyPressedSinceQuery[vk] = true;
}

bool asyncKeyState(int vk)
{
    if (vk < 0 || vk > 255)
        return false;
    const bool pressed = keyPressedSinceQuery[vk].exchange(false);
    return keyDown[vk] || pressed;
}

void resetKeyState()
{
    for (int vk = 0; vk < 256; ++vk) {
        keyDown[vk] = false;
        keyPressedSinceQuery[vk] = false;
    }
}

void showMessage(const char* text, const char* caption, MessageIcon icon) { showHook(text, caption, icon); }
bool askYesNo(const char* text, const char* caption, MessageIcon icon, bool defaultAnswer)
{
    return askHook(text, caption, icon, defaultAnswer);
}
void setMessageHooks(ShowMessageFn show, AskYesNoFn ask)
{
    showHook = show ? show : stderrMessage;
    askHook = ask ? ask : stderrQuestion;
}

void setGlProcLoader(GlProcLoader loader) { procLoader = loader; }
void* glProc(const char* name) { return procLoader ? procLoader(name) : nullptr; }

bool hasExtension(const char* list, const char* name)
{
    if (!list || !name || !*name) // an empty name would match everywhere without advancing
        return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)); p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}
