// SPDX-License-Identifier: MIT
// scenes/scene8.h — scene 8's state, carried from frame to frame: the closing titles' motion.
// Defined in scene8.cpp; its tests read and set it.
#pragma once

extern float s8Phase;       // phase units; +0.5 a frame, +0.005 per square: about 1.5 a frame
extern float s8Spin;        // degrees, the ring's turn
extern float s8MidStripX;   // x of the mid strip; moves every frame, whatever the order
extern float s8ColumnY;     // y of the upright strip; moves past order 3
extern float s8HighStripX;  // x of the high strip; moves past order 4
