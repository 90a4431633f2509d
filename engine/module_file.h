// SPDX-License-Identifier: MIT
// engine/module_file.h — reading a module file for the music core: bounded in size, and an
// Impulse Tracker file refused when it is cut short. Plain bytes: the decoder's own types
// stay in engine/music.cpp.
#pragma once
#include <cstddef>
#include <vector>

// Far above any real module; bounds the read.
constexpr std::size_t kMaxModuleBytes = 64u << 20;

// Reads the whole file; false, with one line on stderr, when it cannot or its size is absurd.
bool readModuleFile(const char* path, std::vector<unsigned char>& bytes);

// libopenmpt plays a cut-off Impulse Tracker file without complaint, filling what is missing
// with empty patterns and silence; we would rather not load it. Checks that every structure
// the header points at lies inside the file.
bool impulseTrackerIsWhole(const std::vector<unsigned char>& bytes);

