// SPDX-License-Identifier: MIT
// engine/startup.h — the one-time set-up: texture table, base render state, music.
#pragma once
#include <string>

#include "engine/scene.h"

// The rate the music is mixed at: the sound, the capture's WAV and the page's audio.
constexpr int kMixRate = 44100;

// The directory the data files (engine/data_files.txt) are read from; "data" in the working
// directory unless a front end names another. Set before prepareStartupData or initGL.
void setDataDirectory(const std::string& dir);
const std::string& dataDirectory();
// The path of the song in the data directory.
std::string songFilePath();

bool initGL();
void loadTextures();

// Start-up split for a program that prepares while its first question is up. None of it
// changes what initGL does when called on its own.
// Reads the song and decodes the pictures, without GL: any thread, before initGL.
void prepareStartupData();
// The GL part of initGL (textures and render state), ahead of it on the current context;
// the next initGL then only starts the music.
void prepareGL();
// The two above in short steps, for a front end with one thread that must stay live between
// them: the song read, then each picture's decode, then each picture's upload, then the render
// state, each a step of its own. prepareStep(0) first, then prepareStep(n) for each n it
// returns until it returns 0; the next initGL then only starts the music.
int prepareStep(int step);

// The file each slot is loaded from, in the data directory, or nullptr for the two slots
// left empty (6 and 12).
const char* textureSlotFile(int slot);
