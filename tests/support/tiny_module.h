// SPDX-License-Identifier: MIT
// tests/support/tiny_module.h — writes small Impulse Tracker modules for tests of the music
// layer: the same format as the demo's own song, but seconds long or less.
#pragma once
#include <string>
#include <vector>

// A position jump (effect Bxx) on channel 1 at one row of one order; none when order < 0.
struct TinyJump {
    int order = -1;
    int row = 0;
    int target = 0; // the order jumped to
};

// A 4-channel module of `orders` orders, each its own pattern of `rows` rows (1 to 200),
// at the given speed (ticks per row) and tempo, with one short tone per pattern, pitched by
// its order so that orders sound different. At speed 1, tempo 255 a row lasts 2.5/255 s.
std::vector<unsigned char> tinyModuleBytes(int orders, int speed = 1, int tempo = 255,
                                           int rows = 64, TinyJump jump = {});

// The same, written to a file. Returns false if the file cannot be written.
bool writeTinyModule(const std::string& path, int orders, int speed = 1, int tempo = 255,
                     int rows = 64, TinyJump jump = {});

// Any bytes to a file, for the malformed-file cases. Returns false if it cannot be written.
bool writeBytes(const std::string& path, const std::vector<unsigned char>& bytes);
