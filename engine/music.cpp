// SPDX-License-Identifier: MIT
// engine/music.cpp — the music player over libopenmpt, heard through SDL2 audio or pulled
// by the caller (offline). The song renders in blocks of at most 5.8 ms. Offline, each
// block's order and row are published as one atomic word as soon as it is rendered: a
// capture is exact to the sample. Through a device, each block's position is stamped with
// the moment the device will play it, so the frame reads what is being heard. A song that
// jumps back plays on; only a song that runs past its last order ends, and its order then
// reads as the length of its order list, which is what ends the demo.
#include "engine/music.h"
#include "engine/module_file.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>


#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <string>
#include <utility>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::atomic<void (*)()> gLookupHook{nullptr};

// Positions scheduled to be heard, newest last: each slot is one word, so a reader on
// another thread sees a whole entry or an older one, never a torn one. Written only by
// whoever renders; read without locks by the frame.
class HeardSchedule {
public:
    static constexpr std::size_t kSlots = 128; // 0.7 s of blocks, several device buffers

    void clear() { written_.store(0, std::memory_order_release); }

    void push(std::int64_t heardAtUs, int order, int row)
    {
        const std::uint64_t n = written_.load(std::memory_order_relaxed);
        slots_[n % kSlots].store(pack(heardAtUs, order, row), std::memory_order_relaxed);
        written_.store(n + 1, std::memory_order_release);
    }

    // The newest entry heard by nowUs, as order << 32 | row; false when none is yet, or when
    // the writer lapped the slots being read (a reader held up for longer than they last).
    bool heardBy(std::int64_t nowUs, std::uint64_t& position) const
    {
        const std::uint64_t n = written_.load(std::memory_order_acquire);
        if (auto hook = gLookupHook.load()) hook();
        // Stay well clear of the slots the writer may be refilling.
        const std::uint64_t oldest = n > kSlots - 16 ? n - (kSlots - 16) : 0;
        for (std::uint64_t i = n; i > oldest; --i) {
            const std::uint64_t v = slots_[(i - 1) % kSlots].load(std::memory_order_relaxed);
            if (std::int64_t(v >> 24) <= nowUs) {
                std::atomic_thread_fence(std::memory_order_acquire);
                if (written_.load(std::memory_order_relaxed) - n >= 16) return false; // v may be newer
                position = (((v >> 12) & 0xFFF) << 32) | (v & 0xFFF);
                return true;
            }
        }
        return false;
    }

private:
    // 40 bits of microseconds (12 days), 12 bits each of order and row
    static std::uint64_t pack(std::int64_t us, int order, int row)
    {
        const auto clamp12 = [](int v) { return std::uint64_t(std::clamp(v, 0, 0xFFF)); };
        return (std::uint64_t(std::max<std::int64_t>(us, 0)) & ((1ull << 40) - 1)) << 24 |
               clamp12(order) << 12 | clamp12(row);
    }

    std::array<std::atomic<std::uint64_t>, kSlots> slots_{};
    std::atomic<std::uint64_t> written_{0};
};

} // namespace

struct FMUSIC_MODULE {
    openmpt_module* player = nullptr;
    int orderCount = 0;
    int lastOrder = -1; // the last entry of the order list that holds a pattern
    // order in the high half, row in the low half: one load gives a consistent pair.
    // Offline it follows the rendering; through a device it holds the start until the
    // first scheduled block is heard.
    std::atomic<std::uint64_t> position{0};
    std::atomic<bool> scheduled{false}; // queries read `heard` by the clock
    HeardSchedule heard;
    // What the last query found heard: the answer while the schedule has none to give.
    std::atomic<std::uint64_t> lastHeard{0};
    // Touched by whoever renders (audio thread or renderMusic), and by PlaySong under the
    // device lock.
    bool rendered = false;
    bool ended = false;
};


