// engine/textures.h — the JPEG texture loader: one object, reused for every file. A
// picture that cannot be read safely is not loaded and binds as texture 0 (plain colour).
#pragma once
#include <string>
#include <vector>

#include "engine/gl.h"

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

private:
    bool fail(const char* path, const std::string& reason);

    bool debug_ = false;
    bool loaded_ = false;
    int width_ = 0;
    int height_ = 0;
    std::vector<unsigned char> pixels_; // RGBA, bottom row first
};
