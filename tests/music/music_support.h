// SPDX-License-Identifier: MIT
// tests/music/music_support.h — shared set-up for the music layer's suites: a scratch file
// per test, and a fixture that plays through the native program's SDL output and leaves the
// player closed and the output back on it.
#pragma once
#include "engine/music.h"
#include "shell/audio_output.h"
#include "tests/support/tiny_module.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

inline std::vector<std::string>& scratchFiles()
{
    static std::vector<std::string> files;
    return files;
}

// A file name of this test's own; removed when the test ends.
inline std::string scratchPath(const std::string& name)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string path = ::testing::TempDir() + "rinta_music_" + info->name() + "_" + name;
    scratchFiles().push_back(path);
    return path;
}

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override { setMusicDevice(&sdlAudioOutput()); }

    void TearDown() override
    {
        if (song) FMUSIC_FreeSong(song);
        FSOUND_Close();
        setMusicBlockHook(nullptr);
        setMusicLookupHook(nullptr);
        setMusicFreeHook(nullptr);
        setAudioDeviceGoneForTests(false);
        setAudioPullHookForTests(nullptr);
        setMusicOutput(MusicOutput::Device);
        for (const std::string& path : scratchFiles()) unlink(path.c_str());
        scratchFiles().clear();
    }

    // Loads a tiny module written for this test and starts it with the given output.
    FMUSIC_MODULE* start(MusicOutput output, int orders, int rows, TinyJump jump = {})
    {
        const std::string path = scratchPath("song.it");
        EXPECT_TRUE(writeTinyModule(path, orders, 1, 255, rows, jump));
        setMusicOutput(output);
        EXPECT_TRUE(FSOUND_Init(44100, 32, 0));
        song = FMUSIC_LoadSong(path.c_str());
        EXPECT_NE(song, nullptr);
        EXPECT_TRUE(FMUSIC_PlaySong(song));
        return song;
    }

    FMUSIC_MODULE* song = nullptr;
};
