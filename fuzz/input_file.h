// SPDX-License-Identifier: MIT
// fuzz/input_file.h — the loaders read paths, so each input is written to one scratch file
// (on tmpfs where there is one) and the loader is given its name.
#pragma once
#include <cstddef>
#include <cstdint>

// The scratch file's path, made on first use; removed at exit.
const char* fuzzInputPath(const char* suffix);
// Replaces the scratch file's contents with the input. Aborts if it cannot.
void writeFuzzInput(const char* path, const std::uint8_t* data, std::size_t size);
