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

} // namespace

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
