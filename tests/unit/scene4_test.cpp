// SPDX-License-Identifier: MIT
// Scene 4, the corridor flight: one frame call for call, and the whole motion timeline
// from the turn through the gate, with the 32-bit values the motion depends on.
#include <cmath>
#include <vector>

#include "engine/gl.h"
#include "scenes/scene4.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::addVertex;
using recgl::call;
using recgl::expectCalls;

class SceneFour : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        setSleepHook(scenetest::logSleep);
        s4Yaw = s4YawPhase = s4FovPhase = s4Fov = s4SwayPhase = s4Sway = s4Speed = s4Rise = 0.0f;
        s4Forward = 2.5f;
    }
};

const double kQuads = GL_QUADS;

// The four wall quads of one segment, as tabled: sides z = -5 and 5, ceiling, floor.
void addSegment(std::vector<Call>& out, float x0, float x1)
{
    const float quads[4][4][3] = {
        {{x0, 4, -5}, {x0, -4, -5}, {x1, -4, -5}, {x1, 4, -5}},
        {{x0, 4, 5}, {x0, -4, 5}, {x1, -4, 5}, {x1, 4, 5}},
        {{x0, 4, 5}, {x0, 4, -5}, {x1, 4, -5}, {x1, 4, 5}},
        {{x0, -4, 5}, {x0, -4, -5}, {x1, -4, -5}, {x1, -4, 5}},
    };
    const float tex[4][2] = {{-10, 4}, {-10, -4}, {50, -4}, {50, 4}};
    for (const auto& quad : quads)
        for (int k = 0; k < 4; ++k)
            addVertex(out, tex[k][0], tex[k][1], quad[k][0], quad[k][1], quad[k][2]);
}

void addCamera(std::vector<Call>& out, float sway, float rise, float forward)
{
    out.push_back(call("glLoadIdentity"));
    out.push_back(call("glTranslatef", {sway, rise, forward}));
}
void addRotations(std::vector<Call>& out, float yaw)
{
    out.push_back(call("glRotatef", {0.0f, 1.0f, 0.0f, 0.0f}));
    out.push_back(call("glRotatef", {yaw, 0.0f, 1.0f, 0.0f}));
    out.push_back(call("glRotatef", {0.0f, 0.0f, 0.0f, 1.0f}));
}
void addSolid(std::vector<Call>& out)
{
    out.push_back(call("glEnable", {GL_DEPTH_TEST}));
    out.push_back(call("glDisable", {GL_BLEND}));
}

// One frame as the corridor flight makes it, drawn with the given stored values and field of view.
std::vector<Call> expectedFrame(float fov, float sway, float forward, float yaw, float rise)
{
    std::vector<Call> out = recgl::expectedProjection(fov);
    out.insert(out.end(), {
        call("glClearColor", {0, 0, 0, 0.5f}),
        call("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1}),
        call("glFogf", {GL_FOG_DENSITY, 0.05f}),
        call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}),
    });
    // Corridor.
    addCamera(out, sway, 0, forward);
    out.push_back(call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL}));
    addSolid(out);
    addRotations(out, yaw);
    out.push_back(call("glBindTexture", {GL_TEXTURE_2D, 110}));
    out.push_back(call("glColor4f", {1, 1, 1, 0.7f}));
    out.push_back(call("glBegin", {kQuads}));
    addSegment(out, -10, 300);
    addVertex(out, -5, 4, -10, 4, 5);
    addVertex(out, -5, -4, -10, -4, 5);
    addVertex(out, 5, -4, -10, -4, -5);
    addVertex(out, 5, 4, -10, 4, -5);
    out.push_back(call("glEnd"));
    out.push_back(call("glBindTexture", {GL_TEXTURE_2D, 105}));
    for (float x0 : {300.0f, 600.0f, 900.0f}) {
        out.push_back(call("glBegin", {kQuads}));
        addSegment(out, x0, x0 + 300);
        out.push_back(call("glEnd"));
    }
    // Picture.
    addCamera(out, sway, 0, forward);
    addSolid(out);
    addRotations(out, yaw);
    out.push_back(call("glBindTexture", {GL_TEXTURE_2D, 109}));
    out.push_back(call("glColor4f", {255, 255, 255, 255}));
    out.push_back(call("glBegin", {kQuads}));
    addVertex(out, 0, 1, -1.5f, 1, -4.9f);
    addVertex(out, 0, 0, -1.5f, -1, -4.9f);
    addVertex(out, 1, 0, 1.5f, -1, -4.9f);
    addVertex(out, 1, 1, 1.5f, 1, -4.9f);
    out.push_back(call("glEnd"));
    // Gate: no colour of its own.
    addCamera(out, sway, rise, forward);
    addSolid(out);
    addRotations(out, yaw);
    out.push_back(call("glBindTexture", {GL_TEXTURE_2D, 110}));
    out.push_back(call("glBegin", {kQuads}));
    addVertex(out, 0, 1, 299.9f, 5, 5.5f);
    addVertex(out, 0, 0, 299.9f, -5, 5.5f);
    addVertex(out, 1, 0, 299.9f, -5, -5.5f);
    addVertex(out, 1, 1, 299.9f, 5, -5.5f);
    out.push_back(call("glEnd"));
    out.push_back(call("Sleep", {10})); // after the motion has advanced, the last thing done
    return out;
}

