// SPDX-License-Identifier: MIT
// engine/textures.cpp — JPEG pictures to GL textures over libjpeg-turbo. The picture's
// bottom row goes first (t = 0), since every quad puts texture (0, 0) at its lower left.
// Mipmaps are built here with a box filter so nothing beyond GL 1.1 is needed.
#include "engine/textures.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include <turbojpeg.h>

namespace {

// Files larger than any sane picture are refused before they are read.
constexpr long kMaxFileBytes = 64L * 1024 * 1024;

struct TjDeleter {
    void operator()(void* h) const { tjDestroy(static_cast<tjhandle>(h)); }
};

bool readWholeFile(const char* path, std::vector<unsigned char>& bytes, std::string& reason)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        reason = "cannot open the file";
        return false;
    }
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (size <= 0) {
        std::fclose(f);
        reason = size == 0 ? "the file is empty" : "cannot read the file";
        return false;
    }
    if (size > kMaxFileBytes) {
        std::fclose(f);
        reason = "the file is too large";
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) {
        reason = "cannot read the file";
        return false;
    }
    return true;
}

// Halves an RGBA image with a box filter; odd edges repeat their last texel.
void halve(const std::vector<unsigned char>& src, int w, int h, std::vector<unsigned char>& dst, int& dw, int& dh)
{
    dw = w > 1 ? w / 2 : 1;
    dh = h > 1 ? h / 2 : 1;
    dst.resize(static_cast<size_t>(dw) * dh * 4);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            for (int c = 0; c < 4; ++c) {
                const int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
                const int y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
                const unsigned sum = src[(static_cast<size_t>(y0) * w + x0) * 4 + c] +
                                     src[(static_cast<size_t>(y0) * w + x1) * 4 + c] +
                                     src[(static_cast<size_t>(y1) * w + x0) * 4 + c] +
                                     src[(static_cast<size_t>(y1) * w + x1) * 4 + c];
                dst[(static_cast<size_t>(y) * dw + x) * 4 + c] = static_cast<unsigned char>((sum + 2) / 4);
            }
}

} // namespace

bool JpegTextureLoader::fail(const char* path, const std::string& reason)
{
    loaded_ = false;
    width_ = height_ = 0;
    if (debug_)
        std::fprintf(stderr, "texture %s: %s, not loaded\n", path, reason.c_str());
    return false;
}

namespace {

struct Decoded {
    std::vector<unsigned char> pixels; // RGBA, bottom row first
    int width = 0, height = 0;
    std::string failure; // why it is not loaded; empty when it decoded
};

// Reads and decodes one file into `out`, refusing sides over `limit` before decoding.
void decodeFile(const char* path, int limit, Decoded& out)
{
    std::vector<unsigned char> jpeg;
    out.width = out.height = 0;
    if (!readWholeFile(path, jpeg, out.failure))
        return;
    if (jpeg.size() < 3 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[2] != 0xFF) {
        out.failure = "not a JPEG file";
        return;
    }
    std::unique_ptr<void, TjDeleter> tj(tjInitDecompress());
    if (!tj) {
        out.failure = "cannot start the JPEG decoder";
        return;
    }
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(tj.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), &w, &h, &subsampling,
                            &colourspace) != 0) {
        out.failure = std::string("unreadable JPEG header (") + tjGetErrorStr2(tj.get()) + ")";
        return;
    }
    if (w <= 0 || h <= 0 || w > limit || h > limit) {
        out.failure = "picture of " + std::to_string(w) + " x " + std::to_string(h) + " is larger than " +
                      std::to_string(limit) + " on a side";
        return;
    }
    out.pixels.resize(static_cast<size_t>(w) * h * 4); // every byte is written by the decoder
    // A truncated or corrupt stream is an error, not a half-grey picture.
    if (tjDecompress2(tj.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), out.pixels.data(), w, 0, h,
                      TJPF_RGBA, TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) != 0) {
        out.failure = std::string("corrupt JPEG data (") + tjGetErrorStr2(tj.get()) + ")";
        return;
    }
    out.failure.clear();
    out.width = w;
    out.height = h;
}

struct AheadEntry {
    Decoded picture;
    bool ready = false;
};
std::mutex gAheadMutex;
std::condition_variable gAheadReady;
std::map<std::string, AheadEntry> gAhead;

// Takes the picture decoded ahead for path, waiting while it is being decoded; false when
// none was asked for.
bool takeDecodedAhead(const char* path, Decoded& out)
{
    std::unique_lock lock(gAheadMutex);
    auto it = gAhead.find(path);
    if (it == gAhead.end())
        return false;
    gAheadReady.wait(lock, [&] { return it->second.ready; });
    out = std::move(it->second.picture);
    gAhead.erase(it);
    return true;
}

} // namespace

void decodePicturesAhead(const char* const* paths, int count)
{
    {
        std::lock_guard lock(gAheadMutex);
        for (int i = 0; i < count; ++i)
            if (paths[i])
                gAhead.try_emplace(paths[i]);
    }
    for (int i = 0; i < count; ++i) {
        if (!paths[i])
            continue;
        Decoded picture;
        decodeFile(paths[i], JpegTextureLoader::kMaxSide, picture);
        std::lock_guard lock(gAheadMutex);
        auto it = gAhead.find(paths[i]);
        if (it != gAhead.end() && !it->second.ready) {
            it->second.picture = std::move(picture);
            it->second.ready = true;
        }
        gAheadReady.notify_all();
    }
}

void dropPicturesDecodedAhead()
{
    std::lock_guard lock(gAheadMutex);
    std::erase_if(gAhead, [](const auto& entry) { return entry.second.ready; });
}

bool JpegTextureLoader::loadFromFile(const char* path)
{
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    const int limit = maxTexture > 0 ? std::min(maxTexture, kMaxSide) : kMaxSide;

    Decoded picture;
    picture.pixels = std::move(pixels_); // reused across files
    if (!takeDecodedAhead(path, picture))
        decodeFile(path, limit, picture);
    pixels_ = std::move(picture.pixels);
    if (!picture.failure.empty())
        return fail(path, picture.failure);
    if (picture.width > limit || picture.height > limit) // decoded ahead, before GL's limit was known
        return fail(path, "picture of " + std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                              " is larger than " + std::to_string(limit) + " on a side");
    width_ = picture.width;
    height_ = picture.height;
    loaded_ = true;
    return true;
}

GLuint JpegTextureLoader::bindAsTexture()
{
    if (!loaded_)
        return 0;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    if (anisotropy_ > 1) // floors and walls seen at a glancing angle stay sharp into the distance
        glTexParameteri(GL_TEXTURE_2D, 0x84FE /* GL_TEXTURE_MAX_ANISOTROPY */, anisotropy_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    const std::vector<unsigned char>* level = &pixels_;
    std::vector<unsigned char>* next = &mipA_;
    int w = width_, h = height_;
    for (GLint mip = 1; w > 1 || h > 1; ++mip) {
        int nw = 0, nh = 0;
        halve(*level, w, h, *next, nw, nh);
        glTexImage2D(GL_TEXTURE_2D, mip, GL_RGBA8, nw, nh, 0, GL_RGBA, GL_UNSIGNED_BYTE, next->data());
        level = next;
        next = next == &mipA_ ? &mipB_ : &mipA_;
        w = nw;
        h = nh;
    }
    return name;
}
