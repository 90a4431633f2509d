// engine/timeline.cpp — the scene table, the keyboard override and the order-32 ending.
// The order is read afresh for every test: the player runs on by itself, so two reads in
// one dispatch may differ at an order boundary.
#include "engine/timeline.h"

#include "engine/music.h"
#include "engine/startup.h"
#include "platform/platform.h"

int SceneOverride = 0;

namespace {

struct SceneEntry {
    bool (*draw)();
    int firstOrder, lastOrder; // inclusive
};

const SceneEntry kScenes[8] = {
    {drawScene1, 0, 7},   {drawScene2, 8, 9},   {drawScene3, 10, 11}, {drawScene4, 12, 15},
    {drawScene5, 16, 19}, {drawScene6, 20, 22}, {drawScene7, 23, 25}, {drawScene8, 26, 31},
};

constexpr int kEndOrder = 32;
constexpr unsigned kArrowSleepMs = 100;

ShutdownFn shutdownHook = nullptr;

} // namespace

void setTimelineShutdown(ShutdownFn fn) { shutdownHook = fn; }

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
        if ((order >= kScenes[index].firstOrder && order <= kScenes[index].lastOrder) || override == index)
            kScenes[index].draw();
    }
    if (FMUSIC_GetOrder(song) == kEndOrder) {
        FMUSIC_FreeSong(song);
        FSOUND_Close();
        if (shutdownHook)
            shutdownHook();
        endProcess(0);
    }
    return true;
}
