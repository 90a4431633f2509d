// SPDX-License-Identifier: MIT
// scenes/scene2.h — scene 2's state, carried from frame to frame: the tumbling planes' turn.
// Defined in scene2.cpp; its tests read and set it.
#pragma once

extern float s2SpinX;  // degrees; steps of 0.5 are exact, so 720 frames give exactly 360
extern float s2SpinY;  // degrees
extern float s2SpinZ;  // degrees
