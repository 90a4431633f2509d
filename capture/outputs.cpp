// SPDX-License-Identifier: MIT
// capture/outputs.cpp — PNG through libpng, WAV by hand, video through ffmpeg started with an
// argument vector (no shell, so no path is ever parsed as a command).
#include "capture/outputs.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <png.h>
#include <zlib.h>

#include "engine/startup.h" // kMixRate

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

void putLe(unsigned char* at, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::string errnoText() { return std::strerror(errno); }

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A reader that goes away (an ffmpeg that fails, a FIFO closed) must turn into a failed write
// that is reported, not a silent death by SIGPIPE.
void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

// Runs argv[0] from PATH; stdin from a new pipe when pipeFd is given, stderr into messagesFd
// when that is open. The child gets SIGPIPE back at its default, as any command expects.
pid_t spawn(const std::vector<std::string>& args, int* pipeFd, int messagesFd, std::string& error)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (pipeFd) {
        if (pipe2(fds, O_CLOEXEC) != 0) {
            error = "pipe: " + errnoText();
            posix_spawn_file_actions_destroy(&actions);
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    }
    if (messagesFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, messagesFd, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
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

// The wait status, or -1 when the child cannot be waited for.
int reap(pid_t pid)
{
    if (pid <= 0)
        return -1; // never waitpid(-1) or kill(-1): they mean every child, every process
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return status;
}

int endProcess(pid_t pid)
{
    if (pid > 0)
        kill(pid, SIGKILL);
    return reap(pid);
}

bool exitedOk(int status) { return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// Waits for pid to end. A child whose output file (watched) keeps the same size for
// stallSeconds is taken to hang and is ended; stalled then says so.
int waitWatching(pid_t pid, const std::string& watched, double stallSeconds, bool& stalled)
{
    stalled = false;
    if (pid <= 0)
        return -1;
    off_t lastSize = -2;
    Clock::time_point lastChange = Clock::now();
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return status;
        if (r < 0 && errno != EINTR)
            return -1;
        struct stat st;
        const off_t size = stat(watched.c_str(), &st) == 0 ? st.st_size : -1;
        if (size != lastSize) {
            lastSize = size;
            lastChange = Clock::now();
        } else if (secondsSince(lastChange) >= stallSeconds) {
            stalled = true;
            return endProcess(pid);
        }
        usleep(10000);
    }
}

// What ffmpeg wrote, up to the last 4 KiB: its last line names the cause of a failure.
std::string messagesIn(int fd)
{
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size <= 0)
        return {};
    const off_t from = std::max<off_t>(0, st.st_size - 4096);
    std::string text(static_cast<size_t>(st.st_size - from), '\0');
    const ssize_t n = pread(fd, text.data(), text.size(), from);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::string lastLineOf(const std::string& text)
{
    const size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos)
        return {};
    const size_t newline = text.find_last_of("\r\n", end);
    const size_t start = newline == std::string::npos ? 0 : newline + 1;
    return text.substr(start, end + 1 - start);
}

// Empties the message file for the next ffmpeg, passing on what the last one said.
void passOnMessages(int fd)
{
    const std::string text = messagesIn(fd);
    if (!text.empty())
        std::fputs(text.c_str(), stderr);
    if (fd >= 0 && ftruncate(fd, 0) == 0)
        lseek(fd, 0, SEEK_SET);
}

std::string formatSeconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

// The reason an ffmpeg run failed, in its own words where it gave any.
std::string failureOf(int status, bool stalled, double stallSeconds, int messagesFd)
{
    const std::string last = lastLineOf(messagesIn(messagesFd));
    if (stalled)
        return "it made no progress for " + formatSeconds(stallSeconds) +
               " s and was stopped (RINTA_FFMPEG_TIMEOUT sets that time)" +
               (last.empty() ? "" : "; its last message: " + last);
    if (!last.empty())
        return last;
    if (status < 0)
        return "it could not be waited for";
    if (WIFSIGNALED(status))
        return "it was ended by signal " + std::to_string(WTERMSIG(status));
    return "it exited with status " + std::to_string(WEXITSTATUS(status));
}

// A relative path needs a working directory to be found in; one removed under the tool would
// otherwise surface later as a puzzling "No such file or directory" for a file being created.
bool checkWorkingDirectoryFor(const std::string& path, const char* flag, std::string& error)
{
    if (path.empty() || path[0] == '/')
        return true;
    std::error_code ec;
    if (fs::current_path(ec).empty() || ec) {
        error =
            std::string(flag) + " " + path + " is relative, and the working directory cannot be read: " + ec.message();
        return false;
    }
    return true;
}

bool checkDataDirectory(const std::string& dir, std::string& error)
{
    if (!checkWorkingDirectoryFor(dir, "--data", error))
        return false;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
        error = errno == ENOENT ? "data directory " + dir + " does not exist (give --data DIR)"
                                : "cannot use the data directory " + dir + ": " + errnoText();
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "data directory " + dir + " is not a directory (give --data DIR)";
        return false;
    }
    if (access(dir.c_str(), R_OK | X_OK) != 0) {
        error = "cannot read the data directory " + dir + ": " + errnoText();
        return false;
    }
    return true;
}

} // namespace

