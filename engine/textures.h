// SPDX-License-Identifier: MIT
// engine/textures.h — the JPEG texture loader: one object, reused for every file. A
// picture that cannot be read safely is not loaded and binds as texture 0 (plain colour).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "engine/gl.h"

// Decodes pictures ahead of the loader, on any thread and without GL, so that a later
// loadFromFile of the same path only takes the pixels. Each picture has one decoder whatever
// the order the threads arrive in: the loader waits for a picture being decoded ahead, and
// decodes one itself that nobody has begun (a path it has already loaded is not decoded here
// again). What is decoded ahead and not yet taken is bounded by kMaxBytesDecodedAhead; past
// it, the rest is left to the loader.
constexpr size_t kMaxBytesDecodedAhead = size_t(128) * 1024 * 1024;
void decodePicturesAhead(const char* const* paths, int count);
// Forgets whatever was decoded ahead and not taken, and which paths the loader has taken: a
// fresh start, for when no prefetch of those paths can still be on its way.
void dropPicturesDecodedAhead();
// Bytes of decoded pictures waiting to be taken.
size_t pictureBytesDecodedAhead();

// For tests: called as each decode begins, on the decoding thread, and when the loader finds
// a picture being decoded on another thread and waits for it. Must not call the loader.
enum class PictureEvent { Decode, Wait };
using PictureEventHook = void (*)(PictureEvent event, const char* path);
void setPictureEventHook(PictureEventHook hook);

class JpegTextureLoader {
public:
    void setDebugMode(bool on) { debug_ = on; }
    // Reads and decodes the file; false (and one stderr line in debug mode) when it cannot.
    bool loadFromFile(const char* path);
    // A new mipmapped, repeat-wrapped 2D texture of the picture just loaded, left bound;
    // 0 when the last load failed.
    GLuint bindAsTexture();

    // Pictures larger than this on a side are refused before anything is allocated.
    static constexpr int kMaxSide = 8192;
    // Larger pictures are decoded at a reduced scale (in eighths, down to 1/8: the decoder
    // then does a fraction of the work) until they fit within this on a side (or GL's largest
    // texture, where smaller) and this many texels: enough for a picture over a whole 4K
    // view, and 18 slots stay within about 600 MB however large the files claim to be.
    static constexpr int kMaxDecodedSide = 4096;
    static constexpr long kMaxDecodedTexels = 4096L * 2048;

    // Anisotropic filtering for the textures made from now on (1 = off, as classic mode has
    // it); the render layer sets it where the driver offers it.
    static void setAnisotropy(int maxAnisotropy) { anisotropy_ = maxAnisotropy; }

private:
    bool fail(const char* path, const std::string& reason);

    static inline int anisotropy_ = 1;
    bool debug_ = false;
    bool loaded_ = false;
    int width_ = 0;
    int height_ = 0;
    // Kept across files: the loader is reused for every picture, and fresh memory for each
    // one (first touch of every page) is a large part of start-up on a software renderer.
    std::vector<unsigned char> pixels_; // RGBA, bottom row first
    std::vector<unsigned char> mipA_, mipB_;
};
