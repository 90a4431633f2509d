// SPDX-License-Identifier: MIT
// Scene 3, the counter-rotating meshes, sliding strip and rolling tunnel: one frame call for
// call against the recording GL layer, the first-frame values, when the strip and the tunnel
// leave the view, and the render state the frame leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/meshes/meshes.h"
#include "scenes/scene3.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::call;
using recgl::expectFrame;

struct Drawn { // the values a frame draws with
    float spinA, spinB, stripX, tunnelZ, roll;
};

std::vector<Call> expectedFrame(const Drawn& d)
{
    std::vector<Call> f = scenetest::recordedProjection(45);
    auto add = [&f](const char* name, std::initializer_list<double> args = {}) { f.push_back(call(name, args)); };
    add("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1});
    add("glClearColor", {0, 0, 0, 0.2f});
    add("glFogf", {GL_FOG_DENSITY, 0.05f});
    add("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
    add("glEnable", {GL_BLEND});
    add("glDisable", {GL_DEPTH_TEST});
    const double meshes = 3.0 * MeshB.triangleCount;
    auto pair = [&](double r, double g, double b, double a, float spin) {
        add("glLoadIdentity");
        add("glTranslatef", {0, 0, -15});
        add("glBindTexture", {GL_TEXTURE_2D, 100});
        add("glColor4f", {r, g, b, a});
        add("glRotatef", {spin, 1, 0, 0});
        add("glRotatef", {spin, 0, 1, 0});
        add("glRotatef", {spin, 0, 0, 1});
        add("mesh", {meshes});
        add("glScalef", {3, 3, 3});
        add("mesh", {meshes});
    };
    pair(0, 0, 255, 0.25f, d.spinA);
    pair(1, 0, 255, 0.05f, d.spinB);
    add("glLoadIdentity");
    add("glTranslatef", {d.stripX, -1.2f, -4});
    add("glBindTexture", {GL_TEXTURE_2D, 107});
    add("glColor4f", {1, 1, 1, 0.2f});
    const float strip[4][5] = {{0, 0, -3.5f, -0.4f, 0}, {1, 0, 3.5f, -0.4f, 0}, {1, 1, 3.5f, 0.4f, 0}, {0, 1, -3.5f, 0.4f, 0}};
    recgl::addQuads(f, strip);
    add("glLoadIdentity");
    add("glTranslatef", {0, 0, d.tunnelZ});
    add("glRotatef", {d.roll, 0, 0, 1});
    add("glBindTexture", {GL_TEXTURE_2D, 108});
    add("glColor4f", {1, 1, 1, 0.2f});
    for (const float z0 : {-50.0f, -150.0f, -250.0f}) {
        const float z1 = z0 + 100;
        // top, bottom, right, left
        const float side[16][5] = {
            {7, 10, -1, 1, z0},   {7, 7, -1, 1, z1},   {10, 7, 1, 1, z1},   {10, 10, 1, 1, z0},
            {10, 10, -1, -1, z0}, {7, 10, 1, -1, z0},  {7, 7, 1, -1, z1},   {10, 7, -1, -1, z1},
            {10, 7, 1, -1, z0},   {10, 10, 1, 1, z0},  {7, 10, 1, 1, z1},   {7, 7, 1, -1, z1},
            {7, 7, -1, -1, z0},   {10, 7, -1, -1, z1}, {10, 10, -1, 1, z1}, {7, 10, -1, 1, z0},
        };
        recgl::addQuads(f, side);
    }
    return f;
}

void startValues()
{
    s3SpinAX = s3SpinAY = s3SpinAZ = 0;
    s3SpinBX = s3SpinBY = s3SpinBZ = 0;
    s3MeshDepth = -15;
    s3StripX = 6;
    s3TunnelZ = -50;
    s3TunnelRoll = 0;
}

using SceneThree = scenetest::SceneTest;

TEST_F(SceneThree, FirstFrameAdvancesEverythingButTheStripBeforeDrawing)
{
    startValues();
    const std::vector<Call> expected = expectedFrame({1, -1.5f, 6, -49.3f, 0.1f});
    setSleepHook(scenetest::noteSleep);

    EXPECT_TRUE(drawScene3());

    expectFrame(expected);
    EXPECT_EQ(s3SpinAX, 1.0f);
    EXPECT_EQ(s3SpinBZ, -1.5f);
    EXPECT_EQ(s3TunnelZ, -49.3f);
    EXPECT_EQ(s3TunnelRoll, 0.1f);
    EXPECT_EQ(s3StripX, static_cast<float>(6 - 0.08));
    EXPECT_EQ(s3MeshDepth, -15.0f);
    EXPECT_EQ(fakemusic::orderReads(), 0);
    EXPECT_EQ(fakemusic::rowReads(), 0);
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});
    EXPECT_EQ(scenetest::callsAtSleep(), recgl::calls().size()) << "the sleep ends the frame";
}