// Eye coordinates of a scene point under a column-major model-view.
void toEye(const double* m, const double p[3], double out[3])
{
    for (int r = 0; r < 3; ++r)
        out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
}

// Normalised device x of an eye-space point under a column-major projection.
double ndcX(const double* proj, const double e[3])
{
    const double clipX = proj[0] * e[0] + proj[4] * e[1] + proj[8] * e[2] + proj[12];
    const double clipW = proj[3] * e[0] + proj[7] * e[1] + proj[11] * e[2] + proj[15];
    return clipX / clipW;
}

// The values stored at the end of each frame, and the field of view and rise each frame drew.
struct FrameRecord {
    float yaw, yawPhase, forward, speed, rise, fovDrawn, riseDrawn;
    double gateBottomEye[3]; // the gate's lower edge, (299.9, -5, 0), in eye space
};

std::vector<FrameRecord> runFrames(int frames)
{
    std::vector<FrameRecord> out(frames + 1); // indexed from 1, as the frames are counted
    for (int n = 1; n <= frames; ++n) {
        recgl::reset();
        drawScene4();
        FrameRecord& f = out[n];
        f.yaw = s4Yaw;
        f.yawPhase = s4YawPhase;
        f.forward = s4Forward;
        f.speed = s4Speed;
        f.rise = s4Rise;
        f.fovDrawn = static_cast<float>(recgl::calls()[recgl::find("gluPerspective")].args[0]);
        size_t gate = 0; // the gate's translation is the frame's last
        for (size_t i = recgl::find("glTranslatef"); i != SIZE_MAX; i = recgl::find("glTranslatef", i + 1))
            gate = i;
        f.riseDrawn = static_cast<float>(recgl::calls()[gate].args[1]);
        const double bottom[3] = {299.9f, -5, 0};
        toEye(recgl::state().modelview, bottom, f.gateBottomEye); // the frame ends on the gate's matrix
    }
    return out;
}

TEST_F(SceneFour, FirstFrameFacesThePictureAtSeventyDegrees)
{
    drawScene4();
    expectCalls(expectedFrame(70, 0, 2.5f, 0, 0));
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});
    EXPECT_EQ(fakemusic::orderReads(), 0);

    const recgl::State& st = recgl::state();
    EXPECT_TRUE(st.depthTest);
    EXPECT_FALSE(st.blend);
    EXPECT_EQ(st.polygonModeFront, GLenum(GL_FILL));
    EXPECT_EQ(st.polygonModeBack, GLenum(GL_FILL));
    EXPECT_EQ(st.boundTexture, 110u);
    EXPECT_EQ(st.colour[0], 255.0f);
    EXPECT_EQ(st.colour[3], 255.0f);
    EXPECT_EQ(st.fogDensity, 0.05f);
    EXPECT_EQ(st.clearColour[3], 0.5f);
    EXPECT_EQ(st.viewport[2], 640);
    EXPECT_EQ(st.viewport[3], 480);
}

TEST_F(SceneFour, FirstFramePictureIsStraightAheadAboutTwoThirdsOfTheWidth)
{
    drawScene4();
    // The gate's matrix is left behind; with no rise it is also the picture's.
    const recgl::State& st = recgl::state();
    const double left[3] = {-1.5f, 0, -4.9f}, right[3] = {1.5f, 0, -4.9f};
    double eyeLeft[3], eyeRight[3];
    toEye(st.modelview, left, eyeLeft);
    toEye(st.modelview, right, eyeRight);
    EXPECT_NEAR(eyeLeft[2], -2.4, 1e-5);
    const double l = ndcX(st.projection, eyeLeft), r = ndcX(st.projection, eyeRight);
    EXPECT_NEAR(l, -r, 1e-9); // centred
    EXPECT_NEAR((r - l) / 2, 2.0 / 3.0, 0.01);
    // The side wall behind it.
    const double wall[3] = {0, 0, -5};
    double eyeWall[3];
    toEye(st.modelview, wall, eyeWall);
    EXPECT_NEAR(eyeWall[2] - eyeLeft[2], -0.1, 1e-5);
}

