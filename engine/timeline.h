// SPDX-License-Identifier: MIT
// engine/timeline.h — which scenes run each frame: the song order selects one, the
// keyboard override forces one more; order 32 ends the demo from inside the frame.
#pragma once

extern int SceneOverride; // 0 to 7 force scene 1 to 8; anything else forces nothing

// The eight scene functions in table order (drawScene1 to drawScene8); a test may stand in.
using SceneFunction = bool (*)();
extern SceneFunction SceneFunctions[8];

bool handleSceneKeys();
bool dispatchScenes(int override);

// The order whose start ends the demo: the song is freed, the shutdown hook runs, the process ends.
constexpr int kEndOrder = 32;

// Called at the order-32 ending before the process ends (the shell's killGLWindow).
using ShutdownFn = void (*)();
void setTimelineShutdown(ShutdownFn fn);

// A song that ends before order 32, or jumps back to an earlier order, never brings the
// ending: the demo runs on until Esc. The first dispatch that sees it calls the notice once,
// with the order then playing (after an ended song, its order count). The default notice says
// so on stderr; installing one (nullptr: the default) starts the watch afresh.
enum class SongEndsEarly { Ended, Looped };
using SongEndsEarlyFn = void (*)(SongEndsEarly how, int order);
void setSongEndsEarlyNotice(SongEndsEarlyFn fn);

bool drawScene1();
bool drawScene2();
bool drawScene3();
bool drawScene4();
bool drawScene5();
bool drawScene6();
bool drawScene7();
bool drawScene8();