TEST_F(SceneThree, LaterFrameContinuesFromTheStoredValues)
{
    startValues();
    s3SpinAX = s3SpinAY = s3SpinAZ = 99;
    s3SpinBX = s3SpinBY = s3SpinBZ = -148.5f;
    s3StripX = -2;
    s3TunnelZ = 10;
    s3TunnelRoll = 5;
    const std::vector<Call> expected =
        expectedFrame({100, -150, -2, static_cast<float>(10 + 0.7), static_cast<float>(5 + double(0.1f))});

    drawScene3();

    expectFrame(expected);
    EXPECT_EQ(s3StripX, static_cast<float>(-2 - 0.08));
}

// Runs the scene from its start values and notes, per frame, whether any of the strip is in
// the view and whether any of the tunnel is still in front of the near plane.
TEST_F(SceneThree, StripShowsFromFrame5To147AndTheTunnelIsGoneFromFrame429)
{
    startValues();
    std::vector<int> stripFrames, tunnelFrames;
    for (int frame = 1; frame <= 440; ++frame) {
        recgl::reset();
        drawScene3();
        const std::vector<Call>& log = recgl::calls();
        const double* p = recgl::state().projection;
        const auto strip = std::find_if(log.begin(), log.end(), [](const Call& c) {
            return c.name == "glTranslatef" && c.args[1] == -1.2f && c.args[2] == -4;
        });
        ASSERT_NE(strip, log.end());
        // The strip's corners at eye depth 4, projected: visible if it overlaps (-1, 1) in x.
        const double x = strip->args[0], w = -strip->args[2];
        if (p[0] * (x - 3.5) / w < 1 && p[0] * (x + 3.5) / w > -1)
            stripFrames.push_back(frame);
        // Rolling about the line of sight leaves z alone: the far end sits 250 beyond the offset.
        const auto tunnel = std::find_if(log.rbegin(), log.rend(), [](const Call& c) { return c.name == "glTranslatef"; });
        ASSERT_NE(tunnel, log.rend());
        if (tunnel->args[2] - 250 < -double(0.1f))
            tunnelFrames.push_back(frame);
    }
    ASSERT_FALSE(stripFrames.empty());
    EXPECT_EQ(stripFrames.front(), 5);
    EXPECT_EQ(stripFrames.back(), 147);
    EXPECT_EQ(stripFrames.size(), 143u) << "no gaps";
    ASSERT_FALSE(tunnelFrames.empty());
    EXPECT_EQ(tunnelFrames.front(), 1);
    EXPECT_EQ(tunnelFrames.back(), 428);
}

TEST_F(SceneThree, LeavesBlendingOnDepthOffTunnelTextureAndTheNormalProjection)
{
    startValues();
    drawScene3();
    const recgl::State& s = recgl::state();
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthTest);
    EXPECT_EQ(s.boundTexture, 108u);
    EXPECT_EQ(s.fogDensity, 0.05f);
    EXPECT_EQ(std::vector<float>(s.colour, s.colour + 4), (std::vector<float>{1, 1, 1, 0.2f}));
    EXPECT_EQ(std::vector<float>(s.clearColour, s.clearColour + 4), (std::vector<float>{0, 0, 0, 0.2f}));
    EXPECT_EQ(std::vector<int>(s.viewport, s.viewport + 4), (std::vector<int>{0, 0, 640, 480}));
    EXPECT_NEAR(s.projection[5], 2.4142135623730951, 1e-9) << "cot(22.5 degrees): a 45 degree field of view";
    EXPECT_DOUBLE_EQ(s.modelview[14], double(-49.3f)) << "the tunnel's matrix";
    EXPECT_EQ(recgl::count("glPolygonMode"), 0u);
}

} // namespace
