// SPDX-License-Identifier: MIT
// engine/projection.h — the viewport and perspective projection the scenes set.
#pragma once

void resizeGLScene(float fovDegrees, int width, int height);