bool checkCapturePaths(const CaptureOptions& options, std::string& error)
{
    return checkWorkingDirectoryFor(options.pngDir, "--png", error) &&
           checkWorkingDirectoryFor(options.wavFile, "--wav", error) &&
           checkWorkingDirectoryFor(options.videoFile, "--video", error) &&
           checkWorkingDirectoryFor(options.logFile, "--log", error) && checkDataDirectory(options.dataDir, error);
}

bool makeFrameDirectory(const std::string& dir, std::string& error)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    struct stat st;
    std::string why;
    if (stat(dir.c_str(), &st) != 0)
        why = ec ? ec.message() : errnoText(); // the cause of a failed create, if there was one
    else if (!S_ISDIR(st.st_mode))
        why = "it is not a directory";
    else if (access(dir.c_str(), W_OK | X_OK) != 0)
        why = errnoText();
    if (why.empty())
        return true;
    error = "cannot write PNG frames into " + dir + ": " + why;
    return false;
}

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
        struct stat st;
        if (access(candidate.c_str(), X_OK) == 0 && stat(candidate.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
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
    ignoreBrokenPipes();
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

void WavWriter::fail(const std::string& why)
{
    if (!failed_)
        why_ = why; // the first cause; what follows from it says less
    failed_ = true;
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
            fail(errnoText());
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
        fail("more sound than a WAV can hold (about 6.7 hours)"); // RIFF cannot say its size
    unsigned char h[44];
    std::memcpy(h, "RIFF", 4);
    putLe(h + 4, static_cast<std::uint32_t>(36 + dataBytes), 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe(h + 16, 16, 4);           // fmt chunk size
    putLe(h + 20, 1, 2);            // PCM
    putLe(h + 22, 2, 2);            // channels
    putLe(h + 24, kMixRate, 4);     // frames per second
    putLe(h + 28, kMixRate * 4, 4); // bytes per second
    putLe(h + 32, 4, 2);            // bytes per frame
    putLe(h + 34, 16, 2);           // bits per sample
    std::memcpy(h + 36, "data", 4);
    putLe(h + 40, static_cast<std::uint32_t>(dataBytes), 4);
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h)
        fail(errnoText());
    if (std::fclose(file_) != 0)
        fail(errnoText());
    file_ = nullptr;
    if (failed_)
        error = "writing " + path_ + " failed: " + why_;
    return !failed_;
}

// ---------------------------------------------------------------------------------------------

VideoWriter::~VideoWriter() { abandon(); }

// Nothing of a failed or unfinished video stays: the encoder is ended (its output is thrown
// away), the temporary files go, and so does the output if this run created it.
void VideoWriter::abandon()
{
    if (pipeFd_ >= 0) {
        close(pipeFd_);
        pipeFd_ = -1;
    }
    if (encoder_ > 0) {
        endProcess(encoder_);
        encoder_ = -1;
    }
    std::string ignored;
    audio_.close(ignored);
    if (!tmpVideo_.empty()) {
        std::remove(tmpVideo_.c_str());
        std::remove(tmpAudio_.c_str());
        tmpVideo_.clear();
    }
    if (createdOutput_ && !finished_) {
        std::remove(path_.c_str());
        createdOutput_ = false;
    }
    if (messagesFd_ >= 0) {
        close(messagesFd_);
        messagesFd_ = -1;
    }
}

void VideoWriter::fail(bool stalled)
{
    close(pipeFd_);
    pipeFd_ = -1;
    // A closed pipe means ffmpeg is ending or has ended; one that stopped reading is ended here.
    bool hung = stalled;
    const int status = stalled ? endProcess(encoder_) : waitWatching(encoder_, tmpVideo_, stallSeconds_, hung);
    encoder_ = -1;
    failure_ = "ffmpeg failed while encoding the frames for " + path_ + ": " +
               failureOf(status, hung, stallSeconds_, messagesFd_);
    failed_ = true;
    abandon();
}

bool VideoWriter::open(const std::string& path, int fps, int width, int height, std::string& error)
{
    ignoreBrokenPipes();
    if (const char* limit = std::getenv("RINTA_FFMPEG_TIMEOUT")) {
        char* end = nullptr;
        const double s = std::strtod(limit, &end);
        if (!*limit || *end || !std::isfinite(s) || s <= 0) {
            error = std::string("RINTA_FFMPEG_TIMEOUT wants a positive number of seconds, got '") + limit + "'";
            return false;
        }
        stallSeconds_ = s;
    }
    if (findOnPath("ffmpeg").empty()) {
        error = "ffmpeg is not installed (not found on PATH): install the Debian package ffmpeg for --video";
        return false;
    }
    path_ = path;
    frameBytes_ = static_cast<size_t>(width) * height * 3;
    // Probe the output itself now, so an unwritable path fails before minutes of rendering.
    struct stat st;
    const bool existed = stat(path.c_str(), &st) == 0;
    std::FILE* probe = std::fopen(path.c_str(), "ab");
    if (!probe) {
        error = "cannot write " + path + ": " + errnoText();
        return false;
    }
    std::fclose(probe);
    createdOutput_ = !existed;
    const fs::path out(path);
    const std::string stem = (out.parent_path() / ("." + out.filename().string())).string();
    tmpVideo_ = stem + ".rinta-video.mkv";
    tmpAudio_ = stem + ".rinta-audio.wav";
    if (!audio_.open(tmpAudio_, error))
        return false;
    messagesFd_ = memfd_create("ffmpeg messages", MFD_CLOEXEC); // without it they go to our stderr
    const std::string size = std::to_string(width) + "x" + std::to_string(height), rate = std::to_string(fps);
    const std::vector<std::string> args = {
        "ffmpeg",      "-nostdin", "-hide_banner", "-loglevel", "error",   "-f",     "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", size,       "-framerate",   rate,        "-i",      "pipe:0", "-c:v",     "libx264",  "-preset",
        "veryfast",    "-crf",     "18",           "-pix_fmt",  "yuv420p", "-y",     tmpVideo_};
    encoder_ = spawn(args, &pipeFd_, messagesFd_, error);
    // Never blocked for good: writeFrame waits on the pipe itself, with the stall time as limit.
    if (encoder_ > 0)
        fcntl(pipeFd_, F_SETFL, fcntl(pipeFd_, F_GETFL) | O_NONBLOCK);
    return encoder_ > 0;
}

bool VideoWriter::writeFrame(const unsigned char* rgb)
{
    if (failed_ || pipeFd_ < 0)
        return false;
    size_t left = frameBytes_;
    Clock::time_point lastProgress = Clock::now();
    while (left > 0) {
        const ssize_t n = ::write(pipeFd_, rgb, left);
        if (n > 0) {
            rgb += n;
            left -= static_cast<size_t>(n);
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const double waited = secondsSince(lastProgress);
            if (waited >= stallSeconds_) {
                fail(true);
                return false;
            }
            pollfd ready{pipeFd_, POLLOUT, 0};
            poll(&ready, 1, static_cast<int>(std::ceil(std::min(stallSeconds_ - waited, 60.0) * 1000)));
            continue;
        }
        fail(false); // it went away (EPIPE)
        return false;
    }
    ++frames_;
    return true;
}

bool VideoWriter::finish(std::string& error)
{
    if (failed_ || encoder_ <= 0) {
        error = failure_.empty() ? "ffmpeg was not running for " + path_ : failure_;
        abandon();
        return false;
    }
    close(pipeFd_);
    pipeFd_ = -1;
    bool stalled = false;
    const int status = waitWatching(encoder_, tmpVideo_, stallSeconds_, stalled);
    encoder_ = -1;
    if (stalled || !exitedOk(status)) {
        failure_ = "ffmpeg failed while encoding the frames for " + path_ + ": " +
                   failureOf(status, stalled, stallSeconds_, messagesFd_);
        failed_ = true;
        error = failure_;
        abandon();
        return false;
    }
    passOnMessages(messagesFd_);
    if (!audio_.close(error)) {
        abandon();
        return false;
    }
    const std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i",  tmpVideo_,
                                           "-i",     tmpAudio_,  "-map",         "0:v",       "-map",  "1:a", "-c:v",
                                           "copy",   "-c:a",     "aac",          "-b:a",      "192k",  "-y",  path_};
    const pid_t muxer = spawn(args, nullptr, messagesFd_, error);
    if (muxer <= 0) {
        abandon();
        return false;
    }
    const int muxStatus = waitWatching(muxer, path_, stallSeconds_, stalled);
    if (stalled || !exitedOk(muxStatus)) {
        error = "ffmpeg failed to join the pictures and the music into " + path_ + ": " +
                failureOf(muxStatus, stalled, stallSeconds_, messagesFd_);
        abandon();
        return false;
    }
    passOnMessages(messagesFd_);
    finished_ = true;
    abandon();
    return true;
}
