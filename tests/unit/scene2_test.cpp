// SPDX-License-Identifier: MIT
// Scene 2, the tumbling planes and the beat-pulsed mesh: one frame call for call against the
// recording GL layer, the pulse bands read from the row, the angles' float timeline and the
// render state the frame leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/meshes/meshes.h"
#include "scenes/scene2.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::call;
using recgl::expectFrame;

const float kPlanes[8][5] = {
    {5, 10, -70, 5, -70},   {5, 5, -70, 5, 70},    {10, 5, 70, 5, 70},   {10, 10, 70, 5, -70},
    {10, 10, -70, -5, -70}, {5, 10, 70, -5, -70}, {5, 5, 70, -5, 70},   {10, 5, -70, -5, 70},
};

// Everything a frame draws at these angles, with these glScalef factors before the mesh.
std::vector<Call> expectedFrame(float spin, std::initializer_list<float> scales)
{
    std::vector<Call> f = scenetest::recordedProjection(90);
    auto add = [&f](const char* name, std::initializer_list<double> args = {}) { f.push_back(call(name, args)); };
    add("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1});
    add("glFogf", {GL_FOG_DENSITY, 0.05f});
    add("glClearColor", {0, 0, 0, 0.5f});
    add("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
    add("glColor4f", {1, 1, 1, 255.25f});
    add("glDisable", {GL_BLEND});
    add("glEnable", {GL_DEPTH_TEST});
    add("glLoadIdentity");
    add("glBindTexture", {GL_TEXTURE_2D, 119});
    add("glRotatef", {spin, 1, 0, 0});
    add("glRotatef", {spin, 0, 1, 0});
    add("glRotatef", {spin, 0, 0, 1});
    recgl::addQuads(f, kPlanes);
    add("glLoadIdentity");
    add("glTranslatef", {0, 0, -15});
    add("glEnable", {GL_BLEND});
    add("glDisable", {GL_DEPTH_TEST});
    add("glBindTexture", {GL_TEXTURE_2D, 100});
    add("glRotatef", {spin, 1, 0, 0});
    add("glRotatef", {spin, 0, 1, 0});
    add("glRotatef", {spin, 0, 0, 1});
    add("glColor4f", {1, 1, 1, 0.25f});
    for (float s : scales)
        add("glScalef", {s, s, s});
    add("mesh", {3.0 * MeshC.triangleCount});
    return f;
}

void setSpin(float degrees) { s2SpinX = s2SpinY = s2SpinZ = degrees; }

std::vector<double> scaleFactors()
{
    std::vector<double> out;
    for (const Call& c : recgl::calls())
        if (c.name == "glScalef") {
            EXPECT_TRUE(c.args[0] == c.args[1] && c.args[1] == c.args[2]) << recgl::format(c);
            out.push_back(c.args[0]);
        }
    return out;
}

using SceneTwo = scenetest::SceneTest;

TEST_F(SceneTwo, FirstFrameDrawsPlanesLevelAndThenAdvancesTheAngles)
{
    setSpin(0);
    const std::vector<Call> expected = expectedFrame(0, {});
    setSleepHook(scenetest::noteSleep);

    EXPECT_TRUE(drawScene2());

    expectFrame(expected);
    EXPECT_EQ(s2SpinX, 0.5f);
    EXPECT_EQ(s2SpinY, 0.5f);
    EXPECT_EQ(s2SpinZ, 0.5f);
    EXPECT_EQ(fakemusic::rowReads(), 16) << "row 0 fails every lower bound";
    EXPECT_EQ(fakemusic::orderReads(), 0);
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});
    EXPECT_EQ(scenetest::callsAtSleep(), recgl::calls().size()) << "the sleep ends the frame";
}

