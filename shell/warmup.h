// SPDX-License-Identifier: MIT
// shell/warmup.h — drawing done while the question is up, so the driver's first frames are not slow.
#pragma once

// Draws a little with each state the scenes switch between, on the current context, so the
// driver compiles its programs now rather than in the first frames; then clears. Every piece
// of render state it touches is left as it found it.
void warmUpDrawing();
