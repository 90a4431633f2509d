// SPDX-License-Identifier: MIT
// web/music.cpp — the page's music device: Web Audio over the same music core as the native
// program (engine/music.cpp), so a song plays, loops and ends in the page exactly as it does
// natively. The page (page.js) renders the song ahead of what is heard and hands it to its
// player on the audio thread (worklet.js); it asks for each block with the time on its audio
// clock that the block will be heard at, the core stamps each block's position with that
// time, and a query reads the position whose time the audio clock has reached.
#include "web/music.h"

#include <emscripten.h>

#include <cmath>
#include <cstdio>

namespace {

// clang-format off
EM_JS(int, rintaAudioOpen, (int rate), { return Module.rintaAudio ? Module.rintaAudio.open(rate) : 0; });
EM_JS(void, rintaAudioClose, (), { if (Module.rintaAudio) Module.rintaAudio.close(); });
EM_JS(double, rintaAudioTime, (), { return Module.rintaAudio ? Module.rintaAudio.time() : 0; });
// clang-format on

std::int64_t microseconds(double seconds) { return std::llround(seconds * 1e6); }

class WebAudioOutput final : public MusicDevice {
public:
    bool open(int mixRate) override
    {
        // The page resamples to the device's own rate; without a device it keeps a silent clock.
        if (rintaAudioOpen(mixRate)) return true;
        std::fprintf(stderr, "music: no Web Audio in this page\n");
        return false;
    }
    void start() override {} // the page's callback runs from open on, silent until a song plays
    void close() override { rintaAudioClose(); }
    std::int64_t heardNowUs() override { return microseconds(rintaAudioTime()); }
};

WebAudioOutput gWebAudio;

} // namespace

MusicDevice& webAudioOutput() { return gWebAudio; }

// The page's renderer: fills frames of interleaved stereo for the block heard at `at` on the
// page's audio clock (seconds); silence when nothing plays. Returns the frames of music written.
extern "C" EMSCRIPTEN_KEEPALIVE int rintaAudioFill(float* out, int frames, double at)
{
    return int(musicDeviceFill(out, std::size_t(frames), microseconds(at)));
}
