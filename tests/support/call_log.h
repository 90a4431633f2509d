// SPDX-License-Identifier: MIT
// tests/support/call_log.h — what call-order tests share on top of the recording GL layer:
// builders for expected call lists, the recorded frame with meshes folded, and one
// call-for-call comparison that names the first call that differs.
#pragma once
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "tests/support/recording_gl.h"

namespace recgl {

// glTexCoord2f(s, t) then glVertex3f(x, y, z), as every textured vertex is sent.
void addVertex(std::vector<Call>& out, float s, float t, float x, float y, float z);

// One glBegin(GL_QUADS)..glEnd batch of (s, t, x, y, z) rows.
void addQuads(std::vector<Call>& out, const float (*rows)[5], size_t count);
template <size_t N>
void addQuads(std::vector<Call>& out, const float (&rows)[N][5])
{
    addQuads(out, rows, N);
}

// The six calls resizeGLScene(fov, 640, 480) must make, written out: viewport, perspective
// with the near plane 0.1f widened, model-view identity.
std::vector<Call> expectedProjection(double fov);

// The recorded log with each glBegin(GL_TRIANGLES)..glEnd run folded into one
// mesh(vertexCount) entry (brokenMesh if texture coordinates and vertices do not pair up or
// the run never ends), so frames compare alike whatever the mesh data holds.
std::vector<Call> foldedFrame();

// An expected call whose arguments may differ by up to tolerance (values formed by 32-bit
// stepping); 0 means exactly.
struct Expect {
    Call call;
    double tolerance = 0;
};

// log from index first on against expected, call for call; with whole set, the log must end
// there. The failure names the first call that differs and shows the log around it.
::testing::AssertionResult matchCalls(const std::vector<Call>& log, const std::vector<Call>& expected,
                                      size_t first = 0, bool whole = true);
// The same against the recorded log.
::testing::AssertionResult sameCalls(const std::vector<Call>& expected, size_t first = 0, bool whole = true);
::testing::AssertionResult sameCalls(const std::vector<Expect>& expected, size_t first = 0, bool whole = true);

// The whole recorded frame, meshes folded, against expected; a mismatch is a non-fatal failure.
void expectFrame(const std::vector<Call>& expected);
// The whole recorded log, nothing folded, against expected; a mismatch is a fatal failure.
void expectCalls(const std::vector<Call>& expected);

} // namespace recgl
