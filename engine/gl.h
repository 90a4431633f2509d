// SPDX-License-Identifier: MIT
// engine/gl.h — the one GL header the engine and scenes include: OpenGL 1.1 and GLU.
#pragma once
#include <GL/gl.h>
#include <GL/glu.h>
