// SPDX-License-Identifier: MIT
// tests/support/call_log.cpp — expected-list builders and the call-for-call comparison (see
// the header).
#include "tests/support/call_log.h"

#include <cmath>

namespace recgl {
namespace {

const Call& wanted(const Call& c) { return c; }
const Call& wanted(const Expect& e) { return e.call; }
double toleranceOf(const Call&) { return 0; }
double toleranceOf(const Expect& e) { return e.tolerance; }

bool matches(const Call& got, const Call& want, double tolerance)
{
    if (tolerance == 0)
        return got == want;
    if (got.name != want.name || got.args.size() != want.args.size())
        return false;
    for (size_t a = 0; a < want.args.size(); ++a)
        if (!(std::fabs(got.args[a] - want.args[a]) <= tolerance))
            return false;
    return true;
}

template <class Want>
::testing::AssertionResult compare(const std::vector<Call>& log, const std::vector<Want>& expected, size_t first,
                                   bool whole)
{
    for (size_t i = 0; i < expected.size(); ++i) {
        const Call& want = wanted(expected[i]);
        if (first + i >= log.size())
            return ::testing::AssertionFailure()
                   << "log ends at " << log.size() << ", expected " << format(want) << " next";
        if (!matches(log[first + i], want, toleranceOf(expected[i])))
            return ::testing::AssertionFailure() << "call " << first + i << ": expected " << format(want)
                                                 << "\n got:\n" << format(log, first + i, 5);
    }
    if (whole && log.size() != first + expected.size())
        return ::testing::AssertionFailure() << "extra calls:\n" << format(log, first + expected.size(), 5);
    return ::testing::AssertionSuccess();
}

} // namespace

void addVertex(std::vector<Call>& out, float s, float t, float x, float y, float z)
{
    out.push_back(call("glTexCoord2f", {s, t}));
    out.push_back(call("glVertex3f", {x, y, z}));
}

void addQuads(std::vector<Call>& out, const float (*rows)[5], size_t count)
{
    out.push_back(call("glBegin", {GL_QUADS}));
    for (size_t k = 0; k < count; ++k)
        addVertex(out, rows[k][0], rows[k][1], rows[k][2], rows[k][3], rows[k][4]);
    out.push_back(call("glEnd"));
}

std::vector<Call> expectedProjection(double fov)
{
    return {
        call("glViewport", {0, 0, 640, 480}),
        call("glMatrixMode", {GL_PROJECTION}),
        call("glLoadIdentity"),
        call("gluPerspective", {fov, 640.0 / 480.0, 0.1f, 100}),
        call("glMatrixMode", {GL_MODELVIEW}),
        call("glLoadIdentity"),
    };
}

std::vector<Call> foldedFrame()
{
    std::vector<Call> out;
    const std::vector<Call>& log = calls();
    for (size_t i = 0; i < log.size(); ++i) {
        if (!(log[i] == call("glBegin", {GL_TRIANGLES}))) {
            out.push_back(log[i]);
            continue;
        }
        double texCoords = 0, vertices = 0;
        for (++i; i < log.size() && log[i].name != "glEnd"; ++i) {
            texCoords += log[i].name == "glTexCoord2f";
            vertices += log[i].name == "glVertex3f";
        }
        out.push_back(texCoords == vertices && i < log.size() ? call("mesh", {vertices}) : call("brokenMesh"));
    }
    return out;
}

::testing::AssertionResult matchCalls(const std::vector<Call>& log, const std::vector<Call>& expected, size_t first,
                                      bool whole)
{
    return compare(log, expected, first, whole);
}

::testing::AssertionResult sameCalls(const std::vector<Call>& expected, size_t first, bool whole)
{
    return compare(calls(), expected, first, whole);
}

::testing::AssertionResult sameCalls(const std::vector<Expect>& expected, size_t first, bool whole)
{
    return compare(calls(), expected, first, whole);
}

void expectFrame(const std::vector<Call>& expected) { EXPECT_TRUE(matchCalls(foldedFrame(), expected)); }

void expectCalls(const std::vector<Call>& expected) { ASSERT_TRUE(sameCalls(expected)); }

} // namespace recgl
