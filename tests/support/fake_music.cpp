// SPDX-License-Identifier: MIT
// tests/support/fake_music.cpp — the scripted music player (see the header).
#include "tests/support/fake_music.h"

#include "engine/music.h"

namespace fakemusic {
namespace {
int order = 0, row = 0;
std::deque<int> orders, rows;
std::function<void(int)> orderHook;
std::function<void(const std::string&)> callHook;
int orderCount = 0, rowCount = 0, frees = 0, closes = 0;
int songOrders = 32;

void noteCall(const std::string& call)
{
    if (callHook)
        callHook(call);
}
} // namespace

void reset()
{
    order = row = 0;
    orders.clear();
    rows.clear();
    orderHook = nullptr;
    callHook = nullptr;
    orderCount = rowCount = frees = closes = 0;
    songOrders = 32;
}
void setOrder(int o) { order = o; }
void setRow(int r) { row = r; }
void setOrderCount(int count) { songOrders = count; }
int orderCountOfSong() { return songOrders; }
void queueOrders(std::initializer_list<int> os) { orders.insert(orders.end(), os); }
void queueRows(std::initializer_list<int> rs) { rows.insert(rows.end(), rs); }
void onOrderQuery(std::function<void(int)> fn) { orderHook = std::move(fn); }
void onCall(std::function<void(const std::string&)> fn) { callHook = std::move(fn); }
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

bool FSOUND_Init(int rate, int channels, unsigned flags)
{
    fakemusic::noteCall("FSOUND_Init(" + std::to_string(rate) + ", " + std::to_string(channels) + ", " +
                        std::to_string(flags) + ")");
    return true;
}
void loadSongAhead(const char* path) { fakemusic::noteCall(std::string("loadSongAhead(") + (path ? path : "null") + ")"); }
FMUSIC_MODULE* FMUSIC_LoadSong(const char* path)
{
    fakemusic::noteCall(std::string("FMUSIC_LoadSong(") + (path ? path : "null") + ")");
    return nullptr;
}
bool FMUSIC_PlaySong(FMUSIC_MODULE*)
{
    fakemusic::noteCall("FMUSIC_PlaySong");
    return true;
}
int FMUSIC_GetOrder(FMUSIC_MODULE*) { return fakemusic::nextOrder(); }
int FMUSIC_GetRow(FMUSIC_MODULE*) { return fakemusic::nextRow(); }
bool FMUSIC_FreeSong(FMUSIC_MODULE*)
{
    fakemusic::noteCall("FMUSIC_FreeSong");
    ++fakemusic::frees;
    return true;
}
void FSOUND_Close()
{
    fakemusic::noteCall("FSOUND_Close");
    ++fakemusic::closes;
}
void setMusicOutput(MusicOutput) {}
std::size_t renderMusic(FMUSIC_MODULE*, float*, std::size_t) { return 0; }
int musicOrderCount(FMUSIC_MODULE*) { return fakemusic::orderCountOfSong(); }
