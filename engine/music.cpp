// engine/music.cpp — the music player over libopenmpt, heard through SDL2 audio or pulled
// by the caller (offline). The song renders in blocks of about one tick; after each block
// its order and row are published as one atomic word, so queries from the frame never wait
// on the audio thread. The song plays once; after its end the order reads as the length of
// its order list, which is what ends the demo.
#include "engine/music.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

struct FMUSIC_MODULE {
    openmpt_module* player = nullptr;
    int orderCount = 0;
    // order in the high half, row in the low half: one load gives a consistent pair
    std::atomic<std::uint64_t> position{0};
    // Touched by whoever renders (audio thread or renderMusic), and by PlaySong under the
    // device lock.
    bool rendered = false;
    bool ended = false;
};

namespace {

constexpr std::size_t kMaxModuleBytes = 64u << 20; // far above any real module; bounds the read
constexpr std::size_t kBlockFrames = 512;          // 11.6 ms; a tick at tempo 125 is 882 frames
constexpr Uint16 kDeviceBufferFrames = 1024;       // what SDL asks for per callback
constexpr int kMinMixRate = 8000;                  // the rates libopenmpt renders at
constexpr int kMaxMixRate = 192000;

static_assert(std::atomic<std::uint64_t>::is_always_lock_free,
              "position queries must not take a lock");

MusicOutput gRequestedOutput = MusicOutput::Device;
MusicOutput gOutput = MusicOutput::Device; // the one FSOUND_Init set up
bool gInitialised = false;
int gMixRate = 44100;
SDL_AudioDeviceID gDevice = 0;
bool gAudioSubsystem = false;
// The song now playing. With Device output it is written only under the device lock and
// read by the callback.
FMUSIC_MODULE* gPlaying = nullptr;
std::atomic<void (*)()> gBlockHook{nullptr};

std::uint64_t packPosition(int order, int row)
{
    return (std::uint64_t(std::uint32_t(order)) << 32) | std::uint32_t(row);
}

void publish(FMUSIC_MODULE* mod, int order, int row)
{
    mod->position.store(packPosition(order, row), std::memory_order_release);
}

// Renders up to `frames` frames of `mod` into `out` and publishes where the song now is:
// the row holding the last sample rendered. A short read means the song has ended.
std::size_t renderBlock(FMUSIC_MODULE* mod, float* out, std::size_t frames)
{
    if (mod->ended) return 0;
    if (auto hook = gBlockHook.load()) hook();
    mod->rendered = true;
    const std::size_t got = openmpt_module_read_interleaved_float_stereo(mod->player, gMixRate, frames, out);
    if (got < frames) {
        // libopenmpt rewinds its position once it stops; the demo needs "past the last order"
        mod->ended = true;
        publish(mod, mod->orderCount, 0);
    } else {
        publish(mod, openmpt_module_get_current_order(mod->player), openmpt_module_get_current_row(mod->player));
    }
    return got;
}

std::size_t renderBlocks(FMUSIC_MODULE* mod, float* out, std::size_t frames)
{
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t want = std::min(kBlockFrames, frames - done);
        const std::size_t got = renderBlock(mod, out + 2 * done, want);
        done += got;
        if (got < want) break;
    }
    return done;
}

