// SPDX-License-Identifier: MIT
// capture/clock.h — the virtual clock and the music it pulls. Each sleep moves the clock by its
// length and each rendered scene by a fixed cost; after every step the music is rendered up to
// the clock, so the order and row the timeline reads, the frames and the audio agree to the sample.
#pragma once
#include <cstdint>

constexpr std::int64_t kNever = INT64_MAX;

extern std::int64_t clockUs;       // demo time
extern std::int64_t samplesPulled; // music rendered so far, in sample frames
extern std::int64_t audioFrom;     // first sample that goes to the outputs (set when output starts)
extern std::int64_t audioTo;       // one past the last, when --seconds fixes it
extern bool songGone;              // freed by the ending: must not be rendered from any more
extern double sleepWallSeconds;    // wall time spent in the sleep hook, kept out of render timings

// Where the music between audioFrom and audioTo goes: interleaved stereo float.
using AudioSink = void (*)(const float* interleaved, std::int64_t frames);
void setAudioSink(AudioSink sink);

void advanceClock(std::int64_t us);
void virtualSleep(unsigned ms); // the sleep hook
void songReleased();            // the timeline's shutdown hook: the song was freed

double wallSeconds();
