// SPDX-License-Identifier: MIT
// web/music.h — the page's music device (Web Audio), for setMusicDevice.
#pragma once
#include "engine/music_device.h"

MusicDevice& webAudioOutput();
