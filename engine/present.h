// SPDX-License-Identifier: MIT
// engine/present.h — the 640 x 480 target the scenes draw into, and its presentation scaled
// to any window: aspect kept, centred, black bars, linear filtering, one blit a frame.
#pragma once

struct PresentRect {
    int x, y, width, height; // where the target lands in the window, from the lower left
};

// The largest centred rectangle of the target's aspect that fits the window.
PresentRect fitTarget(int targetWidth, int targetHeight, int windowWidth, int windowHeight);

// Creates the off-screen target (colour and depth) and binds it for drawing. False when the
// context has no framebuffer objects; the scenes then draw to the window as they are.
bool createFrameTarget(int width, int height);
void destroyFrameTarget();
bool frameTargetActive();

// Copies the target into the window's back buffer, scaled to fit, bars black, and binds the
// target again for the next frame. The scenes' GL state (clear colour, viewport) is kept.
void presentFrameTarget(int windowWidth, int windowHeight);
