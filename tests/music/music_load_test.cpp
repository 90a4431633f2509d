// SPDX-License-Identifier: MIT
// Loading: only whole modules load; anything else gives no song, and a missing song reads
// as order and row -1 without harm to the calls around it.
#include "tests/music/music_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <random>

namespace {

// The start of a real PNG: signature, header chunk, end chunk.
std::vector<unsigned char> pngBytes()
{
    return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
            0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 16, 0, 0, 0, 16, 8, 2, 0, 0, 0,
            0x90, 0x91, 0x68, 0x36,
            0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
}

std::vector<unsigned char> randomBytes(std::size_t n)
{
    std::mt19937 rng(7);
    std::vector<unsigned char> b(n);
    for (auto& c : b) c = static_cast<unsigned char>(rng());
    return b;
}

} // namespace

TEST_F(MusicTest, NullSongReadsMinusOneAndEveryCallCopes)
{
    EXPECT_EQ(FMUSIC_GetOrder(nullptr), -1);
    EXPECT_EQ(FMUSIC_GetRow(nullptr), -1);
    EXPECT_FALSE(FMUSIC_PlaySong(nullptr));
    EXPECT_FALSE(FMUSIC_FreeSong(nullptr));
    EXPECT_EQ(musicOrderCount(nullptr), 0);
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
    FSOUND_Close(); // without FSOUND_Init, as at the end of a run whose start failed
    FSOUND_Close();
}

TEST_F(MusicTest, UnusableFilesGiveNoSong)
{
    const std::vector<unsigned char> whole = tinyModuleBytes(2, 1, 255, 16);
    const std::size_t headerAndOrders = 0xC0 + 3;
    std::vector<unsigned char> corruptOffsets = whole;
    corruptOffsets[0xC0 + 3 + 4 + 3] = 0x7F; // first pattern offset points 2 GiB past the end

    const std::vector<std::pair<std::string, std::vector<unsigned char>>> cases = {
        {"empty", {}},
        {"magic only", {'I', 'M', 'P', 'M'}},
        {"cut in the header", {whole.begin(), whole.begin() + 100}},
        {"cut in the offset tables", {whole.begin(), whole.begin() + headerAndOrders + 6}},
        {"cut after the tables", {whole.begin(), whole.begin() + headerAndOrders + 12 + 20}},
        {"cut in the sample data", {whole.begin(), whole.begin() + 400}},
        {"cut in the last pattern", {whole.begin(), whole.end() - 1}},
        {"pattern offset past the end", corruptOffsets},
        {"garbage", randomBytes(5000)},
        {"png renamed", pngBytes()},
        {"text", {'h', 'e', 'l', 'l', 'o', '\n'}},
    };
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    for (const auto& [name, bytes] : cases) {
        const std::string path = scratchPath("bad.it");
        ASSERT_TRUE(writeBytes(path, bytes)) << name;
        FMUSIC_MODULE* bad = FMUSIC_LoadSong(path.c_str());
        EXPECT_EQ(bad, nullptr) << name;
        EXPECT_EQ(FMUSIC_GetOrder(bad), -1) << name;
        EXPECT_EQ(FMUSIC_GetRow(bad), -1) << name;
        EXPECT_FALSE(FMUSIC_PlaySong(bad)) << name;
        if (bad) FMUSIC_FreeSong(bad);
    }
    // The same bytes, whole, load: the cases above fail for what was done to them.
    const std::string good = scratchPath("good.it");
    ASSERT_TRUE(writeBytes(good, whole));
    song = FMUSIC_LoadSong(good.c_str());
    EXPECT_NE(song, nullptr);
}

TEST_F(MusicTest, MissingFileAndDirectoryGiveNoSong)
{
    EXPECT_EQ(FMUSIC_LoadSong(scratchPath("no_such_file.it").c_str()), nullptr);
    const std::string dir = scratchPath("dir.it");
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    EXPECT_EQ(FMUSIC_LoadSong(dir.c_str()), nullptr);
    rmdir(dir.c_str());
}

TEST_F(MusicTest, OversizedFileIsNotReadIn)
{
    // A valid module padded (sparsely) to 100 MiB: refused by size before it is read.
    const std::string path = scratchPath("huge.it");
    ASSERT_TRUE(writeTinyModule(path, 2, 1, 255, 16));
    ASSERT_EQ(truncate(path.c_str(), 100 << 20), 0);
    EXPECT_EQ(FMUSIC_LoadSong(path.c_str()), nullptr);
    unlink(path.c_str());
}

TEST_F(MusicTest, InitRefusesImpossibleRatesAndCloseIsSafeAfterwards)
{
    setMusicOutput(MusicOutput::Offline);
    EXPECT_FALSE(FSOUND_Init(0, 32, 0));
    EXPECT_FALSE(FSOUND_Init(-44100, 32, 0));
    EXPECT_FALSE(FSOUND_Init(10'000'000, 32, 0));
    const std::string path = scratchPath("song.it");
    ASSERT_TRUE(writeTinyModule(path, 2, 1, 255, 16));
    song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr) << "loading does not depend on the output";
    EXPECT_FALSE(FMUSIC_PlaySong(song)) << "no output to play on";
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);
    FSOUND_Close();
}
