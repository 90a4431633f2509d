// SPDX-License-Identifier: MIT
// engine/present.h — the off-screen target the scenes draw into, and its presentation scaled
// to any window: aspect kept, centred, black bars, one blit a frame. The target is 640 x 480
// (classic) or the window's own 4:3 size (native), optionally multisampled; the scenes' 640 x
// 480 viewport and their line widths are scaled onto it, so they make the same calls at any size.
#pragma once
#include <string>

#include "engine/render_settings.h"

struct PresentRect {
    int x, y, width, height; // where the target lands in the window, from the lower left
};

// The largest centred rectangle of the target's aspect that fits the window.
PresentRect fitTarget(int targetWidth, int targetHeight, int windowWidth, int windowHeight);
// The largest 4:3 target for a window of this size that the current GL can make (its largest
// renderbuffer, texture and viewport), however large the window.
PresentRect largestTarget(int windowWidth, int windowHeight);

// Creates the off-screen target (colour and depth, `samples` per pixel, 0 = single) and binds it
// for drawing; scales the scenes' viewport and line width to it. Samples beyond what the driver
// offers are reduced to its maximum. False when the context has no framebuffer objects; the
// scenes then draw to the window as they are.
bool createFrameTarget(int width, int height, int samples = 0);
void destroyFrameTarget();
bool frameTargetActive();
int frameTargetWidth();
int frameTargetHeight();
int frameTargetSamples();

// Copies the target into the window's back buffer, scaled to fit, bars black, and binds the
// target again for the next frame. The scenes' GL state (clear colour, viewport) is kept. A
// target that follows the window is rebuilt first when the window's 4:3 size has changed.
void presentFrameTarget(int windowWidth, int windowHeight);
// A target that follows the window (native) is rebuilt for the window's 4:3 size if that has
// changed; the scenes' viewport keeps its share. Nothing happens otherwise.
void fitFrameTargetToWindow(int windowWidth, int windowHeight);

// Reads the finished frame (multisampling resolved) as 8-bit RGB, bottom row first, into rgb
// (width x height x 3 bytes), and binds the target again.
void readFrameTarget(unsigned char* rgb);

// How the program's window renders, from its command line.
void setRenderSettings(const RenderSettings& settings);

// Builds the window's target by the settings, for a drawable of the given size, on the
// current context; also turns on anisotropic filtering for the textures made after it (not
// in classic mode). Says once on stderr when a software renderer makes the default classic.
bool createWindowFrameTarget(int drawableWidth, int drawableHeight);

// Anisotropic filtering (up to 16) for the textures made from now on, where the driver offers
// it; on the current context. Classic mode goes without, as the demo always had it.
void useAnisotropicFiltering();
