// SPDX-License-Identifier: MIT
// capture/options.cpp — command-line parsing for rinta-capture. Every number is checked
// whole: "12abc" or an empty value is an error, never a silent zero.
#include "capture/options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/render_settings.h"
#include "platform/platform.h"

namespace {

bool parseLong(const std::string& text, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool parseDouble(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool parseKeyName(const std::string& name, int& vk)
{
    if (name.size() == 1 && name[0] >= '1' && name[0] <= '8') {
        vk = kVk1 + (name[0] - '1');
        return true;
    }
    if (name == "left")
        vk = kVkLeft;
    else if (name == "right")
        vk = kVkRight;
    else if (name == "esc")
        vk = kVkEscape;
    else
        return false;
    return true;
}

bool parseRange(const std::string& text, long& first, long& last)
{
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        if (!parseLong(text, first))
            return false;
        last = first;
    } else if (!parseLong(text.substr(0, dash), first) || !parseLong(text.substr(dash + 1), last)) {
        return false;
    }
    return first >= 1 && last >= first;
}

bool parseFrames(const std::string& text, CaptureOptions& options)
{
    options.frameRanges.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        long first = 0, last = 0;
        if (!parseRange(text.substr(start, comma - start), first, last))
            return false;
        if (!options.frameRanges.empty() && first <= options.frameRanges.back().second)
            return false; // ranges in increasing order, not overlapping
        options.frameRanges.emplace_back(first, last);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    options.firstFrame = options.frameRanges.front().first;
    options.lastFrame = options.frameRanges.back().second;
    return true;
}

} // namespace

const char* captureUsage()
{
    return "usage: rinta-capture [options]\n"
           "  --data DIR          the demo's data directory (default ./data)\n"
           "  --png DIR           write presented frames as DIR/frame-NNNNNN.png\n"
           "  --frames A-B        limit output to presented frames A to B (from 1); a list A-B,C,D-E\n"
           "                      writes PNGs of those frames only, the video spans them all\n"
           "  --video FILE        write a video with the music through ffmpeg\n"
           "  --fps N             video frame rate (default 60)\n"
           "  --size WxH          output size (default 640x480); the scenes are drawn at the largest 4:3\n"
           "                      picture within it, centred between black bars (1920x1080: 1440x1080)\n"
           "  --msaa N            multisampled anti-aliasing with N samples (default 0, off)\n"
           "  --wav FILE          write the music as 16-bit stereo WAV\n"
           "  --log FILE          one line per presented frame: FRAME MS ORDER ROW OVERRIDE SCENES, with\n"
           "                      demo time, order, row and SceneOverride after the frame, and the scenes\n"
           "                      in the order they ran, a scene's nested calls in brackets (1,6[6,7]);\n"
           "                      last line: end MS ORDER REASON SCENES, REASON one of order32, esc,\n"
           "                      seconds, frames, error; for order32, ORDER is the order read when the\n"
           "                      song was freed, SCENES ran in the frame that met it (never presented)\n"
           "  --key FRAME:KEY     press KEY (1-8, left, right, esc) for presented frame FRAME; repeatable\n"
           "  --seconds S         stop after S seconds of demo time (default: the song's end)\n"
           "  --frame-cost-ms MS  demo time one rendered scene costs (default 1)\n"
           "  --bench             render only; report per-scene render time against bare GL\n"
           "  --version           print the version and exit\n"
           "  --help              this text\n";
}

const char* captureVersion() { return "rinta-capture " RINTA_VERSION "\n"; }

int printToStdout(const char* text)
{
    errno = 0;
    const bool written = std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written)
        return 0;
    std::fprintf(stderr, "rinta-capture: cannot write to standard output: %s\n",
                 errno ? std::strerror(errno) : "write error");
    return 1;
}

