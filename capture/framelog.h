// SPDX-License-Identifier: MIT
// capture/framelog.h — --log: one line per presented frame with the scenes it ran in the order
// they ran ("1,6[6,7]": a scene's nested calls in brackets), and a last line for the ending.
// The trail is kept in fixed storage, built as scenes start, so the frame path allocates nothing
// and a frame the ending cuts short still shows how far it got.
#pragma once
#include <cstdint>
#include <string>

void startTrail();                      // at the start of every frame
void traceSceneStart(int depth, int index); // index 0..7; depth 0 for the timeline's own calls
void traceSceneEnd(int depth);

bool openFrameLog(const std::string& path, std::string& error);
void logFrame(long frame, std::int64_t us, int order, int row, int sceneOverride);
// reason: order32, esc, seconds, frames, songend (the song ended before order 32), songloop
// (it went back to an earlier order) or error; the frame cut short is the one the ending met.
void logEnd(std::int64_t endUs, int order, const char* reason, bool frameCutShort);
bool closeFrameLog(std::string& error);
