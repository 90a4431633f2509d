// SPDX-License-Identifier: MIT
// engine/music.cpp — the music core over libopenmpt: reading the module, where a song ends,
// the schedule of heard positions, reading ahead. It knows no audio API: a front end's
// MusicDevice pulls blocks through musicDeviceFill, or the caller pulls them offline with
// renderMusic. The song renders in blocks of at most 5.8 ms. Offline, each block's order
// and row are published as one atomic word as soon as it is rendered: a capture is exact to
// the sample. Through a device, each block's position is stamped with the moment the device
// says it will be heard, so the frame reads what is being heard. A song that jumps back
// plays on; only a song that runs off its order list ends, and its order then reads as the
// length of its order list, which is what ends the demo.
#include "engine/music.h"
#include "engine/module_file.h"
#include "engine/music_device.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

std::atomic<void (*)()> gLookupHook{nullptr};

// Positions scheduled to be heard, newest last: each slot is one word, so a reader on
// another thread sees a whole entry or an older one, never a torn one. Written only by
// whoever renders; read without locks by the frame.
class HeardSchedule {
public:
    // 3 s of blocks: several device buffers, or the second a page renders ahead of its player
    static constexpr std::size_t kSlots = 512;

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
    // Touched only under gPlayMutex: by whoever renders (the device's thread or
    // renderMusic) and by PlaySong.
    bool rendered = false;
    bool ended = false;
};


namespace {

constexpr std::size_t kBlockFrames = 256; // 5.8 ms: the finest step of the position
constexpr int kMinMixRate = 8000;         // the rates libopenmpt renders at
constexpr int kMaxMixRate = 192000;
constexpr int kMaxEmptyReads = 4; // a loop that renders nothing this often in a row is over

static_assert(std::atomic<std::uint64_t>::is_always_lock_free,
              "position queries must not take a lock");

MusicOutput gRequestedOutput = MusicOutput::Device;
MusicOutput gOutput = MusicOutput::Device; // the one FSOUND_Init set up
MusicDevice* gFrontEndDevice = nullptr;   // what setMusicDevice gave
std::atomic<MusicDevice*> gDevice{nullptr}; // the one FSOUND_Init opened; queries read it
bool gInitialised = false;
int gMixRate = 44100;
// Held by whoever renders the playing song and by whoever hands it over (PlaySong,
// FreeSong, Close): a song leaves the renderers in one step, and once it has, nothing
// renders it again.
std::mutex gPlayMutex;
FMUSIC_MODULE* gPlaying = nullptr; // under gPlayMutex
std::atomic<void (*)()> gBlockHook{nullptr};
std::atomic<void (*)()> gFreeHook{nullptr};

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

// Reads and opens the module at path, played from its start (no sub-song scan at load);
// nullptr, with one line on stderr saying why, when it cannot.
openmpt_module* openModuleFile(const char* path)
{
    std::vector<unsigned char> bytes;
    if (!readModuleFile(path, bytes)) return nullptr;
    // The song is played from its start, never sought: scanning it for sub-songs at load
    // would only add to the time before the first frame.
    const openmpt_module_initial_ctl ctls[] = {{"load.skip_subsongs_init", "1"}, {nullptr, nullptr}};
    openmpt_module* player = openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, ctls);
    if (!player) {
        std::fprintf(stderr, "music: %s is not a module libopenmpt can read\n", path);
        return nullptr;
    }
    const char* type = openmpt_module_get_metadata(player, "type");
    const bool truncated = type && std::strcmp(type, "it") == 0 && !impulseTrackerIsWhole(bytes);
    openmpt_free_string(type);
    if (truncated) {
        std::fprintf(stderr, "music: %s is cut short\n", path);
        openmpt_module_destroy(player);
        return nullptr;
    }
    return player;
}

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

std::uint64_t currentPosition(FMUSIC_MODULE* mod)
{
    if (!mod->scheduled.load(std::memory_order_acquire)) return mod->position.load(std::memory_order_acquire);
    std::uint64_t position = 0;
    MusicDevice* device = gDevice.load();
    if (!device || !mod->heard.heardBy(device->heardNowUs(), position))
        return mod->lastHeard.load(std::memory_order_relaxed);
    mod->lastHeard.store(position, std::memory_order_relaxed);
    return position;
}

} // namespace

void setMusicOutput(MusicOutput output)
{
    gRequestedOutput = output;
}

void setMusicDevice(MusicDevice* device)
{
    gFrontEndDevice = device;
}

void setMusicBlockHook(void (*hook)())
{
    gBlockHook = hook;
}

void setMusicFreeHook(void (*hook)())
{
    gFreeHook = hook;
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
    if (gOutput == MusicOutput::Device) {
        if (!gFrontEndDevice) {
            std::fprintf(stderr, "music: this program has no audio output\n");
            return false;
        }
        if (!gFrontEndDevice->open(mixRate)) return false;
        gDevice.store(gFrontEndDevice);
    }
    gInitialised = true;
    return true;
}

std::size_t musicDeviceFill(float* out, std::size_t frames, std::int64_t heardAtUs)
{
    std::size_t done = 0;
    {
        std::lock_guard lock(gPlayMutex);
        FMUSIC_MODULE* mod = gOutput == MusicOutput::Device ? gPlaying : nullptr;
        while (mod && !mod->ended && done < frames) {
            const std::size_t want = std::min(kBlockFrames, frames - done);
            done += renderScheduled(mod, out + 2 * done, want, heardAtUs + microsecondsOf(done));
        }
    }
    std::memset(out + 2 * done, 0, (frames - done) * 2 * sizeof(float));
    return done;
}

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
    {
        std::lock_guard lock(gPlayMutex);
        // A fresh song is at its start already; seeking it would only cost start-up time.
        if (mod->rendered) openmpt_module_set_position_order_row(mod->player, 0, 0);
        mod->rendered = false;
        mod->ended = false;
        publish(mod, 0, 0);
        mod->lastHeard.store(0, std::memory_order_relaxed);
        mod->heard.clear();
        mod->scheduled = gOutput == MusicOutput::Device;
        gPlaying = mod;
    }
    if (MusicDevice* device = gDevice.load()) device->start();
    return true;
}

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
    {
        // Waits for a block being rendered; after it nothing renders this song again.
        std::lock_guard lock(gPlayMutex);
        if (gPlaying == mod) gPlaying = nullptr;
    }
    if (auto hook = gFreeHook.load()) hook();
    openmpt_module_destroy(mod->player);
    delete mod;
    return true;
}

void FSOUND_Close()
{
    // Not under gPlayMutex: the device waits for its own pull, which may be waiting for it.
    if (MusicDevice* device = gDevice.exchange(nullptr)) device->close();
    {
        std::lock_guard lock(gPlayMutex);
        gPlaying = nullptr;
    }
    gInitialised = false;
}

std::size_t renderMusic(FMUSIC_MODULE* mod, float* interleavedStereo, std::size_t frames)
{
    if (!mod || !interleavedStereo) return 0;
    std::lock_guard lock(gPlayMutex);
    // Only the song started offline: a device-driven song belongs to the device's thread.
    if (gOutput != MusicOutput::Offline || gPlaying != mod) return 0;
    const std::size_t done = renderBlocks(mod, interleavedStereo, frames);
    std::memset(interleavedStereo + 2 * done, 0, (frames - done) * 2 * sizeof(float));
    return done;
}

int musicOrderCount(FMUSIC_MODULE* mod)
{
    return mod ? mod->orderCount : 0;
}
