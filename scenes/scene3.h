// SPDX-License-Identifier: MIT
// scenes/scene3.h — scene 3's state, carried from frame to frame: the meshes', strip's and tunnel's
// motion. Defined in scene3.cpp; its tests read and set it.
#pragma once

extern float s3SpinAX;      // degrees; first mesh pair, forwards
extern float s3SpinAY;      // degrees
extern float s3SpinAZ;      // degrees
extern float s3SpinBX;      // degrees; second mesh pair, backwards and 1.5 times as fast
extern float s3SpinBY;      // degrees
extern float s3SpinBZ;      // degrees
extern float s3MeshDepth;   // eye units; never changes
extern float s3StripX;      // eye units; starts just beyond the right edge of the view
extern float s3TunnelZ;     // eye units; the tunnel travels towards and past the viewer
extern float s3TunnelRoll;  // degrees about the line of sight
