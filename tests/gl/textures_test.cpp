// SPDX-License-Identifier: MIT
// The JPEG texture loader in a real GL context: good pictures become mipmapped, repeat-
// wrapped, upright textures; anything unsafe or unreadable leaves its slot at 0.
#include <gtest/gtest.h>

#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/startup.h"
#include "engine/textures.h"
#include "platform/headless.h"

namespace fs = std::filesystem;

namespace {

// A w x h JPEG whose top half is red and bottom half blue.
std::vector<unsigned char> makeJpeg(int w, int h)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            const bool top = y < h / 2;
            p[0] = top ? 230 : 20;
            p[1] = 20;
            p[2] = top ? 20 : 230;
        }
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), w, 0, h, TJPF_RGB, &out, &size, TJSAMP_444, 95, 0);
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

    JpegTextureLoader loader;
    loader.setDebugMode(true);
    for (const char* name : {"missing.jpg", "empty.jpg", "truncated.jpg", "corrupt.jpg", "png.jpg", "huge.jpg"}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(loader.loadFromFile(file(name).c_str())) << name;
        EXPECT_EQ(loader.bindAsTexture(), 0u) << name;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(name), std::string::npos) << "debug mode names the file: " << said;
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
