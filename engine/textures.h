// SPDX-License-Identifier: MIT
// engine/textures.h — the JPEG texture loader: one object, reused for every file. A
// picture that cannot be read safely is not loaded and binds as texture 0 (plain colour).
#pragma once
#include <string>
#include <vector>

#include "engine/gl.h"

// Decodes pictures ahead of the loader, on any thread and without GL, so that a later
// loadFromFile of the same path only takes the pixels. Each path is decoded once and
// taken once; loadFromFile waits for a picture still being decoded.
void decodePicturesAhead(const char* const* paths, int count);
// Forgets whatever was decoded ahead and not taken.
void dropPicturesDecodedAhead();

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
