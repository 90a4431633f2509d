// SPDX-License-Identifier: MIT
// engine/scene.h — what a scene sees of the engine: the texture table, the fog colour, the
// song it follows and the pause that paces its frame. Nothing of the start-up, the platform
// or the front end: a scene draws with GL and these.
#pragma once
#include "engine/gl.h"
#include "engine/music.h"

constexpr int kTextureSlots = 20;
extern GLuint TextureTable[kTextureSlots];

// The shared fog colour: passed to GL_FOG_COLOR at start and by every scene each frame.
extern const GLfloat FogColour[4];

extern FMUSIC_MODULE* song;

// Waits ms milliseconds of demo time: real time in the program, the virtual clock in the
// capture and the page's exact mode. Each front end decides which (engine/frontend.h); the
// platform layer carries it out.
void Sleep(unsigned ms);
