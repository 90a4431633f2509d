// SPDX-License-Identifier: MIT
// capture/framelog.cpp — the scene trail and the frame log it is written to.
#include "capture/framelog.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kTraceDepths = 8;
char sceneTrail[128];
size_t trailLength = 0;
int trailOpenBrackets = 0;
int callsAtDepth[kTraceDepths + 1] = {};

std::FILE* frameLog = nullptr;
std::string logPath;

void appendTrail(char c)
{
    if (trailLength + 1 < sizeof sceneTrail)
        sceneTrail[trailLength++] = c;
    sceneTrail[trailLength] = '\0';
}

// Demo time as milliseconds with the microseconds kept, exact.
void printMs(std::FILE* f, std::int64_t us)
{
    std::fprintf(f, "%lld.%03lld", static_cast<long long>(us / 1000), static_cast<long long>(us % 1000));
}

} // namespace

void startTrail()
{
    trailLength = 0;
    sceneTrail[0] = '\0';
    trailOpenBrackets = 0;
    callsAtDepth[0] = 0;
}

void traceSceneStart(int depth, int index)
{
    const int d = std::min(depth, kTraceDepths - 1);
    if (callsAtDepth[d] > 0) {
        appendTrail(',');
    } else if (d > 0) {
        appendTrail('[');
        ++trailOpenBrackets;
    }
    ++callsAtDepth[d];
    callsAtDepth[d + 1] = 0;
    appendTrail(static_cast<char>('1' + index));
}

void traceSceneEnd(int depth)
{
    const int d = std::min(depth, kTraceDepths - 1);
    if (callsAtDepth[d + 1] > 0) {
        appendTrail(']');
        --trailOpenBrackets;
    }
}

bool openFrameLog(const std::string& path, std::string& error)
{
    logPath = path;
    frameLog = std::fopen(path.c_str(), "w");
    if (!frameLog) {
        error = "cannot write the frame log " + path + ": " + std::strerror(errno);
        return false;
    }
    static char buffer[1 << 16]; // some 16,000 short lines a song: write them in large blocks
    std::setvbuf(frameLog, buffer, _IOFBF, sizeof buffer);
    std::fputs("# frame ms order row override scenes\n", frameLog);
    return true;
}

void logFrame(long frame, std::int64_t us, int order, int row, int sceneOverride)
{
    if (!frameLog)
        return;
    std::fprintf(frameLog, "%ld ", frame);
    printMs(frameLog, us);
    std::fprintf(frameLog, " %d %d %d %s\n", order, row, sceneOverride, trailLength ? sceneTrail : "-");
}

void logEnd(std::int64_t endUs, int order, const char* reason, bool frameCutShort)
{
    if (!frameLog)
        return;
    while (frameCutShort && trailOpenBrackets > 0) { // the nested dispatch never returned
        appendTrail(']');
        --trailOpenBrackets;
    }
    std::fputs("end ", frameLog);
    printMs(frameLog, endUs);
    std::fprintf(frameLog, " %d %s %s\n", order, reason, frameCutShort && trailLength ? sceneTrail : "-");
}

bool closeFrameLog(std::string& error)
{
    if (!frameLog)
        return true;
    const bool ok = !std::ferror(frameLog);
    const bool closed = std::fclose(frameLog) == 0;
    frameLog = nullptr;
    if (!ok || !closed)
        error = "cannot write the frame log " + logPath;
    return ok && closed;
}
