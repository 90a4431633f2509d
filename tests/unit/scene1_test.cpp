// SPDX-License-Identifier: MIT
// Scene 1, the opening titles: one frame call for call against the recording GL layer, the
// depth swing, the fade and its floor, the order tests that start the strips, and the
// render state the frame leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/meshes/meshes.h"
#include "engine/primitives.h"
#include "scenes/scene1.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::call;
using recgl::expectFrame;

const float kFloor[4][5] = {{10, 10, -70, 0, 70}, {5, 10, 70, 0, 70}, {5, 5, 70, 0, -70}, {10, 5, -70, 0, -70}};
const float kPicture[4][5] = {
    {0, 0, -2.25f, -1.67f, 0}, {1, 0, 2.25f, -1.67f, 0}, {1, 1, 2.25f, 1.67f, 0}, {0, 1, -2.25f, 1.67f, 0}};
const float kStrip[4][5] = {
    {0, 0, -3.5f, -0.4f, 0}, {1, 0, 3.5f, -0.4f, 0}, {1, 1, 3.5f, 0.4f, 0}, {0, 1, -3.5f, 0.4f, 0}};
const float kColumn[4][5] = {
    {0, 0, -0.4f, -3.5f, 0}, {1, 0, 0.4f, -3.5f, 0}, {1, 1, 0.4f, 3.5f, 0}, {0, 1, -0.4f, 3.5f, 0}};

// Builds the expected frame, meshes as folded mesh(vertexCount) entries.
struct Frame {
    std::vector<Call> calls;
    Frame& add(const char* name, std::initializer_list<double> args = {})
    {
        calls.push_back(call(name, args));
        return *this;
    }
    Frame& quad(const float (&q)[4][5])
    {
        recgl::addQuads(calls, q);
        return *this;
    }
    Frame& mesh(const MeshSet& m) { return add("mesh", {3.0 * m.triangleCount}); }
};

// Scene 1's state as the program starts.
void startValues()
{
    s1Phase = 0;
    s1Spin = 0;
    s1PictureAlpha = 1;
    s1LowStripX = 6;
    s1ColumnY = -6;
    s1HighStripX = -6;
}

// The floor's z translation in the frame just recorded.
float recordedDepth()
{
    const size_t at = recgl::find("glTranslatef");
    return at == SIZE_MAX ? 0.0f : static_cast<float>(recgl::calls()[at].args[2]);
}

// Everything a frame draws, given the values it draws with.
std::vector<Call> expectedFrame(float depth, float spin, float alpha, float lowX, float columnY, float highX)
{
    Frame f;
    f.add("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1})
        .add("glFogf", {GL_FOG_DENSITY, 0.15f})
        .add("glClearColor", {0, 0, 0, 0.5f})
        .add("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
    f.add("glLoadIdentity")
        .add("glEnable", {GL_DEPTH_TEST})
        .add("glDisable", {GL_BLEND})
        .add("glTranslatef", {0, -1.7f, depth})
        .add("glBindTexture", {GL_TEXTURE_2D, 100})
        .add("glRotatef", {spin, 0, 1, 0})
        .add("glColor4f", {1, 1, 1, 0.4f})
        .quad(kFloor);
    f.add("glLoadIdentity")
        .add("glTranslatef", {0, -1, depth})
        .add("glRotatef", {-90, 1, 0, 0})
        .add("glRotatef", {spin, 0, 0, 1})
        .add("glBindTexture", {GL_TEXTURE_2D, 0})
        .add("glDisable", {GL_DEPTH_TEST})
        .add("glEnable", {GL_BLEND})
        .add("glColor4f", {0, 0, 1, 0.4f})
        .mesh(MeshA);
    f.add("glLoadIdentity")
        .add("glTranslatef", {0, 0, -4})
        .add("glBindTexture", {GL_TEXTURE_2D, 101})
        .add("glColor4f", {1, 1, 1, alpha})
        .quad(kPicture);
    f.add("glLoadIdentity")
        .add("glTranslatef", {lowX, -1.2f, -4})
        .add("glBindTexture", {GL_TEXTURE_2D, 102})
        .add("glColor4f", {1, 1, 1, 0.2f})
        .quad(kStrip);
    f.add("glLoadIdentity")
        .add("glTranslatef", {2, columnY, -4})
        .add("glBindTexture", {GL_TEXTURE_2D, 103})
        .add("glColor4f", {1, 1, 1, 0.2f})
        .quad(kColumn);
    f.add("glLoadIdentity")
        .add("glTranslatef", {highX, 1, -4})
        .add("glBindTexture", {GL_TEXTURE_2D, 104})
        .add("glColor4f", {1, 1, 1, 0.2f})
        .quad(kStrip);
    return f.calls;
}

using SceneOne = scenetest::SceneTest;

TEST_F(SceneOne, FirstFrameAtOrderZero)
{
    startValues();
    setSleepHook(scenetest::noteSleep);

    EXPECT_TRUE(drawScene1());

    expectFrame(expectedFrame(-14.8672848f, 0, 1, 6, -6, -6));
    EXPECT_NEAR(recordedDepth(), -14.867, 5e-4);
    EXPECT_EQ(s1Phase, 0.5f);
    EXPECT_EQ(s1Spin, 0.4f);
    EXPECT_EQ(s1PictureAlpha, 1.0f);
    EXPECT_EQ(s1LowStripX, 6.0f);
    EXPECT_EQ(s1ColumnY, -6.0f);
    EXPECT_EQ(s1HighStripX, -6.0f);
    EXPECT_EQ(fakemusic::orderReads(), 4);
    EXPECT_EQ(fakemusic::rowReads(), 0);
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});
    EXPECT_EQ(scenetest::callsAtSleep(), recgl::calls().size()) << "the sleep ends the frame";
}