namespace {

constexpr std::size_t kBlockFrames = 256;          // 5.8 ms: the finest step of the position
constexpr Uint16 kDeviceBufferFrames = 1024;       // what SDL asks for per callback
constexpr int kMinMixRate = 8000;                  // the rates libopenmpt renders at
constexpr int kMaxMixRate = 192000;
constexpr int kMaxEmptyReads = 4; // a loop that renders nothing this often in a row is over

static_assert(std::atomic<std::uint64_t>::is_always_lock_free,
              "position queries must not take a lock");

MusicOutput gRequestedOutput = MusicOutput::Device;
MusicOutput gOutput = MusicOutput::Device; // the one FSOUND_Init set up
bool gInitialised = false;
int gMixRate = 44100;
SDL_AudioDeviceID gDevice = 0;
bool gAudioSubsystem = false;
std::int64_t gDeviceBufferUs = 0; // how long one device buffer plays
// The song now playing. With Device output it is written only under the device lock and
// read by the callback.
FMUSIC_MODULE* gPlaying = nullptr;
std::atomic<void (*)()> gBlockHook{nullptr};
std::atomic<void (*)()> gFreeHook{nullptr};
std::atomic<bool> gDeviceGoneForTests{false};
// When the next sample the callback renders will be heard; 0 until the first callback.
std::int64_t gNextHeardUs = 0;

std::int64_t nowUs()
{
    using namespace std::chrono;
    static const steady_clock::time_point base = steady_clock::now();
    return duration_cast<microseconds>(steady_clock::now() - base).count() + 1;
}

std::uint64_t packPosition(int order, int row)
{
    return (std::uint64_t(std::uint32_t(order)) << 32) | std::uint32_t(row);
}

void publish(FMUSIC_MODULE* mod, int order, int row)
{
    mod->position.store(packPosition(order, row), std::memory_order_release);
}

// The order the row at (order, row) jumps to (effect B, as MOD, S3M, XM and IT all write
// it), or -1 when it does not jump.
int jumpTarget(FMUSIC_MODULE* mod, int order, int row)
{
    openmpt_module* m = mod->player;
    const std::int32_t pattern = openmpt_module_get_order_pattern(m, order);
    if (pattern < 0 || pattern >= openmpt_module_get_num_patterns(m)) return -1;
    if (row < 0 || row >= openmpt_module_get_pattern_num_rows(m, pattern)) return -1;
    for (std::int32_t ch = 0; ch < openmpt_module_get_num_channels(m); ++ch) {
        const char* effect =
            openmpt_module_format_pattern_row_channel_command(m, pattern, row, ch, OPENMPT_MODULE_COMMAND_EFFECT);
        const bool jump = effect && effect[0] == 'B';
        openmpt_free_string(effect);
        if (jump)
            return openmpt_module_get_pattern_row_channel_command(m, pattern, row, ch, OPENMPT_MODULE_COMMAND_PARAMETER);
    }
    return -1;
}

bool jumpsBack(FMUSIC_MODULE* mod, int order, int row)
{
    const int target = jumpTarget(mod, order, row);
    return target >= 0 && target <= mod->lastOrder;
}

// A jump beyond the last order that holds a pattern leaves the list as surely as playing
// through its last order does, from whichever order it is made.
bool jumpsPastEnd(FMUSIC_MODULE* mod, int order, int row)
{
    return jumpTarget(mod, order, row) > mod->lastOrder;
}

// libopenmpt stops where it takes the song to end, which is also where a song loops.
// (order, row) was playing at the start of the read that stopped; a row outlasts a read,
// so the last row heard is that one or the next. The song has run off its order list if
// neither row jumps back and it was playing its last order or one of the rows jumps past it.
bool ranOffOrderList(FMUSIC_MODULE* mod, int order, int row)
{
    if (jumpsBack(mod, order, row) || jumpsBack(mod, order, row + 1)) return false;
    return order == mod->lastOrder || jumpsPastEnd(mod, order, row) || jumpsPastEnd(mod, order, row + 1);
}

// Renders up to `frames` frames of `mod` into `out`, playing on through loops. Returns the
// frames written: fewer than asked only when the song has run off its order list, and then
// `ended` is set.
std::size_t renderBlock(FMUSIC_MODULE* mod, float* out, std::size_t frames)
{
    if (mod->ended) return 0;
    if (auto hook = gBlockHook.load()) hook();
    mod->rendered = true;
    std::size_t done = 0;
    int emptyReads = 0;
    while (done < frames) {
        const int order = openmpt_module_get_current_order(mod->player);
        const int row = openmpt_module_get_current_row(mod->player);
        const std::size_t got =
            openmpt_module_read_interleaved_float_stereo(mod->player, gMixRate, frames - done, out + 2 * done);
        done += got;
        if (done == frames) break;
        // Told to continue at the end, libopenmpt plays on from where the song loops to.
        if (ranOffOrderList(mod, order, row) || (got == 0 && ++emptyReads > kMaxEmptyReads)) {
            mod->ended = true;
            break;
        }
        if (got > 0) emptyReads = 0;
    }
    return done;
}

// Offline: the position follows the rendering, the row holding the last sample rendered.
std::size_t renderBlocks(FMUSIC_MODULE* mod, float* out, std::size_t frames)
{
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t want = std::min(kBlockFrames, frames - done);
        const std::size_t got = renderBlock(mod, out + 2 * done, want);
        done += got;
        if (mod->ended) {
            publish(mod, mod->orderCount, 0);
            break;
        }
        publish(mod, openmpt_module_get_current_order(mod->player), openmpt_module_get_current_row(mod->player));
    }
    return done;
}

