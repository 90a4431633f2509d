// SPDX-License-Identifier: MIT
// tests/support/fake_music.cpp — the scripted music player (see the header).
#include "tests/support/fake_music.h"

#include "engine/music.h"

namespace fakemusic {
namespace {
int order = 0, row = 0;
std::deque<int> orders, rows;
std::function<void(int)> orderHook;
int orderCount = 0, rowCount = 0, frees = 0, closes = 0;
} // namespace

void reset()
{
    order = row = 0;
    orders.clear();
    rows.clear();
    orderHook = nullptr;
    orderCount = rowCount = frees = closes = 0;
}
void setOrder(int o) { order = o; }
void setRow(int r) { row = r; }
void queueOrders(std::initializer_list<int> os) { orders.insert(orders.end(), os); }
void queueRows(std::initializer_list<int> rs) { rows.insert(rows.end(), rs); }
void onOrderQuery(std::function<void(int)> fn) { orderHook = std::move(fn); }
int orderReads() { return orderCount; }
int rowReads() { return rowCount; }
int freeCalls() { return frees; }
int closeCalls() { return closes; }

int nextOrder()
{
    if (orderHook)
        orderHook(orderCount);
    ++orderCount;
    if (!orders.empty()) {
        const int o = orders.front();
        orders.pop_front();
        return o;
    }
    return order;
}
int nextRow()
{
    ++rowCount;
    if (!rows.empty()) {
        const int r = rows.front();
        rows.pop_front();
        return r;
    }
    return row;
}

} // namespace fakemusic

bool FSOUND_Init(int, int, unsigned) { return true; }
void loadSongAhead(const char*) {}
FMUSIC_MODULE* FMUSIC_LoadSong(const char*) { return nullptr; }
bool FMUSIC_PlaySong(FMUSIC_MODULE*) { return true; }
int FMUSIC_GetOrder(FMUSIC_MODULE*) { return fakemusic::nextOrder(); }
int FMUSIC_GetRow(FMUSIC_MODULE*) { return fakemusic::nextRow(); }
bool FMUSIC_FreeSong(FMUSIC_MODULE*)
{
    ++fakemusic::frees;
    return true;
}
void FSOUND_Close() { ++fakemusic::closes; }
void setMusicOutput(MusicOutput) {}
std::size_t renderMusic(FMUSIC_MODULE*, float*, std::size_t) { return 0; }
int musicOrderCount(FMUSIC_MODULE*) { return 32; }
