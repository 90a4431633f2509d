// SPDX-License-Identifier: MIT
// capture/bench.cpp — per-scene timing. The calls of each scene take turns: full frames (the
// demo's own path), unsampled frames (1-pixel scissor: what a frame nobody sees costs), and
// a frame recorded into a display list and replayed. The replay is the bare GL baseline: the
// same geometry and state changes with none of our code around them, so full minus bare is
// what the engine and scenes add on top of the rasterizer. glFinish brackets each sample so
// the rasterizer's work lands on the scene that caused it.
#include "capture/bench.h"

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "engine/frontend.h"
#include "engine/gl.h"
#include "engine/percentile.h"

namespace {

struct Samples {
    std::vector<double> submit, raster; // wall ms: until the calls return / until GL has finished
    std::vector<double> cpu;            // process CPU ms, all rasterizer threads: steadier on a busy machine
    std::vector<double> total() const
    {
        std::vector<double> t(submit.size());
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = submit[i] + raster[i];
        return t;
    }
};

struct SceneBench {
    long calls = 0;
    Samples full, unsampled, bare;
};

SceneBench scenes[8];

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

bool timed(Samples& into, bool (*draw)(), const DeterministicLoop& clock)
{
    glFinish();
    const double sleptBefore = clock.sleepWallSeconds();
    const double c0 = cpuMs(), t0 = nowMs();
    const bool r = draw();
    const double t1 = nowMs();
    glFinish();
    const double t2 = nowMs(), c2 = cpuMs();
    // The music rendered inside the sleep hook runs on this thread: its time comes off both.
    const double slept = (clock.sleepWallSeconds() - sleptBefore) * 1000.0;
    into.submit.push_back(t1 - t0 - slept);
    into.raster.push_back(t2 - t1);
    into.cpu.push_back(c2 - c0 - slept);
    return r;
}

bool recordAndReplay(Samples& into, bool (*draw)())
{
    GLint modeBefore = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &modeBefore);
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE_AND_EXECUTE);
    const bool r = draw();
    glEndList();
    // Replay from a saved state and put it back, so the demo goes on exactly as the scene left it.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMatrixMode(static_cast<GLenum>(modeBefore));
    glFinish();
    const double c0 = cpuMs(), t0 = nowMs();
    glCallList(list);
    const double t1 = nowMs();
    glFinish();
    const double t2 = nowMs(), c2 = cpuMs();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    glDeleteLists(list, 1);
    into.submit.push_back(t1 - t0);
    into.raster.push_back(t2 - t1);
    into.cpu.push_back(c2 - c0);
    return r;
}

} // namespace

bool benchScene(int index, bool (*draw)(), const DeterministicLoop& clock)
{
    SceneBench& s = scenes[index];
    switch (s.calls++ % 4) {
    case 1: {
        setFrameSeen(false);
        const bool r = timed(s.unsampled, draw, clock);
        setFrameSeen(true);
        return r;
    }
    case 3:
        return recordAndReplay(s.bare, draw);
    default:
        return timed(s.full, draw, clock);
    }
}

namespace {

std::string ratio(double a, double b)
{
    if (b <= 0)
        return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", a / b);
    return text;
}

} // namespace

void printBenchReport(std::FILE* out, const char* renderer, int width, int height, int samples)
{
    std::fprintf(out, "renderer: %s, %d x %d, %dx MSAA; per scene call, sleeps excluded; ms\n", renderer, width, height,
                 samples);
    std::fprintf(out, "wall = median/p95 (median submit + median raster); cpu = median process CPU, all threads\n");
    std::fprintf(out, "%-5s %5s | %-31s %6s | %-31s %6s | %9s %9s | %-13s %6s | %s\n", "scene", "calls",
                 "full: wall", "cpu", "bare GL: wall", "cpu", "full/bare", "(cpu)", "unsampled", "cpu",
                 "unsampled/full (cpu)");
    for (int i = 0; i < 8; ++i) {
        const SceneBench& s = scenes[i];
        if (s.full.submit.empty()) {
            std::fprintf(out, "%5d %5ld | not run often enough\n", i + 1, s.calls);
            continue;
        }
        const auto full = s.full.total(), bare = s.bare.total(), unsampled = s.unsampled.total();
        const double fullWall = percentile(full, 50), bareWall = percentile(bare, 50);
        const double fullCpu = percentile(s.full.cpu, 50), bareCpu = percentile(s.bare.cpu, 50);
        const double unsampledWall = percentile(unsampled, 50), unsampledCpu = percentile(s.unsampled.cpu, 50);
        std::fprintf(out,
                     "%5d %5ld | %7.2f/%7.2f (%6.2f+%6.2f) %6.2f | %7.2f/%7.2f (%6.2f+%6.2f) %6.2f | %9s %9s | "
                     "%6.2f/%6.2f %6.2f | %s (%s)\n",
                     i + 1, s.calls, fullWall, percentile(full, 95), percentile(s.full.submit, 50),
                     percentile(s.full.raster, 50), fullCpu, bareWall, percentile(bare, 95),
                     percentile(s.bare.submit, 50), percentile(s.bare.raster, 50), bareCpu,
                     ratio(fullWall, bareWall).c_str(), ratio(fullCpu, bareCpu).c_str(), unsampledWall,
                     percentile(unsampled, 95), unsampledCpu, ratio(unsampledWall, fullWall).c_str(),
                     ratio(unsampledCpu, fullCpu).c_str());
    }
}
