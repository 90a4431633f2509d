// SPDX-License-Identifier: MIT
// shell/window.h — the demo window and its GL context, over SDL2.
#pragma once
#include <chrono>

extern bool fullscreen;            // fullscreen requested / in force
// When the fullscreen question was put and answered, for the start-up timing report.
extern std::chrono::system_clock::time_point questionShownAt, questionAnsweredAt;

bool askFullscreenAndCreate(int width, int height, int bits);
// As after the question, without asking it (the command line chose).
bool createWindowUnasked(int width, int height, int bits, bool fullscreenFlag);
bool createGLWindow(const char* title, int width, int height, int bits, bool fullscreenFlag);
void killGLWindow();
void presentFrame();

// Reads the window system (key presses reach the key state at once), then takes at most one
// pending event and handles it. Returns false when it was the quit
// request; exitCode then holds the code it carries.
bool pumpOneEvent(int& exitCode);

// The virtual-key code for an SDL keycode, 0 when the demo has none for it.
int virtualKeyFor(int sdlKeycode);
