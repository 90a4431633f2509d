// SPDX-License-Identifier: MIT
// scenes/scene6.h — scene 6's state, carried from frame to frame: the credits' cycle and the ring's
// turn. Defined in scene6.cpp; its tests read and set it.
#pragma once

extern float s6CycleFrame;  // frames this scene has run; only grows, so the hand-over happens once
extern float s6Pulse;       // -0.5 to 0.5: ring scale and picture alpha (negative alpha clamps to 0)
extern int s6CreditSlot;    // TextureTable slot of the credit picture; 0 is never drawn
extern float s6SpinX;       // degrees
extern float s6SpinY;       // degrees
extern float s6SpinZ;       // degrees