// When the buffer the callback is filling now will start to play. A device plays its
// samples at a steady rate, so the schedule runs on the sample count from the first
// callback, heard one device buffer after it was asked for. Callbacks that come in bursts
// (a sound server filling its own buffer) or a device clock that runs a little fast or slow
// bend it by at most 2% of a buffer a callback; only a stall of a second (a suspended
// device) starts it afresh.
std::int64_t heardAtForThisBuffer(std::int64_t bufferUs)
{
    constexpr std::int64_t kResyncUs = 1000000;
    const std::int64_t target = nowUs() + gDeviceBufferUs;
    const std::int64_t error = target - gNextHeardUs;
    if (gNextHeardUs == 0 || error > kResyncUs || error < -kResyncUs)
        gNextHeardUs = target;
    else
        gNextHeardUs += std::clamp(error / 16, -bufferUs / 50, bufferUs / 50);
    const std::int64_t start = gNextHeardUs;
    gNextHeardUs += bufferUs;
    return start;
}

std::int64_t microsecondsOf(std::size_t frames) { return std::int64_t(frames) * 1000000 / gMixRate; }

// Renders the next block of the device's song and schedules it from `heardAt`: the row of
// its first sample from the moment that sample is heard, the end from when its last is.
std::size_t renderScheduled(FMUSIC_MODULE* mod, float* out, std::size_t frames, std::int64_t heardAt)
{
    mod->heard.push(heardAt, openmpt_module_get_current_order(mod->player),
                    openmpt_module_get_current_row(mod->player));
    const std::size_t got = renderBlock(mod, out, frames);
    if (mod->ended) mod->heard.push(heardAt + microsecondsOf(got), mod->orderCount, 0);
    return got;
}

// A device that went away (a sound server that stopped) leaves the song on the silent
// real-time clock: this thread renders it on, unheard, on the same schedule, so the
// position goes on without a jump and the song still ends.
std::thread gSilentClock;
std::atomic<bool> gSilentClockRuns{false};
std::atomic<bool> gSilentClockStop{false};

