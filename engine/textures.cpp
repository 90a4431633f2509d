// SPDX-License-Identifier: MIT
// engine/textures.cpp — JPEG pictures to GL textures over libjpeg-turbo. The picture's
// bottom row goes first (t = 0), since every quad puts texture (0, 0) at its lower left.
// Mipmaps are built here with a box filter so nothing beyond GL 1.1 is needed.
#include "engine/textures.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
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

std::string withErrno(const char* what) { return std::string(what) + " (" + std::strerror(errno) + ")"; }

// Reads a regular file whole. The open does not wait: a FIFO or a device in a picture's place
// is refused, never waited on.
bool readWholeFile(const char* path, std::vector<unsigned char>& bytes, std::string& reason)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = withErrno("cannot open the file");
        return false;
    }
    struct stat st{};
    bool ok = false;
    if (fstat(fd, &st) != 0)
        reason = withErrno("cannot read the file");
    else if (!S_ISREG(st.st_mode))
        reason = "not a regular file";
    else if (st.st_size == 0)
        reason = "the file is empty";
    else if (st.st_size > kMaxFileBytes)
        reason = "the file is too large";
    else
        ok = true;
    size_t got = 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        while (got < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                reason = withErrno("cannot read the file");
                ok = false;
                break;
            }
            if (n == 0)
                break;
            got += static_cast<size_t>(n);
        }
        if (ok && got != bytes.size()) {
            reason = "the file shrank while it was read";
            ok = false;
        }
    }
    close(fd);
    return ok;
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

std::atomic<PictureEventHook> gEventHook{nullptr};

void tell(PictureEvent event, const char* path)
{
    if (const PictureEventHook hook = gEventHook.load())
        hook(event, path);
}

// The largest of the decoder's scales, at most 1, that brings a w x h picture within `side`
// on a side and within the texel bound; false when not even the smallest does.
bool chooseScale(int w, int h, int side, tjscalingfactor& chosen)
{
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    bool found = false;
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom || (found && f.num * chosen.denom <= chosen.num * f.denom))
            continue;
        const long sw = TJSCALED(w, f), sh = TJSCALED(h, f);
        if (sw <= side && sh <= side && sw * sh <= JpegTextureLoader::kMaxDecodedTexels) {
            chosen = f;
            found = true;
        }
    }
    return found;
}

// Inverted CMYK, as Adobe's applications write it and the decoder hands it back, to RGBA in
// place: each ink's stored value is what it leaves of white, scaled by what black leaves.
void cmykToRgba(std::vector<unsigned char>& pixels)
{
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
        const unsigned k = pixels[i + 3];
        for (int c = 0; c < 3; ++c)
            pixels[i + c] = static_cast<unsigned char>((pixels[i + c] * k + 127) / 255);
        pixels[i + 3] = 255;
    }
}

// Reads and decodes one file into `out`, at the largest scale that fits `side` (see
// kMaxDecodedSide); pictures over kMaxSide are refused before decoding.
void decodeFile(const char* path, int side, Decoded& out)
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
    if (w <= 0 || h <= 0) { // the decoder reads a file that ends before its frame header as empty
        out.failure = "no picture header: the file is cut short";
        return;
    }
    if (w > JpegTextureLoader::kMaxSide || h > JpegTextureLoader::kMaxSide) {
        out.failure = "picture of " + std::to_string(w) + " x " + std::to_string(h) + " is larger than " +
                      std::to_string(JpegTextureLoader::kMaxSide) + " on a side";
        return;
    }
    tjscalingfactor scale{1, 1};
    if (!chooseScale(w, h, side, scale)) {
        out.failure = "picture of " + std::to_string(w) + " x " + std::to_string(h) +
                      " does not fit a texture of " + std::to_string(side) + " on a side even at 1/8";
        return;
    }
    const int sw = TJSCALED(w, scale), sh = TJSCALED(h, scale);
    const bool cmyk = colourspace == TJCS_CMYK || colourspace == TJCS_YCCK;
    out.pixels.resize(static_cast<size_t>(sw) * sh * 4); // every byte is written by the decoder
    // A truncated or corrupt stream is an error, not a half-grey picture.
    if (tjDecompress2(tj.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), out.pixels.data(), sw, 0, sh,
                      cmyk ? TJPF_CMYK : TJPF_RGBA, TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) != 0) {
        out.failure = std::string("corrupt JPEG data (") + tjGetErrorStr2(tj.get()) + ")";
        return;
    }
    if (cmyk)
        cmykToRgba(out.pixels);
    out.failure.clear();
    out.width = sw;
    out.height = sh;
}