TEST_F(SceneOne, LaterFrameDrawsStripsBeforeMovingThemAndPictureAfterFading)
{
    s1Phase = 63.5f;
    s1Spin = 90;
    s1PictureAlpha = 0.5f;
    s1LowStripX = 1;
    s1ColumnY = -1;
    s1HighStripX = -1;
    fakemusic::setOrder(5);

    drawScene1();

    expectFrame(expectedFrame(-4.98999977f, 90, 0.499f, 1, -1, -1));
    EXPECT_EQ(s1Phase, 64.0f);
    EXPECT_EQ(s1Spin, static_cast<float>(90.0 + double(0.4f)));
    EXPECT_EQ(s1PictureAlpha, 0.499f);
    EXPECT_EQ(s1LowStripX, 0.99f);
    EXPECT_EQ(s1ColumnY, -0.99f);
    EXPECT_EQ(s1HighStripX, -0.99f);
}

// One run of 900 frames from the start values at order 2 holds all three timelines: the
// depth swing, the fade to its floor and the spin's full turn.
TEST_F(SceneOne, TimelinesOverNineHundredFrames)
{
    startValues();
    fakemusic::setOrder(2);
    std::vector<float> depth(1, 0.0f), alpha(1, 1.0f); // [n]: frame n, counted from 1
    for (int frame = 1; frame <= 900; ++frame) {
        recgl::reset();
        drawScene1();
        depth.push_back(recordedDepth());
        alpha.push_back(s1PictureAlpha);
    }

    EXPECT_NEAR(depth[1], -14.867, 5e-4);
    EXPECT_EQ(depth[128], -4.98999977f); // phase 64: nearest
    EXPECT_EQ(depth[384], -24.9899998f); // phase 192: farthest
    EXPECT_EQ(depth[640], depth[128]);   // one period is 512 frames
    EXPECT_EQ(*std::max_element(depth.begin() + 1, depth.end()), depth[128]);
    EXPECT_EQ(*std::min_element(depth.begin() + 1, depth.end()), depth[384]);

    EXPECT_GT(alpha[600], 0.4f); // 600 decrements
    EXPECT_EQ(alpha[601], 0.39900774f);
    EXPECT_EQ(alpha[900], 0.39900774f);
    EXPECT_TRUE(std::is_sorted(alpha.rbegin(), alpha.rend())) << "the fade never raises the alpha";
    const std::vector<Call>& log = recgl::calls();
    const auto picture = std::find(log.begin(), log.end(), call("glBindTexture", {GL_TEXTURE_2D, 101}));
    ASSERT_NE(picture, log.end());
    EXPECT_EQ(*(picture + 1), call("glColor4f", {1, 1, 1, 0.39900774f}));

    // Rounded to 32 bits at every step, the spin falls just short of a full turn; kept in
    // double it would land within 1e-9 of 360.
    EXPECT_EQ(s1Spin, 359.996796f);
    recgl::reset();
    drawScene1();
    EXPECT_EQ(recgl::calls()[recgl::find("glRotatef")], call("glRotatef", {359.996796f, 0, 1, 0}));
    // The ring sits at the floor's depth.
    EXPECT_EQ(recgl::calls()[recgl::find("glTranslatef", recgl::find("glTranslatef") + 1)].args[2], recordedDepth());
}

