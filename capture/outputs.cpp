// SPDX-License-Identifier: MIT
// capture/outputs.cpp — PNG through libpng, WAV by hand, video through ffmpeg started with an
// argument vector (no shell, so no path is ever parsed as a command).
#include "capture/outputs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <png.h>
#include <zlib.h>

#include "engine/startup.h" // kMixRate

extern char** environ;

namespace {

void putLe(unsigned char* at, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::string errnoText() { return std::strerror(errno); }

// Runs argv[0] from PATH and waits; stdin from the pipe when pipeFd is given.
pid_t spawn(const std::vector<std::string>& args, int* pipeFd, std::string& error)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (pipeFd) {
        if (pipe(fds) != 0) {
            error = "pipe: " + errnoText();
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFd) {
        close(fds[0]);
        if (rc != 0)
            close(fds[1]);
        else
            *pipeFd = fds[1];
    }
    if (rc != 0) {
        error = "cannot start " + args[0] + ": " + std::strerror(rc);
        return -1;
    }
    return pid;
}

bool waitOk(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::string findOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    std::string list = path;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string dir = end > start ? list.substr(start, end - start) : ".";
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && !std::filesystem::is_directory(candidate))
            return candidate;
        start = end + 1;
    }
    return {};
}

bool writePng(const std::string& path, const unsigned char* rgb, int width, int height, std::string& error)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path + ": " + errnoText();
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        error = "libpng could not start for " + path;
        return false;
    }
    // libpng reports its errors by jumping back here; nothing with a destructor lives between.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        error = "libpng could not write " + path + " (disk full?)";
        return false;
    }
    png_init_io(png, f);
    // The Sub filter on every row: neighbouring pixels of a rendered frame are alike, so the
    // differences pack far better than raw bytes at the same effort, and trying every filter
    // per row costs more than it saves. Run-length deflate packs rendered frames within a few
    // per cent of the default strategy at about a seventh of the time.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 6);
    png_set_compression_strategy(png, Z_RLE);
    png_set_compression_buffer_size(png, 1 << 18); // few large IDAT chunks, as deflate likes to write them
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgb + static_cast<size_t>(y) * width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) {
        error = "cannot write " + path + ": " + errnoText();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

WavWriter::~WavWriter()
{
    if (file_)
        std::fclose(file_);
}

bool WavWriter::open(const std::string& path, std::string& error)
{
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        error = "cannot write " + path + ": " + errnoText();
        return false;
    }
    unsigned char header[44] = {};
    std::fwrite(header, 1, sizeof header, file_); // placeholder until the sizes are known
    return true;
}

