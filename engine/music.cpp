// FIXME: placeholder until the music layer lands: no song, order and row -1.
#include "engine/music.h"
bool FSOUND_Init(int, int, unsigned) { return true; }
FMUSIC_MODULE* FMUSIC_LoadSong(const char*) { return nullptr; }
bool FMUSIC_PlaySong(FMUSIC_MODULE*) { return false; }
int FMUSIC_GetOrder(FMUSIC_MODULE*) { return -1; }
int FMUSIC_GetRow(FMUSIC_MODULE*) { return -1; }
bool FMUSIC_FreeSong(FMUSIC_MODULE*) { return false; }
void FSOUND_Close() {}
void setMusicOutput(MusicOutput) {}
std::size_t renderMusic(FMUSIC_MODULE*, float*, std::size_t) { return 0; }
int musicOrderCount(FMUSIC_MODULE*) { return 0; }