struct OrderCase {
    int order;
    bool fades, lowMoves, columnMoves, highMoves;
};

TEST_F(SceneOne, EachOrderTestIsStrictAndStartsItsOwnMovement)
{
    const OrderCase cases[] = {
        {-1, false, false, false, false}, {0, false, false, false, false}, {1, false, false, false, false},
        {2, true, false, false, false},   {3, true, false, false, false},  {4, true, true, true, false},
        {5, true, true, true, true},      {31, true, true, true, true},
    };
    for (const OrderCase& c : cases) {
        startValues();
        fakemusic::reset();
        fakemusic::setOrder(c.order);
        drawScene1();
        EXPECT_EQ(s1PictureAlpha != 1.0f, c.fades) << "order " << c.order;
        EXPECT_EQ(s1LowStripX != 6.0f, c.lowMoves) << "order " << c.order;
        EXPECT_EQ(s1ColumnY != -6.0f, c.columnMoves) << "order " << c.order;
        EXPECT_EQ(s1HighStripX != -6.0f, c.highMoves) << "order " << c.order;
    }
}

TEST_F(SceneOne, EachTestReadsTheOrderAfresh)
{
    startValues();
    // The song crosses order boundaries between the four reads (picture, low, upright, high).
    fakemusic::queueOrders({1, 4, 3, 5});
    drawScene1();
    EXPECT_EQ(fakemusic::orderReads(), 4);
    EXPECT_EQ(s1PictureAlpha, 1.0f);
    EXPECT_EQ(s1LowStripX, 5.99f);
    EXPECT_EQ(s1ColumnY, -6.0f);
    EXPECT_EQ(s1HighStripX, -5.99f);
}

TEST_F(SceneOne, FadeLeavesAnAlphaAtOrBelowItsThresholdAlone)
{
    startValues();
    fakemusic::setOrder(2);
    s1PictureAlpha = 0.4f; // 0.4f is just above 0.4 as a double: one more step
    drawScene1();
    EXPECT_EQ(s1PictureAlpha, static_cast<float>(double(0.4f) - 0.001));
    const float below = s1PictureAlpha;
    drawScene1();
    EXPECT_EQ(s1PictureAlpha, below);
}

TEST_F(SceneOne, LeavesBlendingOnDepthOffAndTheHighStripBound)
{
    startValues();
    fakemusic::setOrder(5);
    drawScene1();
    const recgl::State& s = recgl::state();
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthTest);
    EXPECT_EQ(s.boundTexture, 104u);
    EXPECT_EQ(s.fogDensity, 0.15f);
    EXPECT_EQ(std::vector<float>(s.colour, s.colour + 4), (std::vector<float>{1, 1, 1, 0.2f}));
    EXPECT_EQ(std::vector<float>(s.clearColour, s.clearColour + 4), (std::vector<float>{0, 0, 0, 0.5f}));
    // The model-view matrix of the high strip, placed before its move: a pure translation.
    EXPECT_FLOAT_EQ(s.modelview[12], -6.0f);
    EXPECT_FLOAT_EQ(s.modelview[13], 1.0f);
    EXPECT_FLOAT_EQ(s.modelview[14], -4.0f);
    // No projection, no polygon mode: what an earlier scene left stays in force.
    EXPECT_EQ(recgl::count("gluPerspective"), 0u);
    EXPECT_EQ(recgl::count("glMatrixMode"), 0u);
    EXPECT_EQ(recgl::count("glPolygonMode"), 0u);
}

} // namespace
