// SPDX-License-Identifier: MIT
// capture/options.h — the capture tool's command line: what to render, where to write it,
// which keys to press when. Parsing, and printing the usage; nothing here touches files or GL.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/deterministic.h" // KeyPress
#include "engine/projection.h"    // kSceneWidth, kSceneHeight

struct CaptureOptions {
    std::string dataDir = "data";
    std::string pngDir;    // empty: no PNG frames
    std::string videoFile; // empty: no video
    std::string wavFile;   // empty: no WAV
    std::string logFile;   // empty: no frame log
    int fps = 60;
    // --size: the output image; a picture of another shape than 4:3 gets the 4:3 picture
    // centred between black bars. --msaa: samples per pixel, 0 = none.
    int width = kSceneWidth, height = kSceneHeight;
    int msaa = 0;
    // --frames A-B[,C-D...], presented frames counted from 1; the whole list spans
    // firstFrame to lastFrame (-1: no upper limit).
    std::vector<std::pair<long, long>> frameRanges;
    long firstFrame = 1;
    long lastFrame = -1;
    double seconds = -1;             // --seconds; negative: run to the song's end
    std::int64_t frameCostUs = 1000; // the fixed cost of rendering one scene
    std::vector<KeyPress> keys;
    bool bench = false;
    bool help = false;
    bool version = false;
};

// Fills options from argv; false with a one-line reason in error for anything it cannot use.
bool parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error);

const char* captureUsage();
const char* captureVersion(); // "rinta-capture VERSION\n", the version the build was given
// Prints text (the usage or the version) and returns the exit code: 0, or 1 after a message
// when standard output cannot take it (a full disk, a closed descriptor).
int printToStdout(const char* text);
