// SPDX-License-Identifier: MIT
// engine/music.h — the music player: the seven calls the demo makes, over libopenmpt.
// Playback renders on the device's thread; order and row are published atomically so the
// frame never waits on it. The output (the front end's MusicDevice, see music_device.h, or
// none: the caller pulls the samples) is kept apart from the decoding so the capture tool
// can run offline.
#pragma once
#include <cstddef>

struct FMUSIC_MODULE; // a loaded song; opaque

bool FSOUND_Init(int mixRate, int maxChannels, unsigned flags);
FMUSIC_MODULE* FMUSIC_LoadSong(const char* path);
bool FMUSIC_PlaySong(FMUSIC_MODULE* mod);
int FMUSIC_GetOrder(FMUSIC_MODULE* mod); // -1 for a null handle; order-list length after the end
int FMUSIC_GetRow(FMUSIC_MODULE* mod);   // -1 for a null handle; 0 after the end
bool FMUSIC_FreeSong(FMUSIC_MODULE* mod);
void FSOUND_Close();

// Reads and parses the song at path ahead of FMUSIC_LoadSong, on any thread, so that a later
// FMUSIC_LoadSong of the same path only takes it (waiting if it is still being read). What
// it cannot load is left for FMUSIC_LoadSong to report.
void loadSongAhead(const char* path);

// Where the mixed samples go. Takes effect at the next FSOUND_Init.
enum class MusicOutput {
    Device,  // the front end's device (setMusicDevice): SDL audio natively, Web Audio in the page
    Offline, // nothing plays by itself: the caller pulls samples with renderMusic
};
void setMusicOutput(MusicOutput output);

// Offline output: renders up to frames stereo frames (interleaved float, at the FSOUND_Init
// rate) from the playing song and advances its reported position with them: afterwards order
// and row are those of the last frame rendered. Returns the frames written; fewer than asked
// once the song has ended (the rest of the buffer is zeroed). 0 unless the song was started
// with Offline output.
std::size_t renderMusic(FMUSIC_MODULE* mod, float* interleavedStereo, std::size_t frames);

// The number of orders in the song's order list (0 for a null handle).
int musicOrderCount(FMUSIC_MODULE* mod);

// For tests: called on the rendering thread before each block (about one tick) is rendered,
// while the song is held by that thread. nullptr removes it.
void setMusicBlockHook(void (*hook)());
// For tests: called by a position query while it reads the schedule of heard positions.
void setMusicLookupHook(void (*hook)());
// For tests: called by FMUSIC_FreeSong once the song is no longer played, before it is destroyed.
void setMusicFreeHook(void (*hook)());

