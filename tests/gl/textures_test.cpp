// SPDX-License-Identifier: MIT
// The JPEG texture loader in a real GL context: good pictures become mipmapped, repeat-
// wrapped, upright textures; anything unsafe or unreadable leaves its slot at 0.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/startup.h"
#include "engine/textures.h"
#include "platform/headless.h"

namespace fs = std::filesystem;

namespace {

// A w x h JPEG whose top half is red and bottom half blue; in CMYK (a YCCK file, as print
// software writes them) when asked.
std::vector<unsigned char> makeJpeg(int w, int h, bool cmyk = false)
{
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &pixels[(static_cast<size_t>(y) * w + x) * 4];
            const bool top = y < h / 2;
            if (cmyk) { // inverted, as Adobe's applications store it: 255 is no ink
                p[0] = top ? 255 : 22;
                p[1] = 22;
                p[2] = top ? 22 : 255;
                p[3] = 230;
            } else {
                p[0] = top ? 230 : 20;
                p[1] = 20;
                p[2] = top ? 20 : 230;
                p[3] = 255;
            }
        }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, pixels.data(), w, 0, h, cmyk ? TJPF_CMYK : TJPF_RGBX, &out, &size, TJSAMP_444, 95, 0);
    std::vector<unsigned char> bytes(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

// A flat grey w x h JPEG: a few hundred kilobytes whatever its size, the shape of a
// decompression bomb.
std::vector<unsigned char> makeFlatJpeg(int w, int h)
{
    std::vector<unsigned char> grey(static_cast<size_t>(w) * h, 128);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, grey.data(), w, 0, h, TJPF_GRAY, &out, &size, TJSAMP_GRAY, 75, 0);
    std::vector<unsigned char> bytes(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

void writeFile(const fs::path& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class TextureLoader : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ctx_ = createHeadlessContext(64, 64, error);
        ASSERT_NE(ctx_, nullptr) << error;
        dir_ = fs::temp_directory_path() / ("rinta-textures-" + std::to_string(getpid()));
        fs::create_directories(dir_ / "data");
    }
    void TearDown() override
    {
        destroyHeadlessContext(ctx_);
        fs::remove_all(dir_);
    }
    std::string file(const char* name) const { return (dir_ / name).string(); }

    HeadlessContext* ctx_ = nullptr;
    fs::path dir_;
};

TEST_F(TextureLoader, GoodPictureIsUprightMipmappedAndRepeats)
{
    writeFile(file("good.jpg"), makeJpeg(64, 32));
    JpegTextureLoader loader;
    ASSERT_TRUE(loader.loadFromFile(file("good.jpg").c_str()));
    const GLuint name = loader.bindAsTexture();
    ASSERT_NE(name, 0u);

    GLint w = 0, h = 0, wrapS = 0, wrapT = 0, minFilter = 0, lastW = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 6, GL_TEXTURE_WIDTH, &lastW);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 32);
    EXPECT_EQ(lastW, 1) << "the mipmap chain reaches 1 x 1";
    EXPECT_EQ(wrapS, GL_REPEAT);
    EXPECT_EQ(wrapT, GL_REPEAT);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);

    std::vector<unsigned char> texels(64 * 32 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    const unsigned char* firstRow = &texels[0];               // t = 0: the picture's bottom
    const unsigned char* lastRow = &texels[31 * 64 * 4];      // t = 1: the picture's top
    EXPECT_GT(firstRow[2], 180);
    EXPECT_LT(firstRow[0], 60);
    EXPECT_GT(lastRow[0], 180);
    EXPECT_LT(lastRow[2], 60);
}

