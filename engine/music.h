// engine/music.h — the music player: the seven calls the demo makes, over libopenmpt.
// Playback renders on the audio thread; order and row are published atomically so the
// frame never waits on it. The output (an SDL audio device, or none: the caller pulls the
// samples) is kept apart from the decoding so the capture tool can run offline.
#pragma once
#include <cstddef>

struct FMUSIC_MODULE; // a loaded song; opaque

bool FSOUND_Init(int mixRate, int maxChannels, unsigned flags);
FMUSIC_MODULE* FMUSIC_LoadSong(const char* path);
bool FMUSIC_PlaySong(FMUSIC_MODULE* mod);
int FMUSIC_GetOrder(FMUSIC_MODULE* mod); // -1 for a null handle; order-list length after the end
int FMUSIC_GetRow(FMUSIC_MODULE* mod);   // -1 for a null handle
bool FMUSIC_FreeSong(FMUSIC_MODULE* mod);
void FSOUND_Close();

// Where the mixed samples go. Chosen before FSOUND_Init.
enum class MusicOutput {
    Device,  // SDL audio; with no usable device, SDL's dummy driver paces playback silently
    Offline, // nothing plays by itself: the caller pulls samples with renderMusic
};
void setMusicOutput(MusicOutput output);

// Offline output: renders up to frames stereo frames (interleaved float, at the FSOUND_Init
// rate) from the playing song and advances its reported position with them. Returns the
// frames written; fewer than asked once the song has ended.
std::size_t renderMusic(FMUSIC_MODULE* mod, float* interleavedStereo, std::size_t frames);

// The number of orders in the song's order list (0 for a null handle).
int musicOrderCount(FMUSIC_MODULE* mod);
