// SPDX-License-Identifier: MIT
// capture/outputs.h — where captured frames and audio go: PNG files, a 16-bit WAV, and a
// video encoded by ffmpeg with the music muxed in at the end. Images are 8-bit RGB, top row
// first; audio is interleaved stereo float at the mix rate (kMixRate, engine/startup.h).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/types.h>

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
    std::FILE* file_ = nullptr;
    std::string path_;
    std::uint64_t frames_ = 0;
    bool failed_ = false;
};

// Raw frames go to one ffmpeg encoding the pictures; the audio collects in a WAV beside the
// output; finish() muxes the two. A pipe that fed both at once could stall ffmpeg while it
// waits on the stream it has too little of, so the two are joined only at the end.
class VideoWriter {
public:
    ~VideoWriter();
    // Fails when ffmpeg is not on PATH or the output cannot be created.
    bool open(const std::string& path, int fps, int width, int height, std::string& error);
    bool writeFrame(const unsigned char* rgb);
    bool writeAudio(const float* interleaved, std::size_t frames) { return audio_.write(interleaved, frames); }
    bool finish(std::string& error);
    std::uint64_t framesWritten() const { return frames_; }

private:
    void abandon();

    std::string path_, tmpVideo_, tmpAudio_;
    WavWriter audio_;
    int pipeFd_ = -1;
    pid_t encoder_ = -1;
    std::uint64_t frames_ = 0;
    std::size_t frameBytes_ = 0;
    bool failed_ = false;
};

// The full path of an executable found on PATH, or empty.
std::string findOnPath(const char* name);
