// tests/support/tiny_module.h — writes small tracker modules for tests of the music layer.
#pragma once
#include <string>

// A 4-channel module of `orders` orders, each its own 64-row pattern, at the given speed
// (ticks per row) and tempo, with one short tone per pattern. Returns false if the file
// cannot be written.
bool writeTinyModule(const std::string& path, int orders, int speed = 1, int tempo = 255);
