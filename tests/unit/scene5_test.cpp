// SPDX-License-Identifier: MIT
// Scene 5, the greetings picture with the orbiting trail: one frame call for call, the fade
// and orbit it leaves behind, the 200 squares, and the picture mixed by whatever blending
// the scene before it left.
#include <cmath>
#include <vector>

#include "engine/gl.h"
#include "scenes/scene4.h"
#include "scenes/scene5.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::addVertex;
using recgl::call;
using recgl::expectCalls;

class SceneFive : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        s5Fade = s5OrbitPhase = s5TrailDepth = 0.0f;
    }
};

// GCC 12 at -O2 vectorises a cos/sin pair and drops their rounding to float when the results
// are widened again; the volatile keeps the 32-bit value the scene passes.
float asStored(double v)
{
    volatile float f = static_cast<float>(v);
    return f;
}

// One frame from the given stored fade and orbit phase (values before the frame).
std::vector<Call> expectedFrame(float fadeBefore, float orbitBefore)
{
    const float fade = static_cast<float>(double(fadeBefore) + 0.05);
    std::vector<Call> out = recgl::expectedProjection(45);
    out.insert(out.end(), {
        call("glClearColor", {0, 0, 0, 0.5f}),
        call("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1}),
        call("glFogf", {GL_FOG_DENSITY, 0}),
        call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}),
        call("glLoadIdentity"),
        call("glTranslatef", {0.3f, 0, -4}),
        call("glBindTexture", {GL_TEXTURE_2D, 111}),
        call("glColor4f", {1, 1, 1, fade}),
        call("glBegin", {GL_QUADS}),
    });
    addVertex(out, 0, 0, -2.5f, -1.67f, 0);
    addVertex(out, 1, 0, 2.5f, -1.67f, 0);
    addVertex(out, 1, 1, 2.5f, 1.67f, 0);
    addVertex(out, 0, 1, -2.5f, 1.67f, 0);
    out.push_back(call("glEnd"));

    float phase = orbitBefore;
    float depth = 0;
    for (int square = 0; square < 200; ++square) {
        phase = static_cast<float>(double(phase) + 0.005);
        const double angle = double(phase) * 0.024543691875;
        out.push_back(call("glLoadIdentity"));
        out.push_back(call("glTranslatef", {asStored(0.5 * std::cos(angle)), asStored(0.5 * std::sin(angle)), -4}));
        out.push_back(call("glDisable", {GL_DEPTH_TEST}));
        out.push_back(call("glEnable", {GL_BLEND}));
        out.push_back(call("glBindTexture", {GL_TEXTURE_2D, 101}));
        out.push_back(call("glColor4f", {0, 1, 1, 0.05f}));
        out.push_back(call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL}));
        out.push_back(call("glBegin", {GL_QUADS}));
        addVertex(out, 0, 0, -1, -1, depth);
        addVertex(out, 1, 0, 1, -1, depth);
        addVertex(out, 1, 1, 1, 1, depth);
        addVertex(out, 0, 1, -1, 1, depth);
        out.push_back(call("glEnd"));
        depth = static_cast<float>(double(depth) + 0.05);
    }
    return out;
}

// The trail squares of the logged frame: translation and depth of each, in draw order.
struct Square {
    double x, y, depth;
};
std::vector<Square> trailSquares(size_t from = 0)
{
    std::vector<Square> out;
    const auto& cs = recgl::calls();
    for (size_t bind = recgl::find("glBindTexture", from); bind != SIZE_MAX; bind = recgl::find("glBindTexture", bind + 1)) {
        if (cs[bind].args[1] != 101)
            continue;
        const Call& move = cs[bind - 3];
        const Call& vertex = cs[recgl::find("glVertex3f", bind)];
        out.push_back({move.args[0], move.args[1], vertex.args[2]});
    }
    return out;
}

// Blending as it stands when the picture (slot 11) is drawn, replayed from the call log
// from GL's default (off).
bool blendAtPicture()
{
    const auto& cs = recgl::calls();
    bool blend = false;
    for (const Call& c : cs) {
        if (c.name == "glBindTexture" && c.args[1] == 111)
            return blend;
        if (c.args.size() == 1 && c.args[0] == GL_BLEND)
            blend = c.name == "glEnable" ? true : c.name == "glDisable" ? false : blend;
    }
    ADD_FAILURE() << "the picture was not drawn";
    return blend;
}

TEST_F(SceneFive, FirstFrameFadesThePictureInUnderTheTrail)
{
    drawScene5();
    expectCalls(expectedFrame(0, 0));
    EXPECT_TRUE(scenetest::sleeps().empty()); // the one scene that does not sleep

    EXPECT_EQ(s5Fade, 0.05f);
    EXPECT_EQ(s5OrbitPhase, 0.9999992f);

    const recgl::State& st = recgl::state();
    EXPECT_TRUE(st.blend);
    EXPECT_FALSE(st.depthTest);
    EXPECT_EQ(st.polygonModeFront, GLenum(GL_FILL));
    EXPECT_EQ(st.polygonModeBack, GLenum(GL_FILL));
    EXPECT_EQ(st.boundTexture, 101u);
    EXPECT_EQ(st.colour[1], 1.0f);
    EXPECT_EQ(st.colour[3], 0.05f);
    EXPECT_EQ(st.fogDensity, 0.0f);
}

