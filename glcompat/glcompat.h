// SPDX-License-Identifier: MIT
// glcompat/glcompat.h — what the web front end needs beyond GL itself: making the context,
// presenting a finished frame, and skipping the drawing of frames nobody will see.
#pragma once

// Makes a WebGL 2 context on the canvas named by selector ("#canvas") and the off-screen
// frame the GL calls draw into, width x height, reached through emscripten's bindings (see
// glcompat/webgl.h). False (with a console line) without WebGL 2.
bool glcompatInit(const char* selector, int width, int height);

// The swap: copies the finished frame to the canvas. Until then nothing drawn reaches the
// page, even when a sleep yields to the browser in the middle of a frame.
void glcompatPresent();

// Off: every call keeps its state but nothing is drawn or cleared, for frames that only
// lead up to the one to be shown (deterministic mode). On by default.
void glcompatSetDrawing(bool on);

// Draw calls issued to WebGL since start, for the benchmark line.
unsigned long glcompatDrawCalls();
