// SPDX-License-Identifier: MIT
// engine/projection.h — the viewport and perspective projection the scenes set.
#pragma once

constexpr int kSceneWidth = 640, kSceneHeight = 480; // the size every scene draws at

// Viewport and projection. The size is the scenes' own (640 x 480); the viewport covers the
// same share of whatever target they draw into.
void resizeGLScene(float fovDegrees, int width, int height);

// The size of the target the scenes' 640 x 480 maps onto (the render layer sets it when it
// builds the target). Until then, and for 640 x 480, sizes pass through unchanged.
void setSceneTargetSize(int width, int height);