TEST_F(SceneFour, LaterFrameDrawsStoredValuesThenAdvancesThem)
{
    // Turned, past the gate, the field of view swinging.
    s4Yaw = 90;
    s4YawPhase = 200;
    s4FovPhase = 100;
    s4SwayPhase = 30;
    s4Sway = 1.25f;
    s4Forward = 280.5f;
    s4Speed = 0.5049997f;
    s4Rise = 7;
    drawScene4();

    const float fovPhase = static_cast<float>(100.0 + 0.3);
    const float fov = static_cast<float>(std::sin(double(fovPhase) * 0.024543691875) * 40 + 70);
    expectCalls(expectedFrame(fov, 1.25f, 280.5f, 90, 7));
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});

    EXPECT_EQ(s4FovPhase, fovPhase);
    EXPECT_EQ(s4Fov, fov);
    EXPECT_EQ(s4Yaw, 90.0f);
    EXPECT_EQ(s4YawPhase, static_cast<float>(200.0 + 0.2));
    EXPECT_EQ(s4Rise, 8.0f);
    EXPECT_EQ(s4Forward, 281.5f); // only the unit step past 270
    EXPECT_EQ(s4Speed, 0.5049997f);
    EXPECT_EQ(s4Sway, static_cast<float>(std::sin(31.0 * 0.024543691875) * 2));
}

TEST_F(SceneFour, FieldOfViewMovesOnlyInFramesThatBeginTurned)
{
    s4Yaw = 89.99892f;
    s4YawPhase = 300; // keeps the yaw off 90 after the frame
    drawScene4();
    EXPECT_EQ(s4FovPhase, 0.0f);
    EXPECT_EQ(recgl::calls()[recgl::find("gluPerspective")].args[0], 70.0);

    recgl::reset();
    s4Yaw = 90;
    drawScene4();
    EXPECT_EQ(s4FovPhase, 0.3f);
    EXPECT_GT(recgl::calls()[recgl::find("gluPerspective")].args[0], 70.0);
    EXPECT_EQ(s4Yaw, 90.0f); // frozen: the turn's own test is the complement
}

TEST_F(SceneFour, TimelineFromTurnThroughTheGate)
{
    const std::vector<FrameRecord> f = runFrames(800);

    // The speed: the hundredth step stays just below 0.5, so a hundred and first is taken.
    EXPECT_EQ(f[100].speed, 0.49999967f);
    EXPECT_EQ(f[101].speed, 0.5049997f);
    EXPECT_EQ(f[800].speed, 0.5049997f);

    // Frame 1 is drawn at 70 degrees; the camera does not travel while the yaw is 80 or less.
    EXPECT_EQ(f[1].fovDrawn, 70.0f);
    EXPECT_LE(f[223].yaw, 80.0f);
    EXPECT_EQ(f[223].forward, 2.5f);
    EXPECT_NEAR(f[224].yaw, 80.19f, 0.005f);
    EXPECT_EQ(f[224].forward, 3.0049996f);

    // The turn stops at exactly 90 and stays there; the field of view first moves a frame later.
    EXPECT_LT(f[319].yaw, 90.0f);
    EXPECT_EQ(f[320].yaw, 90.0f);
    EXPECT_NEAR(f[320].yawPhase, 64.00017f, 1e-4f);
    EXPECT_EQ(f[800].yaw, 90.0f);
    EXPECT_EQ(f[320].fovDrawn, 70.0f);
    EXPECT_NEAR(f[321].fovDrawn, 70.29f, 0.005f);
    for (int n = 1; n <= 320; ++n)
        ASSERT_EQ(f[n].fovDrawn, 70.0f) << "frame " << n;

    // The gate is passed without the travel ever landing on 270.
    EXPECT_EQ(f[752].forward, 269.64606f);
    EXPECT_EQ(f[753].forward, 271.15106f); // speed step to 270.15106, then the extra unit
    EXPECT_EQ(f[754].forward, 272.15106f);
    for (int n = 1; n <= 800; ++n)
        ASSERT_NE(f[n].forward, 270.0f) << "frame " << n;

    // The gate rises one frame after the travel passes 270, drawn a frame after that.
    EXPECT_EQ(f[753].rise, 0.0f);
    EXPECT_EQ(f[754].rise, 1.0f);
    EXPECT_EQ(f[754].riseDrawn, 0.0f);
    EXPECT_EQ(f[755].riseDrawn, 1.0f);
    EXPECT_EQ(f[762].rise, 9.0f);
    EXPECT_EQ(f[800].rise, 47.0f);

    // From frame 763 the gate's lower edge is at or above the ceiling (eye y 4: the yaw does
    // not turn the vertical), with the camera still 19.75 units short of it.
    EXPECT_LT(f[762].gateBottomEye[1], 4.0);
    EXPECT_GE(f[763].gateBottomEye[1], 4.0 - 1e-6);
    EXPECT_NEAR(f[763].gateBottomEye[2], -19.75, 0.005);
}

} // namespace
