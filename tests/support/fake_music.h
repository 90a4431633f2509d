// SPDX-License-Identifier: MIT
// tests/support/fake_music.h — a scripted music player for tests of the timeline and
// scenes: linked in place of the real layer, it answers order and row queries from a
// script and counts the calls.
#pragma once
#include <deque>
#include <functional>
#include <string>

namespace fakemusic {

void reset(); // order 0, row 0, no script, counters cleared
void setOrder(int order);
void setRow(int row);
// The length of the song's order list (musicOrderCount); 32 after reset.
void setOrderCount(int count);
int orderCountOfSong();
// Answers for the next queries, oldest first; after them the set value is answered.
void queueOrders(std::initializer_list<int> orders);
void queueRows(std::initializer_list<int> rows);
// Called before every order query (for example to end the song after n reads).
void onOrderQuery(std::function<void(int readIndex)> fn);
// Called by the calls that start and stop the music, each named as written
// ("FSOUND_Init(44100, 32, 0)", "FMUSIC_LoadSong(data/sorvan.it)", "FMUSIC_PlaySong",
// "FMUSIC_FreeSong", "FSOUND_Close", "loadSongAhead(data/sorvan.it)"), so a test can log them
// among its own steps, or hold the thread that makes one.
void onCall(std::function<void(const std::string& call)> fn);

int orderReads();
int rowReads();
int freeCalls();
int closeCalls();

} // namespace fakemusic
