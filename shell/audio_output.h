// SPDX-License-Identifier: MIT
// shell/audio_output.h — the native program's music device: SDL audio, and when the device
// goes away (a sound server that stopped, an output unplugged) a silent clock that pulls
// the song on in real time, so the demo still moves on and ends.
#pragma once
#include "engine/music_device.h"

// The one SDL audio output, for setMusicDevice. With no usable device it plays through
// SDL's dummy driver, which paces the song in real time without a sound card.
MusicDevice& sdlAudioOutput();

// For tests: the device reads as gone, as SDL reports a device that went away.
void setAudioDeviceGoneForTests(bool gone);
// For tests: whether the silent clock has taken over from the device.
bool silentClockRunsForTests();
// For tests: called on the audio thread for each buffer pulled, with the device clock's
// time (heardNowUs) of the pull and the time its first sample is scheduled to be heard.
void setAudioPullHookForTests(void (*hook)(std::int64_t pulledAtUs, std::int64_t heardAtUs, std::size_t frames));