void runSilentClock(FMUSIC_MODULE* mod)
{
    std::vector<float> scratch(2 * kBlockFrames);
    while (!gSilentClockStop && !mod->ended) {
        while (!mod->ended && gNextHeardUs < nowUs() + gDeviceBufferUs) {
            const std::size_t got = renderScheduled(mod, scratch.data(), kBlockFrames, gNextHeardUs);
            gNextHeardUs += microsecondsOf(got);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void stopSilentClock()
{
    if (!gSilentClock.joinable()) return;
    gSilentClockStop = true;
    gSilentClock.join();
    gSilentClockRuns = false;
    gSilentClockStop = false;
}

void SDLCALL fillAudio(void*, Uint8* stream, int len)
{
    const std::size_t frames = std::size_t(len) / (2 * sizeof(float));
    float* out = reinterpret_cast<float*>(stream);
    std::size_t done = 0;
    FMUSIC_MODULE* mod = gPlaying;
    if (mod && !gSilentClockRuns && (SDL_GetAudioDeviceStatus(gDevice) == SDL_AUDIO_STOPPED || gDeviceGoneForTests)) {
        // SDL goes on calling, at its own uneven pace, for a device that is gone.
        gSilentClockRuns = true;
        gSilentClock = std::thread(runSilentClock, mod);
    }
    if (mod && !gSilentClockRuns) {
        const std::int64_t start = heardAtForThisBuffer(microsecondsOf(frames));
        while (!mod->ended && done < frames) {
            const std::size_t want = std::min(kBlockFrames, frames - done);
            done += renderScheduled(mod, out + 2 * done, want, start + microsecondsOf(done));
        }
    }
    std::memset(out + 2 * done, 0, (frames - done) * 2 * sizeof(float));
}

bool openDevice()
{
    SDL_AudioSpec want{};
    want.freq = gMixRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kDeviceBufferFrames;
    want.callback = fillAudio;
    // No allowed changes: SDL converts to whatever the device takes, the callback stays simple.
    gDevice = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    gDeviceBufferUs = std::int64_t(kDeviceBufferFrames) * 1000000 / gMixRate;
    return gDevice != 0;
}

// The device, or failing that SDL's dummy driver, which consumes samples in real time with
// no sound card: the song position must advance or the demo never leaves its title picture.
bool openOutput()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        gAudioSubsystem = true;
        if (openDevice()) return true;
        std::fprintf(stderr, "music: no audio device (%s); playing silently\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        gAudioSubsystem = false;
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
    gAudioSubsystem = true;
    if (openDevice()) return true;
    std::fprintf(stderr, "music: SDL dummy audio device failed (%s)\n", SDL_GetError());
    return false;
}

} // namespace

void setMusicOutput(MusicOutput output)
{
    gRequestedOutput = output;
}

void setMusicBlockHook(void (*hook)())
{
    gBlockHook = hook;
}

void setMusicFreeHook(void (*hook)())
{
    gFreeHook = hook;
}

void setAudioDeviceGoneForTests(bool gone)
{
    gDeviceGoneForTests = gone;
}

bool silentClockRunsForTests()
{
    return gSilentClockRuns;
}

void setMusicLookupHook(void (*hook)())
{
    gLookupHook = hook;
}

bool FSOUND_Init(int mixRate, int, unsigned)
{
    if (gInitialised) FSOUND_Close();
    if (mixRate < kMinMixRate || mixRate > kMaxMixRate) {
        std::fprintf(stderr, "music: mixing rate %d not supported\n", mixRate);
        return false;
    }
    gMixRate = mixRate;
    gOutput = gRequestedOutput;
    // libopenmpt mixes as many channels as the module has, so the channel count is not used.
    if (gOutput == MusicOutput::Device && !openOutput()) return false;
    gInitialised = true;
    return true;
}

namespace {

FMUSIC_MODULE* loadSong(const char* path)
{
    openmpt_module* player = openModuleFile(path);
    if (!player) return nullptr;
    // libopenmpt stops at what it takes for the song's end, with no fade-out tail, and
    // plays on from where the song loops to when read again: renderBlock tells a loop from
    // a song that ran off its order list.
    openmpt_module_set_repeat_count(player, 0);
    openmpt_module_ctl_set_text(player, "play.at_end", "continue");

    auto* mod = new FMUSIC_MODULE;
    mod->player = player;
    mod->orderCount = openmpt_module_get_num_orders(player);
    for (int order = mod->orderCount - 1; order >= 0 && mod->lastOrder < 0; --order) {
        const std::int32_t pattern = openmpt_module_get_order_pattern(player, order);
        if (pattern >= 0 && pattern < openmpt_module_get_num_patterns(player)) mod->lastOrder = order;
    }
    publish(mod, 0, 0);
    return mod;
}

std::mutex gAheadMutex;
std::condition_variable gAheadDone;
std::string gAheadPath;
bool gAheadReading = false;
FMUSIC_MODULE* gAheadSong = nullptr;

} // namespace

void loadSongAhead(const char* path)
{
    if (!path) return;
    {
        std::lock_guard lock(gAheadMutex);
        if (gAheadReading || !gAheadPath.empty()) return; // one song ahead at a time
        gAheadPath = path;
        gAheadReading = true;
    }
    FMUSIC_MODULE* mod = loadSong(path); // says on stderr why, if it cannot
    std::lock_guard lock(gAheadMutex);
    gAheadSong = mod;
    gAheadReading = false;
    gAheadDone.notify_all();
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* path)
{
    if (!path) return nullptr;
    {
        std::unique_lock lock(gAheadMutex);
        gAheadDone.wait(lock, [] { return !gAheadReading; });
        if (!gAheadPath.empty() && gAheadPath == path) { // read ahead, or found unusable ahead
            gAheadPath.clear();
            return std::exchange(gAheadSong, nullptr);
        }
    }
    return loadSong(path);
}

bool FMUSIC_PlaySong(FMUSIC_MODULE* mod)
{
    if (!mod || !gInitialised) return false;
    if (gOutput == MusicOutput::Device) SDL_LockAudioDevice(gDevice);
    // A fresh song is at its start already; seeking it would only cost start-up time.
    if (mod->rendered) openmpt_module_set_position_order_row(mod->player, 0, 0);
    mod->rendered = false;
    mod->ended = false;
    publish(mod, 0, 0);
    mod->lastHeard.store(0, std::memory_order_relaxed);
    mod->heard.clear();
    mod->scheduled = gOutput == MusicOutput::Device;
    gNextHeardUs = 0;
    gPlaying = mod;
    if (gOutput == MusicOutput::Device) {
        SDL_UnlockAudioDevice(gDevice);
        SDL_PauseAudioDevice(gDevice, 0);
    }
    return true;
}

namespace {
std::uint64_t currentPosition(FMUSIC_MODULE* mod)
{
    if (!mod->scheduled.load(std::memory_order_acquire)) return mod->position.load(std::memory_order_acquire);
    std::uint64_t position = 0;
    if (!mod->heard.heardBy(nowUs(), position)) return mod->lastHeard.load(std::memory_order_relaxed);
    mod->lastHeard.store(position, std::memory_order_relaxed);
    return position;
}
} // namespace

int FMUSIC_GetOrder(FMUSIC_MODULE* mod)
{
    if (!mod) return -1;
    return int(std::uint32_t(currentPosition(mod) >> 32));
}

int FMUSIC_GetRow(FMUSIC_MODULE* mod)
{
    if (!mod) return -1;
    return int(std::uint32_t(currentPosition(mod)));
}

bool FMUSIC_FreeSong(FMUSIC_MODULE* mod)
{
    if (!mod) return false;
    if (gPlaying == mod) {
        // One hand-over: a callback that ran between stopping the silent clock and letting
        // go of the song would start a new clock on it.
        if (gDevice) SDL_LockAudioDevice(gDevice); // waits for a callback in progress
        stopSilentClock();
        gPlaying = nullptr;
        if (gDevice) SDL_UnlockAudioDevice(gDevice);
    }
    if (auto hook = gFreeHook.load()) hook();
    openmpt_module_destroy(mod->player);
    delete mod;
    return true;
}

void FSOUND_Close()
{
    if (gDevice) SDL_LockAudioDevice(gDevice);
    stopSilentClock();
    if (gDevice) SDL_UnlockAudioDevice(gDevice);
    if (gDevice) {
        SDL_CloseAudioDevice(gDevice); // stops the callback for good
        gDevice = 0;
    }
    if (gAudioSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        gAudioSubsystem = false;
    }
    gPlaying = nullptr;
    gInitialised = false;
}

std::size_t renderMusic(FMUSIC_MODULE* mod, float* interleavedStereo, std::size_t frames)
{
    // Only the song started offline: a device-driven song belongs to the audio thread.
    if (!mod || !interleavedStereo || gOutput != MusicOutput::Offline || gPlaying != mod) return 0;
    const std::size_t done = renderBlocks(mod, interleavedStereo, frames);
    std::memset(interleavedStereo + 2 * done, 0, (frames - done) * 2 * sizeof(float));
    return done;
}

int musicOrderCount(FMUSIC_MODULE* mod)
{
    return mod ? mod->orderCount : 0;
}
