// SPDX-License-Identifier: MIT
// shell/audio_output.cpp — see audio_output.h. SDL asks for a buffer at a time on its own
// thread; each is pulled from the music core in one call, stamped with when the device will
// play its first sample.
#include "shell/audio_output.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr Uint16 kDeviceBufferFrames = 1024; // what SDL asks for per callback
constexpr std::size_t kSilentBlockFrames = 256;

std::int64_t nowUs()
{
    using namespace std::chrono;
    static const steady_clock::time_point base = steady_clock::now();
    return duration_cast<microseconds>(steady_clock::now() - base).count() + 1;
}

std::atomic<bool> gGoneForTests{false};
std::atomic<void (*)(std::int64_t, std::int64_t, std::size_t)> gPullHook{nullptr};

class SdlAudioOutput final : public MusicDevice {
public:
    bool open(int mixRate) override
    {
        rate_ = mixRate;
        nextHeardUs_ = 0;
        bufferUs_ = std::int64_t(kDeviceBufferFrames) * 1000000 / mixRate;
        return openOutput();
    }

    void start() override
    {
        if (device_) SDL_PauseAudioDevice(device_, 0);
    }

    void close() override
    {
        if (device_) {
            SDL_CloseAudioDevice(device_); // waits for a callback under way; none comes after
            device_ = 0;
        }
        // Only a callback starts the clock, and none runs now.
        if (silentClock_.joinable()) {
            silentStop_ = true;
            silentClock_.join();
            silentStop_ = false;
        }
        silentRuns_ = false;
        if (subsystem_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            subsystem_ = false;
        }
    }

    std::int64_t heardNowUs() override { return nowUs(); }

    bool silentClockRuns() const { return silentRuns_; }

private:
    static void SDLCALL fill(void* self, Uint8* stream, int len)
    {
        static_cast<SdlAudioOutput*>(self)->fill(reinterpret_cast<float*>(stream),
                                                 std::size_t(len) / (2 * sizeof(float)));
    }

    void fill(float* out, std::size_t frames)
    {
        if (!silentRuns_ && (SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED || gGoneForTests)) {
            // SDL goes on calling, at its own uneven pace, for a device that is gone: the
            // clock takes over the schedule where this callback leaves it.
            silentRuns_ = true;
            silentClock_ = std::thread(&SdlAudioOutput::runSilentClock, this);
        }
        if (silentRuns_) {
            std::fill(out, out + 2 * frames, 0.0f);
            return;
        }
        const std::int64_t heardAt = heardAtForThisBuffer(microsecondsOf(frames));
        if (auto hook = gPullHook.load()) hook(nowUs(), heardAt, frames);
        musicDeviceFill(out, frames, heardAt);
    }

    std::int64_t microsecondsOf(std::size_t frames) const { return std::int64_t(frames) * 1000000 / rate_; }

    // When the buffer the callback is filling now will start to play. A device plays its
    // samples at a steady rate, so the schedule runs on the sample count from the first
    // callback, heard one device buffer after it was asked for. Callbacks that come in
    // bursts (a sound server filling its own buffer) or a device clock that runs a little
    // fast or slow bend it by at most 2% of a buffer a callback; only a stall of a second (a
    // suspended device) starts it afresh.
    std::int64_t heardAtForThisBuffer(std::int64_t bufferUs)
    {
        constexpr std::int64_t kResyncUs = 1000000;
        const std::int64_t target = nowUs() + bufferUs_;
        const std::int64_t error = target - nextHeardUs_;
        if (nextHeardUs_ == 0 || error > kResyncUs || error < -kResyncUs)
            nextHeardUs_ = target;
        else
            nextHeardUs_ += std::clamp(error / 16, -bufferUs / 50, bufferUs / 50);
        const std::int64_t start = nextHeardUs_;
        nextHeardUs_ += bufferUs;
        return start;
    }

    // The song goes on, unheard, on the same schedule, so its position goes on without a
    // jump and it still ends. Pulls one device buffer ahead of the clock, as SDL would.
    void runSilentClock()
    {
        std::vector<float> scratch(2 * kSilentBlockFrames);
        if (nextHeardUs_ == 0) nextHeardUs_ = nowUs() + bufferUs_;
        while (!silentStop_) {
            while (!silentStop_ && nextHeardUs_ < nowUs() + bufferUs_) {
                if (auto hook = gPullHook.load()) hook(nowUs(), nextHeardUs_, kSilentBlockFrames);
                musicDeviceFill(scratch.data(), kSilentBlockFrames, nextHeardUs_);
                nextHeardUs_ += microsecondsOf(kSilentBlockFrames);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    bool openDevice()
    {
        SDL_AudioSpec want{};
        want.freq = rate_;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = kDeviceBufferFrames;
        want.callback = fill;
        want.userdata = this;
        // No allowed changes: SDL converts to whatever the device takes, the callback stays simple.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        return device_ != 0;
    }

    // The device, or failing that SDL's dummy driver, which consumes samples in real time
    // with no sound card: the song position must advance or the demo never leaves its
    // title picture.
    bool openOutput()
    {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            subsystem_ = true;
            if (openDevice()) return true;
            std::fprintf(stderr, "music: no audio device (%s); playing silently\n", SDL_GetError());
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            subsystem_ = false;
        } else {
            std::fprintf(stderr, "music: no audio driver (%s); playing silently\n", SDL_GetError());
        }
        // Override: an SDL_AUDIODRIVER naming a missing driver must not stop the fallback.
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        const bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
        if (!ok) {
            std::fprintf(stderr, "music: SDL dummy audio failed (%s)\n", SDL_GetError());
            return false;
        }
        subsystem_ = true;
        if (openDevice()) return true;
        std::fprintf(stderr, "music: SDL dummy audio device failed (%s)\n", SDL_GetError());
        return false;
    }

    int rate_ = 44100;
    SDL_AudioDeviceID device_ = 0;
    bool subsystem_ = false;
    std::int64_t bufferUs_ = 0; // how long one device buffer plays
    // When the next sample pulled will be heard: the callback's until the silent clock
    // starts, the clock's after.
    std::int64_t nextHeardUs_ = 0;
    std::thread silentClock_;
    std::atomic<bool> silentRuns_{false};
    std::atomic<bool> silentStop_{false};
};

SdlAudioOutput gOutput;

} // namespace

MusicDevice& sdlAudioOutput()
{
    return gOutput;
}

void setAudioDeviceGoneForTests(bool gone)
{
    gGoneForTests = gone;
}

bool silentClockRunsForTests()
{
    return gOutput.silentClockRuns();
}

void setAudioPullHookForTests(void (*hook)(std::int64_t, std::int64_t, std::size_t))
{
    gPullHook = hook;
}