TEST_F(SceneFive, TrailIsTwoHundredSquaresFarToNearStartingJustAboveTheRight)
{
    drawScene5();
    const std::vector<Square> squares = trailSquares();
    ASSERT_EQ(squares.size(), 200u);

    // 0.5 to the right of the centre and a hair above it.
    EXPECT_EQ(squares[0].x, asStored(0.5 * std::cos(0.005f * 0.024543691875)));
    EXPECT_EQ(squares[0].y, asStored(0.5 * std::sin(0.005f * 0.024543691875)));
    EXPECT_GT(squares[0].y, 0.0);
    EXPECT_LT(squares[0].y, 1e-4);

    EXPECT_EQ(squares[0].depth, 0.0);
    EXPECT_NEAR(squares[1].depth, 0.05, 1e-7);
    EXPECT_NEAR(squares[199].depth, 9.950020, 1e-6);
    for (size_t k = 1; k < squares.size(); ++k) {
        ASSERT_GT(squares[k].depth, squares[k - 1].depth) << "square " << k; // far to near
        EXPECT_NEAR(std::hypot(squares[k].x, squares[k].y), 0.5, 1e-6);
    }
    // The centre line bends along about 1 phase unit of the circle, counterclockwise.
    const double bend = std::atan2(squares[199].y, squares[199].x) - std::atan2(squares[0].y, squares[0].x);
    EXPECT_NEAR(bend, 199 * 0.005 * 0.024543691875, 1e-5);
}

TEST_F(SceneFive, TwentiethFrameCarriesFadeAndOrbitOn)
{
    for (int frame = 1; frame < 20; ++frame) {
        recgl::reset();
        drawScene5();
    }
    const float fade = s5Fade, orbit = s5OrbitPhase;
    EXPECT_NEAR(orbit, 19.0f, 1e-3f); // 32-bit steps of 0.005 drift a little from 1 a frame
    recgl::reset();
    s5TrailDepth = 55; // whatever is left there, the trail starts at depth 0
    drawScene5();
    expectCalls(expectedFrame(fade, orbit));
    EXPECT_EQ(s5Fade, 1.0000001f); // passed on as it is for GL to clamp
    EXPECT_NEAR(s5OrbitPhase, 20.0f, 1e-3f);
    EXPECT_TRUE(scenetest::sleeps().empty());
}

TEST_F(SceneFive, EveryFrameDrawsExactlyTwoHundredSquares)
{
    // Phases so large that a 0.005 step no longer changes them must not change the count.
    for (float phase : {0.0f, 12345.0f, 3.0e7f}) {
        recgl::reset();
        s5OrbitPhase = phase;
        drawScene5();
        EXPECT_EQ(trailSquares().size(), 200u) << "phase " << phase;
        EXPECT_EQ(recgl::count("glBegin"), 201u);
    }
}

TEST_F(SceneFive, OrbitMovesOnCounterclockwiseOneTurnIn256Frames)
{
    std::vector<double> angles;
    for (int frame = 0; frame < 257; ++frame) {
        recgl::reset();
        drawScene5();
        const Square first = trailSquares().front();
        angles.push_back(std::atan2(first.y, first.x));
    }
    const double perFrame = std::remainder(angles[1] - angles[0], 2 * M_PI);
    EXPECT_NEAR(perFrame, 0.024543691875, 1e-5); // 1 phase unit, counterclockwise
    // Back near the start after 256 frames (the 32-bit phase drifts by a few thousandths).
    EXPECT_NEAR(std::remainder(angles[256] - angles[0], 2 * M_PI), 0.0, 0.01);
    for (int frame = 1; frame < 256; ++frame)
        ASSERT_GT(std::remainder(angles[frame] - angles[frame - 1], 2 * M_PI), 0.0) << "frame " << frame;
}

TEST_F(SceneFive, PictureTakesTheBlendingTheSceneBeforeItLeft)
{
    // Forced beside the corridor flight, which leaves blending off: full strength at once.
    s4Yaw = s4YawPhase = s4FovPhase = s4Fov = s4SwayPhase = s4Sway = s4Speed = s4Rise = 0.0f;
    s4Forward = 2.5f;
    glEnable(GL_BLEND); // as the frame before may have left it
    fakemusic::setOrder(12);
    dispatchScenes(4);
    ASSERT_EQ(recgl::count("glRotatef"), 9u) << "the corridor flight ran first";
    EXPECT_FALSE(blendAtPicture());
    EXPECT_EQ(s5Fade, 0.05f); // the fade still advances; blending off ignores it
    EXPECT_TRUE(recgl::state().blend); // the trail is blended regardless

    // After a scene that leaves blending on, the picture mixes in at alpha s5Fade.
    recgl::reset();
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    drawScene5();
    EXPECT_TRUE(blendAtPicture());
    EXPECT_TRUE(recgl::state().blend);
}

} // namespace
