// SPDX-License-Identifier: MIT
// capture/bench.h — the render-only benchmark: each scene timed as the demo draws it, as an
// unsampled frame (one-pixel scissor), and as a bare replay of the same GL commands.
#pragma once
#include <cstdio>

#include "engine/deterministic.h"

// Runs one top-level scene call under measurement. The wall time the clock spends inside the
// sleep hook (music rendering) is taken out.
bool benchScene(int index, bool (*draw)(), const DeterministicLoop& clock);

// The picture size and samples are the ones the scenes were drawn at.
void printBenchReport(std::FILE* out, const char* renderer, int width, int height, int samples);