TEST_F(TextureLoader, UnreadablePicturesLeaveTheSlotEmptyAndSaySo)
{
    const std::vector<unsigned char> good = makeJpeg(32, 32);
    writeFile(file("empty.jpg"), {});
    writeFile(file("truncated.jpg"), std::vector<unsigned char>(good.begin(), good.begin() + good.size() / 2));
    std::vector<unsigned char> corrupt = good;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() - 2; i += 7)
        corrupt[i] = 0xFF; // markers where entropy-coded data should be
    writeFile(file("corrupt.jpg"), corrupt);
    writeFile(file("png.jpg"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'});
    // A valid JPEG whose header claims 30000 x 30000: refused before anything is allocated.
    std::vector<unsigned char> huge = good;
    for (size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
            huge[i + 5] = 30000 >> 8;
            huge[i + 6] = 30000 & 0xFF;
            huge[i + 7] = 30000 >> 8;
            huge[i + 8] = 30000 & 0xFF;
            break;
        }
    writeFile(file("huge.jpg"), huge);
    // Cut before the frame header: the decoder reads these as a picture of 0 x 0.
    writeFile(file("cut3.jpg"), std::vector<unsigned char>(good.begin(), good.begin() + 3));
    writeFile(file("cut100.jpg"), std::vector<unsigned char>(good.begin(), good.begin() + 100));
    fs::create_directory(dir_ / "folder.jpg");
    fs::create_symlink("loop.jpg", dir_ / "loop.jpg");
    writeFile(file("locked.jpg"), good);
    fs::permissions(dir_ / "locked.jpg", fs::perms::none);
    const bool root = geteuid() == 0; // reads whatever the permissions say

    struct Case {
        const char* name;
        const char* says; // the reason, in the words a reader of the line needs
    };
    JpegTextureLoader loader;
    loader.setDebugMode(true);
    for (const Case& c : {Case{"missing.jpg", "cannot open the file (No such file or directory)"},
                          Case{"loop.jpg", "cannot open the file (Too many levels of symbolic links)"},
                          Case{"locked.jpg", "cannot open the file (Permission denied)"},
                          Case{"empty.jpg", "the file is empty"},
                          Case{"folder.jpg", "not a regular file"},
                          Case{"cut3.jpg", "cut short"},
                          Case{"cut100.jpg", "cut short"},
                          Case{"truncated.jpg", "unreadable JPEG header"},
                          Case{"corrupt.jpg", "unreadable JPEG header"},
                          Case{"png.jpg", "not a JPEG file"},
                          Case{"huge.jpg", "picture of 30000 x 30000 is larger than 8192 on a side"}}) {
        if (root && std::string(c.name) == "locked.jpg")
            continue;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(loader.loadFromFile(file(c.name).c_str())) << c.name;
        EXPECT_EQ(loader.bindAsTexture(), 0u) << c.name;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.name), std::string::npos) << "debug mode names the file: " << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << "want \"" << c.says << "\": " << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line per file: " << said;
    }

    // A failure does not poison the next load with the same object.
    writeFile(file("after.jpg"), good);
    EXPECT_TRUE(loader.loadFromFile(file("after.jpg").c_str()));
    EXPECT_NE(loader.bindAsTexture(), 0u);

    // Without debug mode a failure says nothing.
    JpegTextureLoader quiet;
    ::testing::internal::CaptureStderr();
    quiet.loadFromFile(file("missing.jpg").c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Runs load() and, should it still be running after 10 s, opens the FIFO for writing and
// closes it, which lets a reader stuck in opening it go on: a loader that waits on a FIFO
// fails the test instead of hanging it. True when load() returned by itself.
bool returnsWithoutAWriter(const std::string& fifo, const std::function<void()>& load)
{
    std::atomic<bool> returned{false}, helped{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !returned; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        while (!returned) {
            helped = true;
            const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    load();
    returned = true;
    watchdog.join();
    return !helped;
}

TEST_F(TextureLoader, AFifoInAPicturesPlaceIsRefusedWithoutWaitingForAWriter)
{
    ASSERT_EQ(mkfifo(file("fifo.jpg").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(file("fifo-ahead.jpg").c_str(), 0600), 0);
    JpegTextureLoader loader;
    loader.setDebugMode(true);

    bool loaded = true;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(returnsWithoutAWriter(file("fifo.jpg"), [&] { loaded = loader.loadFromFile(file("fifo.jpg").c_str()); }))
        << "the loader waited on the FIFO";
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(loaded);
    EXPECT_NE(said.find("fifo.jpg: not a regular file, not loaded"), std::string::npos) << said;

    // The same on the data thread, which decodes ahead while the main thread makes the window.
    const std::string ahead = file("fifo-ahead.jpg");
    const char* paths[] = {ahead.c_str()};
    EXPECT_TRUE(returnsWithoutAWriter(ahead, [&] { std::thread([&] { decodePicturesAhead(paths, 1); }).join(); }))
        << "decoding ahead waited on the FIFO";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(loader.loadFromFile(ahead.c_str()));
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("fifo-ahead.jpg: not a regular file, not loaded"), std::string::npos) << said;
}

TEST_F(TextureLoader, CmykPictureShowsItsColours)
{
    writeFile(file("cmyk.jpg"), makeJpeg(32, 32, true));
    JpegTextureLoader loader;
    loader.setDebugMode(true);
    ::testing::internal::CaptureStderr();
    const bool loaded = loader.loadFromFile(file("cmyk.jpg").c_str());
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(loaded) << said;
    ASSERT_NE(loader.bindAsTexture(), 0u);
    std::vector<unsigned char> texels(32 * 32 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    const unsigned char* bottom = &texels[0];
    const unsigned char* top = &texels[31 * 32 * 4];
    EXPECT_GT(top[0], 200);
    EXPECT_LT(top[1], 50);
    EXPECT_LT(top[2], 50);
    EXPECT_GT(bottom[2], 200);
    EXPECT_LT(bottom[0], 50);
    EXPECT_EQ(top[3], 255);
}

// The size of the texture just bound.
std::pair<GLint, GLint> boundSize()
{
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    return {w, h};
}

// Small files that claim huge pictures are decoded at a reduced scale, decoded ahead or not:
// each within the side and texel bounds and no smaller than the bounds need, the picture kept.
// Pictures of the sizes the demo ships are decoded whole.
TEST_F(TextureLoader, LargePicturesAreDecodedSmallerWithinTheBounds)
{
    writeFile(file("bomb.jpg"), makeFlatJpeg(8192, 8192));
    writeFile(file("bomb-ahead.jpg"), makeFlatJpeg(8192, 8192));
    writeFile(file("wide.jpg"), makeFlatJpeg(8000, 1000));
    writeFile(file("shipped.jpg"), makeFlatJpeg(2048, 1024));
    const std::string ahead = file("bomb-ahead.jpg");
    const char* paths[] = {ahead.c_str()};
    decodePicturesAhead(paths, 1);

    JpegTextureLoader loader;
    for (const char* name : {"bomb.jpg", "bomb-ahead.jpg", "wide.jpg"}) {
        ASSERT_TRUE(loader.loadFromFile(file(name).c_str())) << name;
        ASSERT_NE(loader.bindAsTexture(), 0u);
        const auto [w, h] = boundSize();
        EXPECT_LE(std::max(w, h), JpegTextureLoader::kMaxDecodedSide) << name;
        EXPECT_LE(long(w) * h, JpegTextureLoader::kMaxDecodedTexels) << name;
        EXPECT_TRUE(2 * std::max(w, h) > JpegTextureLoader::kMaxDecodedSide ||
                    4 * long(w) * h > JpegTextureLoader::kMaxDecodedTexels)
            << name << " at " << w << " x " << h << " is smaller than it need be";
        std::vector<unsigned char> texels(size_t(w) * h * 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        EXPECT_NEAR(texels[texels.size() / 2], 128, 2) << name << ": the grey is kept";
    }
    EXPECT_EQ(pictureBytesDecodedAhead(), 0u);

    ASSERT_TRUE(loader.loadFromFile(file("shipped.jpg").c_str()));
    ASSERT_NE(loader.bindAsTexture(), 0u);
    EXPECT_EQ(boundSize(), std::make_pair(2048, 1024));
}

// Decoding ahead holds no more than its bound; the loader decodes what was left to it.
TEST_F(TextureLoader, DecodingAheadStopsAtItsBoundAndLeavesTheRestToTheLoader)
{
    const std::vector<unsigned char> picture = makeFlatJpeg(4096, 2048); // 32 MB decoded
    const size_t decodedBytes = size_t(4096) * 2048 * 4;
    std::vector<std::string> names;
    std::vector<const char*> paths;
    for (int i = 0; i < 8; ++i)
        names.push_back(file(("big" + std::to_string(i) + ".jpg").c_str()));
    for (const std::string& name : names) {
        writeFile(name, picture);
        paths.push_back(name.c_str());
    }
    decodePicturesAhead(paths.data(), int(paths.size()));
    EXPECT_LT(pictureBytesDecodedAhead(), kMaxBytesDecodedAhead + decodedBytes);
    EXPECT_GT(pictureBytesDecodedAhead(), 0u);

    JpegTextureLoader loader; // no textures made: only the decoding is weighed
    for (const std::string& name : names)
        EXPECT_TRUE(loader.loadFromFile(name.c_str())) << name;
    EXPECT_EQ(pictureBytesDecodedAhead(), 0u);
}

TEST_F(TextureLoader, TableFillsEighteenSlotsWithDistinctNamesAndLeavesSixAndTwelveEmpty)
{
    const std::vector<unsigned char> good = makeJpeg(16, 16);
    for (int slot = 0; slot < kTextureSlots; ++slot)
        if (textureSlotFile(slot))
            writeFile(dir_ / textureSlotFile(slot), good);
    const fs::path before = fs::current_path();
    fs::current_path(dir_); // the program reads data/ from its working directory
    for (GLuint& name : TextureTable)
        name = 0;
    loadTextures();
    fs::current_path(before);

    std::set<GLuint> names;
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        if (slot == 6 || slot == 12) {
            EXPECT_EQ(TextureTable[slot], 0u) << "slot " << slot;
            EXPECT_EQ(textureSlotFile(slot), nullptr);
        } else {
            EXPECT_NE(TextureTable[slot], 0u) << "slot " << slot;
            names.insert(TextureTable[slot]);
        }
    }
    EXPECT_EQ(names.size(), 18u);
}

} // namespace
