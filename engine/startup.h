// SPDX-License-Identifier: MIT
// engine/startup.h — the one-time set-up: texture table, base render state, music.
#pragma once
#include "engine/gl.h"
#include "engine/music.h"

constexpr int kTextureSlots = 20;
extern GLuint TextureTable[kTextureSlots];

// The shared fog colour: passed to GL_FOG_COLOR at start and by every scene each frame.
extern const GLfloat FogColour[4];

extern FMUSIC_MODULE* song;

bool initGL();
void loadTextures();

// Start-up split for a program that prepares while its first question is up. None of it
// changes what initGL does when called on its own.
// Reads the song and decodes the pictures, without GL: any thread, before initGL.
void prepareStartupData();
// The GL part of initGL (textures and render state), ahead of it on the current context;
// the next initGL then only starts the music.
void prepareGL();

// The file each slot is loaded from, or nullptr for the two slots left empty (6 and 12).
const char* textureSlotFile(int slot);
