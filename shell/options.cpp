// SPDX-License-Identifier: MIT
// shell/options.cpp — rinta's command line, parsed in the usual form (--name value or
// --name=value), and the start it asks for. Every value is checked whole: "4x" or an empty
// value is an error with exit code 2, never a silent default.
#include "shell/options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "engine/frontend.h"
#include "engine/projection.h"
#include "shell/window.h"

#ifndef RINTA_VERSION
#define RINTA_VERSION "unknown"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kGoOn = -1;

int badArguments(const std::string& why)
{
    std::fprintf(stderr, "rinta: %s\nTry 'rinta --help' for the options.\n", why.c_str());
    return kExitBadArguments;
}

// --help and --version: 0, or 1 after a message when standard output cannot take the text
// (a full disk, a closed descriptor), as a tool whose output is lost must not report success.
int printToStdout(const std::string& text)
{
    errno = 0;
    if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fprintf(stderr, "rinta: cannot write to standard output: %s\n", errno ? std::strerror(errno) : "write error");
    return 1;
}

} // namespace

const char* shellUsage()
{
    return "usage: rinta [options]\n"
           "Plays the demo. With no options it asks whether to run fullscreen.\n"
           "  --fullscreen          fullscreen without asking\n"
           "  --windowed            in a window without asking\n"
           "  --resolution R        the size the scenes are drawn at: classic (640x480, scaled up as\n"
           "                        the demo always was), native (the screen's or window's own pixels,\n"
           "                        4:3), or WxH (the largest 4:3 picture within it; in a window, the\n"
           "                        window's size). Default: native, classic on a software renderer\n"
           "  --msaa N              multisampled anti-aliasing with N samples, 0 = off\n"
           "                        (default: 4 where the driver offers it, off in classic mode)\n"
           "  --data DIR            read the pictures and the music from DIR (default ./data)\n"
           "  --help                this text\n"
           "  --version             the version\n"
           "Keys: Esc ends, 1-8 force a scene, Left/Right step the forced scene.\n";
}

int parseShellOptions(int argc, char** argv, ShellOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i], value;
        bool hasValue = false;
        const size_t equals = flag.find('=');
        if (flag.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = flag.substr(equals + 1);
            flag = flag.substr(0, equals);
            hasValue = true;
        }
        const bool wantsValue = flag == "--resolution" || flag == "--msaa" || flag == "--data";
        const bool switchFlag =
            flag == "--help" || flag == "-h" || flag == "--version" || flag == "--fullscreen" || flag == "--windowed";
        if (hasValue && !wantsValue)
            return badArguments(switchFlag ? flag + " takes no value" : "unknown option " + flag);
        if (flag == "--help" || flag == "-h")
            return printToStdout(shellUsage());
        if (flag == "--version")
            return printToStdout(std::string("rinta ") + RINTA_VERSION + "\n");
        if (flag == "--fullscreen" || flag == "--windowed") {
            const StartMode mode = flag == "--fullscreen" ? StartMode::Fullscreen : StartMode::Windowed;
            if (options.start != StartMode::Ask && options.start != mode)
                return badArguments("--fullscreen and --windowed exclude each other");
            options.start = mode;
            continue;
        }
        if (!wantsValue)
            return badArguments(flag.rfind("-", 0) == 0 ? "unknown option " + flag : "unexpected argument " + flag);
        if (!hasValue) {
            if (i + 1 >= argc)
                return badArguments(flag + " needs a value");
            value = argv[++i];
        }
        if (flag == "--resolution") {
            if (!parseRenderResolution(value, options.render))
                return badArguments("--resolution wants classic, native or WxH (" + std::to_string(kMinRenderSide) +
                                    " to " + std::to_string(kMaxRenderSide) + " each), got '" + value + "'");
        } else if (flag == "--msaa") {
            if (!parseRenderSamples(value, options.render))
                return badArguments("--msaa wants a number of samples from 0 (off) to " +
                                    std::to_string(kMaxRenderSamples) + ", got '" + value + "'");
        } else {
            std::error_code ec;
            if (value.empty() || !fs::is_directory(value, ec))
                return badArguments("--data wants a directory, and '" + value + "' is none");
            options.dataDir = value;
        }
    }
    return kGoOn;
}

int startFromCommandLine(int argc, char** argv)
{
    ShellOptions options;
    const int code = parseShellOptions(argc, argv, options);
    if (code != kGoOn)
        return code;
    if (!options.dataDir.empty())
        setDataDirectory(options.dataDir);
    setRenderSettings(options.render);
    // A window asked for by size opens at that size's 4:3 picture; otherwise at 640 x 480.
    PresentRect size{0, 0, kSceneWidth, kSceneHeight};
    if (options.render.resolution == RenderResolution::Fixed)
        size = fitTarget(kSceneWidth, kSceneHeight, options.render.width, options.render.height);
    const bool opened = options.start == StartMode::Ask
                            ? askFullscreenAndCreate(size.width, size.height, 32)
                            : createWindowUnasked(size.width, size.height, 32, options.start == StartMode::Fullscreen);
    return opened ? kGoOn : 0; // no window: the message said why, and the code stays 0 as it always was
}
