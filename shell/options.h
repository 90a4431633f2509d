// SPDX-License-Identifier: MIT
// shell/options.h — rinta's command line: how to start (ask, fullscreen, windowed), the
// render resolution and multisampling, and where the data is. With no arguments the program
// asks its fullscreen question as it always has.
#pragma once
#include <string>

#include "engine/present.h"

enum class StartMode { Ask, Fullscreen, Windowed };

struct ShellOptions {
    StartMode start = StartMode::Ask;
    RenderSettings render;
    std::string dataDir; // empty: data/ in the working directory
};

constexpr int kExitBadArguments = 2;

// Parses argv. Returns -1 to go on; otherwise the program ends with the returned code at once:
// 0 after --help or --version (printed on stdout; 1 when stdout cannot take them), kExitBadArguments
// after a message on stderr.
int parseShellOptions(int argc, char** argv, ShellOptions& options);

const char* shellUsage();

// Applies the command line and opens the window: asks the question or not, as the options say.
// Returns -1 to go on into the demo, or the exit code to end with (help, version, bad arguments,
// no window).
int startFromCommandLine(int argc, char** argv);
