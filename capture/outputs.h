// SPDX-License-Identifier: MIT
// capture/outputs.h — where captured frames and audio go: PNG files, a 16-bit WAV, and a
// video encoded by ffmpeg with the music muxed in at the end. Images are 8-bit RGB, top row
// first; audio is interleaved stereo float at the mix rate (kMixRate, engine/startup.h). Also
// the checks on the paths given, made before anything is rendered; none of them throws.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/types.h>

#include "capture/options.h"

// Checks that the data directory is a directory it can read, and that relative paths have a
// working directory to be found in. False with the reason (the system's own words for a loop,
// a name too long, a permission) in error.
bool checkCapturePaths(const CaptureOptions& options, std::string& error);
// Creates the PNG directory (and its parents) and checks that it can be written.
bool makeFrameDirectory(const std::string& dir, std::string& error);

// Writes one RGB picture; false with the reason in error.
bool writePng(const std::string& path, const unsigned char* rgb, int width, int height, std::string& error);

// A 16-bit PCM stereo WAV written as it goes; the header's sizes are filled in by close().
// Samples are rounded and clipped, never dithered, so two runs give the same bytes.
class WavWriter {
public:
    ~WavWriter();
    bool open(const std::string& path, std::string& error);
    bool write(const float* interleaved, std::size_t frames);
    bool close(std::string& error);
    std::uint64_t frames() const { return frames_; }
    bool isOpen() const { return file_ != nullptr; }

private:
    void fail(const std::string& why);

    std::FILE* file_ = nullptr;
    std::string path_, why_;
    std::uint64_t frames_ = 0;
    bool failed_ = false;
};

// Raw frames go to one ffmpeg encoding the pictures; the audio collects in a WAV beside the
// output; finish() muxes the two. A pipe that fed both at once could stall ffmpeg while it
// waits on the stream it has too little of, so the two are joined only at the end.
// ffmpeg's messages are kept, and the last one names the cause when it fails. An ffmpeg that
// takes no frame data, or writes nothing, for the stall time (RINTA_FFMPEG_TIMEOUT seconds,
// default kDefaultStallSeconds) is ended and counts as failed. On any failure the temporary
// files go, and so does the output when this run created it.
class VideoWriter {
public:
    static constexpr double kDefaultStallSeconds = 120;

    ~VideoWriter();
    // Fails when ffmpeg is not on PATH or the output cannot be created.
    bool open(const std::string& path, int fps, int width, int height, std::string& error);
    // False once ffmpeg has failed; failure() then says why.
    bool writeFrame(const unsigned char* rgb);
    bool writeAudio(const float* interleaved, std::size_t frames) { return audio_.write(interleaved, frames); }
    bool finish(std::string& error);
    std::uint64_t framesWritten() const { return frames_; }
    const std::string& failure() const { return failure_; }

private:
    void abandon();
    void fail(bool stalled); // ends the encoder, says why in failure_, and abandons

    std::string path_, tmpVideo_, tmpAudio_, failure_;
    WavWriter audio_;
    int pipeFd_ = -1;
    int messagesFd_ = -1; // what the running ffmpeg wrote on its standard error
    pid_t encoder_ = -1;
    double stallSeconds_ = kDefaultStallSeconds;
    std::uint64_t frames_ = 0;
    std::size_t frameBytes_ = 0;
    bool failed_ = false;
    bool createdOutput_ = false; // the output did not exist before open()
    bool finished_ = false;
};

// The full path of an executable found on PATH, or empty.
std::string findOnPath(const char* name);
