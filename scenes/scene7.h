// SPDX-License-Identifier: MIT
// scenes/scene7.h — scene 7's state, carried from frame to frame: the cube runs' turn. Defined in
// scene7.cpp; its tests read and set it.
#pragma once

extern float s7SpinX;  // degrees, before every cube
extern float s7SpinY;  // degrees
extern float s7SpinZ;  // degrees
