// SPDX-License-Identifier: MIT
// capture/clock.cpp — the virtual clock, and the music rendered up to it after every step.
#include "capture/clock.h"

#include <algorithm>
#include <chrono>

#include "capture/outputs.h"
#include "engine/music.h"
#include "engine/startup.h"

std::int64_t clockUs = 0;
std::int64_t samplesPulled = 0;
std::int64_t audioFrom = kNever;
std::int64_t audioTo = kNever;
bool songGone = false;
double sleepWallSeconds = 0;

namespace {

AudioSink audioSink = nullptr;

void deliverAudio(const float* buf, std::int64_t first, std::int64_t count)
{
    const std::int64_t from = std::max(first, audioFrom), to = std::min(first + count, audioTo);
    if (from >= to || !audioSink)
        return;
    audioSink(buf + 2 * (from - first), to - from);
}

void pullMusic()
{
    static float buf[2 * 4096];
    const std::int64_t target = clockUs * kCaptureRate / 1000000;
    while (!songGone && samplesPulled < target) {
        const std::int64_t n = std::min<std::int64_t>(target - samplesPulled, 4096);
        const size_t got = song ? renderMusic(song, buf, static_cast<size_t>(n)) : 0;
        std::fill(buf + 2 * got, buf + 2 * n, 0.0f); // after the song's end: silence
        deliverAudio(buf, samplesPulled, n);
        samplesPulled += n;
    }
}

} // namespace

void setAudioSink(AudioSink sink) { audioSink = sink; }

double wallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void advanceClock(std::int64_t us)
{
    clockUs += us;
    pullMusic();
}

void virtualSleep(unsigned ms)
{
    const double t0 = wallSeconds();
    advanceClock(static_cast<std::int64_t>(ms) * 1000);
    sleepWallSeconds += wallSeconds() - t0;
}

void songReleased() { songGone = true; } // dispatchScenes freed the song and closed the sound