TEST_F(SceneTwo, LaterFrameOnAnOddBandDoublesTheTumbledMesh)
{
    setSpin(123.5f);
    fakemusic::setRow(41);
    const std::vector<Call> expected = expectedFrame(123.5f, {2});

    drawScene2();

    expectFrame(expected);
    EXPECT_EQ(s2SpinX, 124.0f);
    // Bands 0 to 5 pass their lower bound (two reads each), the rest fail it (one each).
    EXPECT_EQ(fakemusic::rowReads(), 6 * 2 + 10);
    // The factor scales the mesh's own matrix, after its rotations.
    const recgl::State& s = recgl::state();
    EXPECT_NEAR(std::hypot(s.modelview[0], s.modelview[1], s.modelview[2]), 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(s.modelview[14], -15.0);
}

TEST_F(SceneTwo, PulseBandsHaveStrictBoundsOnBothSides)
{
    struct RowCase {
        int row;
        std::vector<double> factors;
    };
    const RowCase cases[] = {
        {0, {}},  {1, {1}},   {7, {1}},   {8, {}},   {9, {2}},  {15, {2}},   {16, {}},
        {17, {1}}, {120, {}}, {121, {2}}, {127, {2}}, {128, {}}, {200, {}},  {-1, {}},
    };
    for (const RowCase& c : cases) {
        recgl::reset();
        fakemusic::reset();
        fakemusic::setRow(c.row);
        drawScene2();
        EXPECT_EQ(scaleFactors(), c.factors) << "row " << c.row;
        // One read per band, and a second where the row passes the lower bound: 16 to 32.
        const int passLower = c.row > 0 ? std::min(16, (c.row + 7) / 8) : 0;
        EXPECT_EQ(fakemusic::rowReads(), 16 + passLower) << "row " << c.row;
    }
}

TEST_F(SceneTwo, EachBoundReadsTheRowAfresh)
{
    // Row 15 at band 1's lower read, 16 at its upper read: the frame applies no factor.
    fakemusic::queueRows({15, 15, 15, 16});
    fakemusic::setRow(16);
    drawScene2();
    EXPECT_EQ(scaleFactors(), std::vector<double>{});
    EXPECT_EQ(fakemusic::rowReads(), 2 + 2 + 14);

}

TEST_F(SceneTwo, PulseDoesNotCarryIntoTheNextFrame)
{
    setSpin(0);
    fakemusic::setRow(9);
    drawScene2();
    recgl::reset();
    fakemusic::setRow(8);
    drawScene2();
    const recgl::State& s = recgl::state();
    EXPECT_NEAR(std::hypot(s.modelview[0], s.modelview[1], s.modelview[2]), 1.0, 1e-9);
}

TEST_F(SceneTwo, AnglesReachExactly360After720FramesAndGoOn)
{
    setSpin(0);
    for (int frame = 0; frame < 720; ++frame) {
        recgl::reset();
        drawScene2();
    }
    EXPECT_EQ(s2SpinX, 360.0f);
    EXPECT_EQ(s2SpinY, 360.0f);
    EXPECT_EQ(s2SpinZ, 360.0f);
    recgl::reset();
    drawScene2();
    EXPECT_EQ(recgl::calls()[recgl::find("glRotatef")], call("glRotatef", {360, 1, 0, 0}));
    EXPECT_EQ(s2SpinX, 360.5f);
}

TEST_F(SceneTwo, LeavesBlendingOnDepthOffMeshTextureAndTheWideProjection)
{
    setSpin(10);
    drawScene2();
    const recgl::State& s = recgl::state();
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthTest);
    EXPECT_EQ(s.boundTexture, 100u);
    EXPECT_EQ(s.fogDensity, 0.05f);
    EXPECT_EQ(std::vector<float>(s.colour, s.colour + 4), (std::vector<float>{1, 1, 1, 0.25f}));
    EXPECT_EQ(std::vector<float>(s.clearColour, s.clearColour + 4), (std::vector<float>{0, 0, 0, 0.5f}));
    EXPECT_EQ(std::vector<int>(s.viewport, s.viewport + 4), (std::vector<int>{0, 0, 640, 480}));
    EXPECT_NEAR(s.projection[5], 1.0, 1e-9) << "cot(45 degrees): a 90 degree field of view";
    EXPECT_EQ(s.matrixMode, static_cast<GLenum>(GL_MODELVIEW));
    EXPECT_DOUBLE_EQ(s.modelview[14], -15.0) << "the mesh's matrix";
    EXPECT_EQ(recgl::count("glPolygonMode"), 0u);
}

} // namespace
