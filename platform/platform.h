// SPDX-License-Identifier: MIT
// platform/platform.h — the thin layer between the demo and the operating system: the
// sleep that paces frames, the end of the process, the asynchronous key state and the
// modal messages. Each goes through a replaceable function so that the capture tool and
// the tests can stand in (a virtual clock, an exit that unwinds, scripted answers).
#pragma once

// Sleeps for ms milliseconds, or advances whatever clock stands in for real time.
void Sleep(unsigned ms);
using SleepFn = void (*)(unsigned ms);
void setSleepHook(SleepFn fn); // nullptr restores the real sleep

// Ends the process with the normal exit handlers. A hook may unwind instead (throw);
// if it returns, the process exits anyway.
[[noreturn]] void endProcess(int code);
using EndProcessFn = void (*)(int code);
void setEndProcessHook(EndProcessFn fn);

// Virtual-key codes the demo reads (Windows numbering, which the key table keeps).
enum : int {
    kVkLeft = 0x25,
    kVkRight = 0x27,
    kVkEscape = 0x1B,
    kVk1 = 0x31, // '1' to '8' are 0x31 to 0x38; letters are their upper-case codes
};

// Key state fed by the event source: "down now, or pressed since the last query".
void keyEvent(int vk, bool down);
bool asyncKeyState(int vk); // clears the pressed-since latch of vk
void resetKeyState();

// Modal messages. The shell installs real boxes; without them the text goes to stderr and
// questions take their default answer.
enum class MessageIcon { Information, Exclamation, Stop, Question };
void showMessage(const char* text, const char* caption, MessageIcon icon);
bool askYesNo(const char* text, const char* caption, MessageIcon icon, bool defaultAnswer);
using ShowMessageFn = void (*)(const char* text, const char* caption, MessageIcon icon);
using AskYesNoFn = bool (*)(const char* text, const char* caption, MessageIcon icon, bool defaultAnswer);
void setMessageHooks(ShowMessageFn show, AskYesNoFn ask);

// The signals that end the program: SIGTERM, SIGINT and SIGHUP, each unless the program was
// started with it ignored (nohup, a background job). Until endSignalsStopLoop(true), a signal
// ends the process at once with 128 + its number: nothing is shown or playing yet that needs
// putting back, and nothing is left on disk. After it, the first signal is only recorded, for
// the loop to end as after Esc; a second ends at once.
void catchEndSignals();
void endSignalsStopLoop(bool loopRunning);
int endSignalReceived(); // the first end signal's number, 0 if none
// Every process forked from now on is killed when this one ends however it ends (the
// message boxes' helper processes would otherwise stay on screen with no one to answer).
// Strictly, when the thread that forked it ends: fork only from threads that outlive the child.
void childrenDieWithProcess();

// GL entry points beyond 1.1 are looked up through whoever made the context (SDL or EGL).
using GlProcLoader = void* (*)(const char* name);
void setGlProcLoader(GlProcLoader loader);
void* glProc(const char* name); // nullptr when no loader is set or the name is unknown

// Whether name is a whole entry of a space-separated extension list, as GL and EGL report
// them ("GL_ARB_fragment_program" is not found in "GL_ARB_fragment_program_shadow"). A null
// list or an empty name finds nothing.
bool hasExtension(const char* list, const char* name);
