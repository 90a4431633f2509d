// SPDX-License-Identifier: MIT
// glcompat/glcompat.h — what the web front end needs beyond GL itself: making the context,
// presenting a finished frame, and skipping the drawing of frames nobody will see.
#pragma once

// Makes a WebGL 2 context on the canvas named by selector ("#canvas") and the off-screen
// frame the GL calls draw into, width x height, multisampled with `samples` per pixel where
// WebGL offers them (0: single), reached through emscripten's bindings (see glcompat/webgl.h).
// False (with a console line) without WebGL 2.
bool glcompatInit(const char* selector, int width, int height, int samples = 0);

// A new size for the off-screen frame, same samples; its contents are gone, every GL state
// stays. The canvas's drawing buffer must have that size before the next present.
bool glcompatResize(int width, int height);
// The frame's size and its samples per pixel as made (0: single).
int glcompatFrameWidth();
int glcompatFrameHeight();
int glcompatFrameSamples();
// The largest side a frame may have here (renderbuffer, texture and viewport limits).
int glcompatLargestSide();

// The swap: copies the finished frame (resolved, when multisampled) to the canvas, pixel for
// pixel. Until then nothing drawn reaches the page, even when a sleep yields to the browser in
// the middle of a frame.
void glcompatPresent();

// Off: every call keeps its state but nothing is drawn or cleared, for frames that only
// lead up to the one to be shown (deterministic mode). On by default.
void glcompatSetDrawing(bool on);

// The WebGL context is lost: from now on nothing reaches WebGL (nothing is drawn, nothing
// fails) while every GL call keeps its state, texture pictures included.
void glcompatContextLost();
// It is back, empty: the drawing program, the frame and every texture are made again from
// what glcompat kept, so the scenes and the engine never know. False when they cannot be.
bool glcompatContextRestored();

// Draw calls issued to WebGL since start, for the benchmark line.
unsigned long glcompatDrawCalls();