// Who decodes each picture. A path is claimed once, by the prefetch (Waiting -> Decoding ->
// Ready) or by the loader (-> Taken, decoding it itself unless it was Ready); a Taken entry
// stays so that a prefetch that comes late leaves the path alone, and is then forgotten.
enum class Ahead { Waiting, Decoding, Ready, Taken };
struct AheadEntry {
    Ahead state = Ahead::Waiting;
    Decoded picture;
};
std::mutex gAheadMutex;
std::condition_variable gAheadReady;
std::map<std::string, AheadEntry> gAhead;
size_t gAheadBytes = 0; // pixels of Ready entries

// Claims path for the loader. True with the picture when it was decoded ahead, waiting for it
// while another thread decodes it; false when the loader is to decode it itself.
bool takeDecodedAhead(const char* path, Decoded& out)
{
    std::unique_lock lock(gAheadMutex);
    auto it = gAhead.try_emplace(path).first;
    if (it->second.state == Ahead::Decoding) {
        lock.unlock(); // the hook is told without the lock held
        tell(PictureEvent::Wait, path);
        lock.lock();
        gAheadReady.wait(lock, [&] {
            it = gAhead.try_emplace(path).first;
            return it->second.state != Ahead::Decoding;
        });
    }
    AheadEntry& entry = it->second;
    const bool ready = entry.state == Ahead::Ready;
    if (ready) {
        gAheadBytes -= entry.picture.pixels.size();
        out = std::move(entry.picture);
        entry.picture = Decoded{};
    }
    entry.state = Ahead::Taken;
    return ready;
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
        {
            std::lock_guard lock(gAheadMutex);
            auto it = gAhead.find(paths[i]);
            if (it == gAhead.end())
                continue; // dropped meanwhile
            if (it->second.state == Ahead::Taken) {
                gAhead.erase(it); // the loader got there first
                continue;
            }
            if (it->second.state != Ahead::Waiting || gAheadBytes >= kMaxBytesDecodedAhead)
                continue; // another thread has it, or enough waits already: the loader decodes the rest
            it->second.state = Ahead::Decoding;
        }
        tell(PictureEvent::Decode, paths[i]);
        Decoded picture;
        decodeFile(paths[i], JpegTextureLoader::kMaxDecodedSide, picture);
        std::lock_guard lock(gAheadMutex);
        AheadEntry& entry = gAhead[paths[i]]; // only this thread moves it on from Decoding
        gAheadBytes += picture.pixels.size();
        entry.picture = std::move(picture);
        entry.state = Ahead::Ready;
        gAheadReady.notify_all();
    }
}

void dropPicturesDecodedAhead()
{
    std::lock_guard lock(gAheadMutex);
    std::erase_if(gAhead, [](const auto& entry) {
        if (entry.second.state == Ahead::Decoding)
            return false; // its decoder stores it when done
        gAheadBytes -= entry.second.picture.pixels.size();
        return true;
    });
}

size_t pictureBytesDecodedAhead()
{
    std::lock_guard lock(gAheadMutex);
    return gAheadBytes;
}

void setPictureEventHook(PictureEventHook hook) { gEventHook = hook; }

bool JpegTextureLoader::loadFromFile(const char* path)
{
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    const int side = maxTexture > 0 ? std::min<int>(maxTexture, kMaxDecodedSide) : kMaxDecodedSide;

    Decoded picture;
    picture.pixels = std::move(pixels_); // reused across files
    const bool ahead = takeDecodedAhead(path, picture);
    // Decoded ahead for a larger texture than this GL takes: decoded again at the scale it
    // would have had here, so the picture does not depend on which thread decoded it.
    if (!ahead || picture.width > side || picture.height > side) {
        tell(PictureEvent::Decode, path);
        decodeFile(path, side, picture);
    }
    pixels_ = std::move(picture.pixels);
    if (!picture.failure.empty())
        return fail(path, picture.failure);
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
