// SPDX-License-Identifier: MIT
// engine/timeline.cpp — the scene table, the keyboard override and the order-32 ending.
// The order is read afresh for every test: the player runs on by itself, so two reads in
// one dispatch may differ at an order boundary.
#include "engine/timeline.h"

#include <algorithm>
#include <cstdio>

#include "engine/music.h"
#include "engine/startup.h"
#include "platform/platform.h"

int SceneOverride = 0;
SceneFunction SceneFunctions[8] = {drawScene1, drawScene2, drawScene3, drawScene4,
                                   drawScene5, drawScene6, drawScene7, drawScene8};

namespace {

struct OrderRange {
    int first, last; // inclusive
};

const OrderRange kRanges[8] = {{0, 7}, {8, 9}, {10, 11}, {12, 15}, {16, 19}, {20, 22}, {23, 25}, {26, 31}};

constexpr unsigned kArrowSleepMs = 100;

ShutdownFn shutdownHook = nullptr;

void tellOnStderr(SongEndsEarly how, int order)
{
    if (how == SongEndsEarly::Ended)
        std::fprintf(stderr, "rinta: the song ended before order %d; the demo runs until Esc\n", kEndOrder);
    else
        std::fprintf(stderr, "rinta: the song went back to order %d before order %d; the demo runs until Esc\n",
                     order, kEndOrder);
}

SongEndsEarlyFn earlyEndNotice = tellOnStderr;
bool earlyEndTold = false;
int highestOrderSeen = -1;

// Whether the order the dispatch ended with shows a song that will never reach the ending.
void watchForEarlyEnd(int order)
{
    if (earlyEndTold || order < 0) // no song reports -1
        return;
    const bool ended = order == musicOrderCount(song); // the order a song reports once it has ended
    const bool looped = order < highestOrderSeen;
    highestOrderSeen = std::max(highestOrderSeen, order);
    if (!ended && !looped)
        return;
    earlyEndTold = true;
    earlyEndNotice(ended ? SongEndsEarly::Ended : SongEndsEarly::Looped, order);
}

} // namespace

void setTimelineShutdown(ShutdownFn fn) { shutdownHook = fn; }

void setSongEndsEarlyNotice(SongEndsEarlyFn fn)
{
    earlyEndNotice = fn ? fn : tellOnStderr;
    earlyEndTold = false;
    highestOrderSeen = -1;
}

bool handleSceneKeys()
{
    for (int digit = 1; digit <= 8; ++digit) // the highest digit held wins
        if (asyncKeyState(kVk1 + digit - 1))
            SceneOverride = digit - 1;
    if (asyncKeyState(kVkRight)) {
        SceneOverride += 1;
        Sleep(kArrowSleepMs);
    }
    if (asyncKeyState(kVkLeft)) {
        SceneOverride -= 1;
        Sleep(kArrowSleepMs);
    }
    dispatchScenes(SceneOverride);
    return true;
}

bool dispatchScenes(int override)
{
    for (int index = 0; index < 8; ++index) {
        const int order = FMUSIC_GetOrder(song);
        if ((order >= kRanges[index].first && order <= kRanges[index].last) || override == index)
            SceneFunctions[index]();
    }
    const int order = FMUSIC_GetOrder(song);
    if (order == kEndOrder) {
        FMUSIC_FreeSong(song);
        FSOUND_Close();
        if (shutdownHook)
            shutdownHook();
        endProcess(0);
    }
    watchForEarlyEnd(order);
    return true;
}
