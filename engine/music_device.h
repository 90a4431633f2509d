// SPDX-License-Identifier: MIT
// engine/music_device.h — how a front end makes the song heard. The music core (music.cpp)
// decodes, decides where a song ends and keeps the schedule of heard positions; a device
// only pulls blocks of samples from it and says when they will be heard. The native
// program's device is SDL audio (shell/audio_output.cpp), the page's Web Audio
// (web/music.cpp); the capture tool has none and pulls with renderMusic.
#pragma once
#include <cstddef>
#include <cstdint>

class MusicDevice {
public:
    // FSOUND_Init, on the main thread: get ready to pull stereo float samples at mixRate.
    // False, with one line on stderr saying why, when it cannot play at all.
    virtual bool open(int mixRate) = 0;
    // FMUSIC_PlaySong, on the main thread, once the song is the one a pull renders: start
    // pulling if not yet started.
    virtual void start() = 0;
    // FSOUND_Close, on the main thread: stop pulling. When it returns no pull is under way
    // and none will come.
    virtual void close() = 0;
    // A position query, on any thread, without waiting: the moment, on the clock the device
    // stamps its pulls with (microseconds), of the sample being heard now.
    virtual std::int64_t heardNowUs() = 0;

protected:
    ~MusicDevice() = default;
};

// The front end's device, used by FSOUND_Init when the output is MusicOutput::Device.
// Set before FSOUND_Init; nullptr leaves the Device output unable to open.
void setMusicDevice(MusicDevice* device);

// Called by the device, from one thread at a time: renders the next `frames` stereo frames
// of the playing song into `out` (interleaved float), the first of them heard at heardAtUs
// on the device's clock, the others at the mixing rate after it. The rest of `out` is
// silence, as all of it is when no song plays. Returns the frames of music written. It
// waits only for a song being started or freed, never for a position query.
std::size_t musicDeviceFill(float* out, std::size_t frames, std::int64_t heardAtUs);
