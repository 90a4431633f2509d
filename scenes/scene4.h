// SPDX-License-Identifier: MIT
// scenes/scene4.h — scene 4's state, carried from frame to frame: the corridor flight's camera.
// Defined in scene4.cpp; its tests read and set it.
#pragma once

extern float s4Yaw;        // degrees; stops at exactly 90 because it is stored as float
extern float s4YawPhase;   // phase units, +0.2 a frame
extern float s4FovPhase;   // phase units, +0.3 a frame once the turn is complete
extern float s4Fov;        // degrees, vertical field of view
extern float s4SwayPhase;  // phase units, +1 a frame
extern float s4Sway;       // eye-space units along x
extern float s4Forward;    // eye-space units along z: the travel down the corridor
extern float s4Speed;      // eye-space units a frame, before the gate
extern float s4Rise;       // eye-space units along y, the gate only
