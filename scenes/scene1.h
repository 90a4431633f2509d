// SPDX-License-Identifier: MIT
// scenes/scene1.h — scene 1's state, carried from frame to frame: the opening titles' motion.
// Defined in scene1.cpp; its tests read and set it.
#pragma once

extern float s1Phase;         // phase units; drives the depth of the floor and ring
extern float s1Spin;          // degrees; the turn of the floor and ring
extern float s1PictureAlpha;  // alpha of the title picture; fades to just under 0.4
extern float s1LowStripX;     // eye units; the low strip starts beyond the right edge
extern float s1ColumnY;       // eye units; the upright strip starts below the bottom edge
extern float s1HighStripX;    // eye units; the high strip starts beyond the left edge