void SDLCALL fillAudio(void*, Uint8* stream, int len)
{
    const std::size_t frames = std::size_t(len) / (2 * sizeof(float));
    float* out = reinterpret_cast<float*>(stream);
    const std::size_t done = gPlaying ? renderBlocks(gPlaying, out, frames) : 0;
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

std::uint32_t read16(const std::vector<unsigned char>& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8;
}
std::uint64_t read32(const std::vector<unsigned char>& b, std::size_t at)
{
    return read16(b, at) | std::uint64_t(read16(b, at + 2)) << 16;
}

// libopenmpt plays a cut-off Impulse Tracker file without complaint, filling what is missing
// with empty patterns and silence; we would rather not load it. Checks that every structure
// the header points at lies inside the file.
bool impulseTrackerIsWhole(const std::vector<unsigned char>& b)
{
    const std::uint64_t size = b.size();
    if (size < 0xC0) return false;
    const std::uint64_t orders = read16(b, 0x20), instruments = read16(b, 0x22);
    const std::uint64_t samples = read16(b, 0x24), patterns = read16(b, 0x26);
    const std::uint64_t tablesAt = 0xC0 + orders;
    if (tablesAt + 4 * (instruments + samples + patterns) > size) return false;
    if ((read16(b, 0x2E) & 1) && read32(b, 0x38) + read16(b, 0x36) > size) return false; // message

    constexpr std::uint64_t kInstrumentBytes = 554, kSampleHeaderBytes = 0x50;
    for (std::uint64_t i = 0; i < instruments; ++i) {
        const std::uint64_t at = read32(b, tablesAt + 4 * i);
        if (at != 0 && at + kInstrumentBytes > size) return false;
    }
    const std::uint64_t sampleTable = tablesAt + 4 * instruments;
    for (std::uint64_t i = 0; i < samples; ++i) {
        const std::uint64_t at = read32(b, sampleTable + 4 * i);
        if (at == 0) continue;
        if (at + kSampleHeaderBytes > size) return false;
        const unsigned flags = b[at + 0x12];
        if (!(flags & 0x01)) continue; // no sample data
        const std::uint64_t length = read32(b, at + 0x30), data = read32(b, at + 0x48);
        const std::uint64_t bytes = length * ((flags & 0x02) ? 2 : 1) * ((flags & 0x04) ? 2 : 1);
        if (flags & 0x08) { // compressed: its size is only known by unpacking
            if (length != 0 && data >= size) return false;
        } else if (data + bytes > size) {
            return false;
        }
    }
    const std::uint64_t patternTable = sampleTable + 4 * samples;
    for (std::uint64_t i = 0; i < patterns; ++i) {
        const std::uint64_t at = read32(b, patternTable + 4 * i);
        if (at == 0) continue; // an empty 64-row pattern
        if (at + 8 > size || at + 8 + read16(b, at) > size) return false;
    }
    return true;
}

bool readModuleFile(const char* path, std::vector<unsigned char>& bytes)
{
    struct stat st{};
    if (stat(path, &st) != 0) {
        std::fprintf(stderr, "music: cannot open %s\n", path);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size <= 0 || std::uint64_t(st.st_size) > kMaxModuleBytes) {
        std::fprintf(stderr, "music: %s is not a module file of a sensible size\n", path);
        return false;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "music: cannot open %s\n", path);
        return false;
    }
    bytes.resize(std::size_t(st.st_size));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) {
        std::fprintf(stderr, "music: cannot read %s\n", path);
        return false;
    }
    return true;
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

FMUSIC_MODULE* FMUSIC_LoadSong(const char* path)
{
    if (!path) return nullptr;
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
    // Played once to the last row: no repeat, and no fade-out tail after it.
    openmpt_module_set_repeat_count(player, 0);
    openmpt_module_ctl_set_text(player, "play.at_end", "stop");

    auto* mod = new FMUSIC_MODULE;
    mod->player = player;
    mod->orderCount = openmpt_module_get_num_orders(player);
    publish(mod, 0, 0);
    return mod;
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
    gPlaying = mod;
    if (gOutput == MusicOutput::Device) {
        SDL_UnlockAudioDevice(gDevice);
        SDL_PauseAudioDevice(gDevice, 0);
    }
    return true;
}

int FMUSIC_GetOrder(FMUSIC_MODULE* mod)
{
    if (!mod) return -1;
    return int(std::uint32_t(mod->position.load(std::memory_order_acquire) >> 32));
}

int FMUSIC_GetRow(FMUSIC_MODULE* mod)
{
    if (!mod) return -1;
    return int(std::uint32_t(mod->position.load(std::memory_order_acquire)));
}

bool FMUSIC_FreeSong(FMUSIC_MODULE* mod)
{
    if (!mod) return false;
    if (gPlaying == mod) {
        // Waits for a callback in progress; after it the device renders silence.
        if (gDevice) SDL_LockAudioDevice(gDevice);
        gPlaying = nullptr;
        if (gDevice) SDL_UnlockAudioDevice(gDevice);
    }
    openmpt_module_destroy(mod->player);
    delete mod;
    return true;
}

void FSOUND_Close()
{
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
