// SPDX-License-Identifier: MIT
// web/music.cpp — the music player in the page: the same calls as engine/music.h over
// libopenmpt compiled to wasm, heard through Web Audio. The page's audio callback
// (page.js, a ScriptProcessorNode on the main thread) asks for each buffer with the context
// time it will be heard at; the song renders in blocks of 512 frames and each block's order
// and row wait in a queue until the audio clock reaches that time, so the scenes read the
// position being heard. Offline output (deterministic mode) renders on demand, as the capture
// tool does. After the last order the position reads as the order count, as natively.
#include "engine/music.h"
#include "engine/module_file.h"

#include <emscripten.h>
#include <libopenmpt/libopenmpt.h>


#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

struct FMUSIC_MODULE {
    openmpt_module* player = nullptr;
    int orderCount = 0;
    int order = 0, row = 0; // the position the scenes read
    bool rendered = false;
    bool ended = false;
};

namespace {

constexpr std::size_t kBlockFrames = 512;
constexpr int kMinMixRate = 8000, kMaxMixRate = 192000;

MusicOutput gRequestedOutput = MusicOutput::Device;
MusicOutput gOutput = MusicOutput::Device;
bool gInitialised = false;
int gMixRate = 44100;
FMUSIC_MODULE* gPlaying = nullptr;
void (*gBlockHook)() = nullptr;

// Positions rendered for the device, waiting to be heard.
struct Heard {
    double at; // audio-context seconds
    int order, row;
};
std::vector<Heard> gQueue;

// clang-format off
EM_JS(int, rintaAudioOpen, (int rate), { return Module.rintaAudio ? Module.rintaAudio.open(rate) : 0; });
EM_JS(void, rintaAudioClose, (), { if (Module.rintaAudio) Module.rintaAudio.close(); });
EM_JS(double, rintaAudioTime, (), { return Module.rintaAudio ? Module.rintaAudio.time() : 0; });
// clang-format on

void renderedPosition(FMUSIC_MODULE* mod, std::size_t got, std::size_t asked, int& order, int& row)
{
    if (got < asked) {
        // libopenmpt rewinds once it stops; the demo needs "past the last order"
        mod->ended = true;
        order = mod->orderCount;
        row = 0;
    } else {
        order = openmpt_module_get_current_order(mod->player);
        row = openmpt_module_get_current_row(mod->player);
    }
}

std::size_t renderBlock(FMUSIC_MODULE* mod, float* out, std::size_t frames, int& order, int& row)
{
    if (mod->ended) {
        order = mod->orderCount;
        row = 0;
        return 0;
    }
    if (gBlockHook)
        gBlockHook();
    mod->rendered = true;
    const std::size_t got = openmpt_module_read_interleaved_float_stereo(mod->player, gMixRate, frames, out);
    renderedPosition(mod, got, frames, order, row);
    return got;
}

// Brings the heard position up to the audio clock.
void catchUp(FMUSIC_MODULE* mod)
{
    if (gOutput != MusicOutput::Device || mod != gPlaying || gQueue.empty())
        return;
    const double now = rintaAudioTime();
    std::size_t n = 0;
    while (n < gQueue.size() && gQueue[n].at <= now) {
        mod->order = gQueue[n].order;
        mod->row = gQueue[n].row;
        ++n;
    }
    gQueue.erase(gQueue.begin(), gQueue.begin() + long(n));
}

} // namespace

// The page's audio callback: fills frames of interleaved stereo for the buffer heard at
// context time `at`; silence when nothing plays. Returns the frames of music written.
extern "C" EMSCRIPTEN_KEEPALIVE int rintaAudioFill(float* out, int frames, double at)
{
    std::memset(out, 0, std::size_t(frames) * 2 * sizeof(float));
    FMUSIC_MODULE* mod = gPlaying;
    if (!mod || gOutput != MusicOutput::Device)
        return 0;
    int done = 0;
    while (done < frames) {
        const std::size_t want = std::min<std::size_t>(kBlockFrames, std::size_t(frames - done));
        int order = 0, row = 0;
        const std::size_t got = renderBlock(mod, out + 2 * done, want, order, row);
        // the block's position is heard from the moment its last frame plays
        gQueue.push_back({at + double(done + int(want)) / gMixRate, order, row});
        done += int(got);
        if (got < want)
            break;
    }
    return done;
}

