// SPDX-License-Identifier: MIT
// scenes/scene5.h — scene 5's state, carried from frame to frame: the greetings' fade and trail.
// Defined in scene5.cpp; its tests read and set it.
#pragma once

extern float s5Fade;        // alpha of the picture, +0.05 a frame, never clamped here
extern float s5OrbitPhase;  // phase units, +0.005 a square, so +1 a frame
extern float s5TrailDepth;  // eye-space units along z of the current square, 0 to 9.95