bool parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            options.help = true;
            continue;
        }
        if (flag == "--version") {
            options.version = true;
            continue;
        }
        if (flag == "--bench") {
            options.bench = true;
            continue;
        }
        static const char* const kWithValue[] = {"--data",          "--png", "--frames", "--video",
                                                 "--fps",           "--wav", "--key",    "--seconds",
                                                 "--frame-cost-ms", "--log", "--size",   "--msaa"};
        bool known = false;
        for (const char* name : kWithValue)
            known = known || flag == name;
        if (!known) {
            error = "unknown option " + flag;
            return false;
        }
        if (i + 1 >= argc) {
            error = flag + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (flag == "--data" || flag == "--png" || flag == "--video" || flag == "--wav" || flag == "--log") {
            if (value.empty()) {
                error = flag + " needs a non-empty path";
                return false;
            }
            std::string& target = flag == "--data"    ? options.dataDir
                                  : flag == "--png"   ? options.pngDir
                                  : flag == "--video" ? options.videoFile
                                  : flag == "--wav"   ? options.wavFile
                                                      : options.logFile;
            target = value;
        } else if (flag == "--frames") {
            if (!parseFrames(value, options)) {
                error = "--frames wants A-B with 1 <= A <= B (or rising ranges A-B,C,D-E), got '" + value + "'";
                return false;
            }
        } else if (flag == "--fps") {
            long fps = 0;
            if (!parseLong(value, fps) || fps < 1 || fps > 1000) {
                error = "--fps wants a whole number from 1 to 1000, got '" + value + "'";
                return false;
            }
            options.fps = static_cast<int>(fps);
        } else if (flag == "--size") {
            const size_t x = value.find('x');
            long w = 0, h = 0;
            // Even sides: the video's 4:2:0 colour needs them, and frames and video should agree.
            if (x == std::string::npos || !parseLong(value.substr(0, x), w) || !parseLong(value.substr(x + 1), h) ||
                w < kMinRenderSide || h < kMinRenderSide || w > kMaxRenderSide || h > kMaxRenderSide || w % 2 ||
                h % 2) {
                error = "--size wants WxH, even numbers from " + std::to_string(kMinRenderSide) + " to " +
                        std::to_string(kMaxRenderSide) + ", got '" + value + "'";
                return false;
            }
            options.width = static_cast<int>(w);
            options.height = static_cast<int>(h);
        } else if (flag == "--msaa") {
            RenderSettings asked;
            if (!parseRenderSamples(value, asked)) {
                error = "--msaa wants a number of samples from 0 (off) to " + std::to_string(kMaxRenderSamples) +
                        ", got '" + value + "'";
                return false;
            }
            options.msaa = asked.msaa;
        } else if (flag == "--seconds") {
            if (!parseDouble(value, options.seconds) || options.seconds <= 0 || options.seconds > 1e6) {
                error = "--seconds wants a positive number, got '" + value + "'";
                return false;
            }
        } else if (flag == "--frame-cost-ms") {
            double ms = 0;
            // Zero would let a frame without a sleep (scene 5) leave the clock, and so the song, standing.
            if (!parseDouble(value, ms) || ms < 0.001 || ms > 1000) {
                error = "--frame-cost-ms wants a number from 0.001 to 1000, got '" + value + "'";
                return false;
            }
            options.frameCostUs = std::llround(ms * 1000.0);
        } else if (flag == "--key") {
            const size_t colon = value.find(':');
            KeyPress press{};
            if (colon == std::string::npos || !parseLong(value.substr(0, colon), press.frame) || press.frame < 1 ||
                !parseKeyName(value.substr(colon + 1), press.vk)) {
                error =
                    "--key wants FRAME:KEY with FRAME from 1 and KEY one of 1-8, left, right, esc; got '" + value + "'";
                return false;
            }
            options.keys.push_back(press);
        }
    }
    if (options.bench && (!options.pngDir.empty() || !options.videoFile.empty() || !options.wavFile.empty())) {
        error = "--bench renders only: leave out --png, --video and --wav";
        return false;
    }
    return true;
}