void setMusicOutput(MusicOutput output) { gRequestedOutput = output; }
void setMusicBlockHook(void (*hook)()) { gBlockHook = hook; }

bool FSOUND_Init(int mixRate, int, unsigned)
{
    if (gInitialised)
        FSOUND_Close();
    if (mixRate < kMinMixRate || mixRate > kMaxMixRate) {
        std::fprintf(stderr, "music: mixing rate %d not supported\n", mixRate);
        return false;
    }
    gMixRate = mixRate;
    gOutput = gRequestedOutput;
    // The page resamples to the device's own rate; without a device it keeps a silent clock.
    if (gOutput == MusicOutput::Device && !rintaAudioOpen(mixRate)) {
        std::fprintf(stderr, "music: no Web Audio in this page\n");
        return false;
    }
    gInitialised = true;
    return true;
}

namespace {

FMUSIC_MODULE* loadSong(const char* path)
{
    openmpt_module* player = openModuleFile(path);
    if (!player) return nullptr;
    openmpt_module_set_repeat_count(player, 0);
    openmpt_module_ctl_set_text(player, "play.at_end", "stop");
    auto* mod = new FMUSIC_MODULE;
    mod->player = player;
    mod->orderCount = openmpt_module_get_num_orders(player);
    return mod;
}

// A song read ahead (the page has one thread: "ahead" is simply earlier), taken by the next
// FMUSIC_LoadSong of the same path.
std::string gAheadPath;
FMUSIC_MODULE* gAheadSong = nullptr;

} // namespace

void loadSongAhead(const char* path)
{
    if (!path || !gAheadPath.empty())
        return; // one song ahead at a time
    gAheadPath = path;
    gAheadSong = loadSong(path); // says on stderr why, if it cannot
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* path)
{
    if (!path)
        return nullptr;
    if (!gAheadPath.empty() && gAheadPath == path) { // read ahead, or found unusable ahead
        gAheadPath.clear();
        return std::exchange(gAheadSong, nullptr);
    }
    return loadSong(path);
}

bool FMUSIC_PlaySong(FMUSIC_MODULE* mod)
{
    if (!mod || !gInitialised)
        return false;
    if (mod->rendered)
        openmpt_module_set_position_order_row(mod->player, 0, 0);
    mod->rendered = false;
    mod->ended = false;
    mod->order = mod->row = 0;
    gQueue.clear();
    gPlaying = mod;
    return true;
}

int FMUSIC_GetOrder(FMUSIC_MODULE* mod)
{
    if (!mod)
        return -1;
    catchUp(mod);
    return mod->order;
}

int FMUSIC_GetRow(FMUSIC_MODULE* mod)
{
    if (!mod)
        return -1;
    catchUp(mod);
    return mod->row;
}

bool FMUSIC_FreeSong(FMUSIC_MODULE* mod)
{
    if (!mod)
        return false;
    if (gPlaying == mod) {
        gPlaying = nullptr; // the callback runs on this thread: from now on it plays silence
        gQueue.clear();
    }
    openmpt_module_destroy(mod->player);
    delete mod;
    return true;
}

void FSOUND_Close()
{
    if (gInitialised && gOutput == MusicOutput::Device)
        rintaAudioClose();
    gPlaying = nullptr;
    gQueue.clear();
    gInitialised = false;
}

std::size_t renderMusic(FMUSIC_MODULE* mod, float* interleavedStereo, std::size_t frames)
{
    if (!mod || !interleavedStereo || gOutput != MusicOutput::Offline || gPlaying != mod)
        return 0;
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t want = std::min(kBlockFrames, frames - done);
        const std::size_t got = renderBlock(mod, interleavedStereo + 2 * done, want, mod->order, mod->row);
        done += got;
        if (got < want)
            break;
    }
    std::memset(interleavedStereo + 2 * done, 0, (frames - done) * 2 * sizeof(float));
    return done;
}

int musicOrderCount(FMUSIC_MODULE* mod) { return mod ? mod->orderCount : 0; }