bool WavWriter::write(const float* interleaved, std::size_t frames)
{
    if (!file_ || failed_)
        return false;
    std::int16_t block[2048];
    for (size_t done = 0; done < frames * 2;) {
        const size_t n = std::min<size_t>(frames * 2 - done, 2048);
        for (size_t i = 0; i < n; ++i) {
            const double v = std::nearbyint(double(interleaved[done + i]) * 32768.0);
            block[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
        if (std::fwrite(block, sizeof(std::int16_t), n, file_) != n)
            failed_ = true;
        done += n;
    }
    frames_ += frames;
    return !failed_;
}

bool WavWriter::close(std::string& error)
{
    if (!file_)
        return true;
    const std::uint64_t dataBytes = frames_ * 4;
    if (dataBytes > 0xFFFFFFFFull - 36)
        failed_ = true; // RIFF cannot say it; about 6.7 hours of audio
    unsigned char h[44];
    std::memcpy(h, "RIFF", 4);
    putLe(h + 4, static_cast<std::uint32_t>(36 + dataBytes), 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe(h + 16, 16, 4);                    // fmt chunk size
    putLe(h + 20, 1, 2);                     // PCM
    putLe(h + 22, 2, 2);                     // channels
    putLe(h + 24, kMixRate, 4);              // frames per second
    putLe(h + 28, kMixRate * 4, 4);          // bytes per second
    putLe(h + 32, 4, 2);                     // bytes per frame
    putLe(h + 34, 16, 2);                    // bits per sample
    std::memcpy(h + 36, "data", 4);
    putLe(h + 40, static_cast<std::uint32_t>(dataBytes), 4);
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h)
        failed_ = true;
    if (std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
    if (failed_)
        error = "writing " + path_ + " failed (disk full?)";
    return !failed_;
}

// ---------------------------------------------------------------------------------------------

VideoWriter::~VideoWriter() { abandon(); }

void VideoWriter::abandon()
{
    if (pipeFd_ >= 0) {
        close(pipeFd_);
        pipeFd_ = -1;
    }
    if (encoder_ > 0) {
        waitOk(encoder_);
        encoder_ = -1;
    }
    std::string ignored;
    audio_.close(ignored);
    if (!tmpVideo_.empty()) {
        std::remove(tmpVideo_.c_str());
        std::remove(tmpAudio_.c_str());
        tmpVideo_.clear();
    }
}

bool VideoWriter::open(const std::string& path, int fps, int width, int height, std::string& error)
{
    if (findOnPath("ffmpeg").empty()) {
        error = "ffmpeg is not installed (not found on PATH): install the Debian package ffmpeg for --video";
        return false;
    }
    path_ = path;
    frameBytes_ = static_cast<size_t>(width) * height * 3;
    // Probe the output itself now, so an unwritable path fails before minutes of rendering.
    std::FILE* probe = std::fopen(path.c_str(), "ab");
    if (!probe) {
        error = "cannot write " + path + ": " + errnoText();
        return false;
    }
    std::fclose(probe);
    const std::filesystem::path out(path);
    const std::string stem = (out.parent_path() / ("." + out.filename().string())).string();
    tmpVideo_ = stem + ".rinta-video.mkv";
    tmpAudio_ = stem + ".rinta-audio.wav";
    if (!audio_.open(tmpAudio_, error))
        return false;
    const std::vector<std::string> args = {
        "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", std::to_string(width) + "x" + std::to_string(height), "-framerate",
        std::to_string(fps), "-i", "pipe:0", "-c:v", "libx264", "-preset", "veryfast", "-crf", "18",
        "-pix_fmt", "yuv420p", "-y", tmpVideo_};
    encoder_ = spawn(args, &pipeFd_, error);
    return encoder_ > 0;
}

bool VideoWriter::writeFrame(const unsigned char* rgb)
{
    if (failed_ || pipeFd_ < 0)
        return false;
    size_t left = frameBytes_;
    while (left > 0) {
        const ssize_t n = ::write(pipeFd_, rgb, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed_ = true; // ffmpeg went away; finish() says so
            return false;
        }
        rgb += n;
        left -= static_cast<size_t>(n);
    }
    ++frames_;
    return true;
}

bool VideoWriter::finish(std::string& error)
{
    close(pipeFd_);
    pipeFd_ = -1;
    const bool encoded = waitOk(encoder_);
    encoder_ = -1;
    if (failed_ || !encoded) {
        error = "ffmpeg failed while encoding the frames for " + path_;
        abandon();
        return false;
    }
    if (!audio_.close(error)) {
        abandon();
        return false;
    }
    const std::vector<std::string> args = {"ffmpeg",  "-nostdin", "-hide_banner", "-loglevel", "error",
                                           "-i",      tmpVideo_,  "-i",           tmpAudio_,  "-map",
                                           "0:v",     "-map",     "1:a",          "-c:v",     "copy",
                                           "-c:a",    "aac",      "-b:a",         "192k",     "-y",
                                           path_};
    const pid_t muxer = spawn(args, nullptr, error);
    const bool muxed = muxer > 0 && waitOk(muxer);
    abandon();
    if (!muxed && error.empty())
        error = "ffmpeg failed to join the pictures and the music into " + path_;
    return muxed;
}
