// SPDX-License-Identifier: MIT
// Scene 7, the translucent cube runs: one frame call for call, where the three runs put
// their cubes, and the polygon modes the runs draw with and leave behind.
#include <cmath>

#include "engine/projection.h"
#include "scenes/scene6.h"
#include "scenes/scene7.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::call;
using recgl::sameCalls;

class SceneSeven : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        setSleepHook(scenetest::logSleep);
        s7SpinX = s7SpinY = s7SpinZ = 0;
    }
};

// The cube as its table gives it: (s, t) then (x, y, z), six faces.
const float kCube[24][5] = {
    {0, 0, -1, -1, 1},  {1, 0, 1, -1, 1},  {1, 1, 1, 1, 1},   {0, 1, -1, 1, 1},
    {1, 0, -1, -1, -1}, {1, 1, -1, 1, -1}, {0, 1, 1, 1, -1},  {0, 0, 1, -1, -1},
    {0, 1, -1, 1, -1},  {0, 0, -1, 1, 1},  {1, 0, 1, 1, 1},   {1, 1, 1, 1, -1},
    {1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1},  {1, 0, -1, -1, 1},
    {1, 0, 1, -1, -1},  {1, 1, 1, 1, -1},  {0, 1, 1, 1, 1},   {0, 0, 1, -1, 1},
    {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1},  {0, 1, -1, 1, -1},
};

std::vector<Call> expectedFrame(float ax, float ay, float az)
{
    std::vector<Call> e = recgl::expectedProjection(45);
    e.insert(e.end(), {
        call("glClearColor", {0, 0, 0, 0.5f}),
        call("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1}),
        call("glFogf", {GL_FOG_DENSITY, 0}),
        call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}),
    });
    for (int run = 0; run < 3; ++run)
        for (int k = 0; k < 400; ++k) {
            const double p = -100 + 0.5 * k;
            if (run == 0) {
                e.push_back(call("glLoadIdentity"));
                e.push_back(call("glTranslatef", {0, 0, p}));
            } else {
                e.push_back(call("glTranslatef", {run == 2 ? p : 0, run == 1 ? p : 0, 0}));
            }
            e.push_back(call("glRotatef", {ax, 1, 0, 0}));
            e.push_back(call("glRotatef", {ay, 0, 1, 0}));
            e.push_back(call("glRotatef", {az, 0, 0, 1}));
            e.push_back(call("glBindTexture", {GL_TEXTURE_2D, 110}));
            e.push_back(call("glDisable", {GL_DEPTH_TEST}));
            e.push_back(call("glEnable", {GL_BLEND}));
            e.push_back(run == 0 ? call("glPolygonMode", {GL_FRONT, GL_FILL})
                                 : call("glPolygonMode", {GL_FRONT_AND_BACK, GL_LINE}));
            e.push_back(call("glColor4f", {1, 1, 1, 0.05f}));
            recgl::addQuads(e, kCube);
        }
    e.push_back(call("Sleep", {10})); // after the last cube of the x-run
    return e;
}

// The state in force at each glBegin of the log, found by replaying the log into a fresh
// recording layer (it keeps matrices and modes, but only the current ones).
struct BeginState {
    size_t index;
    GLenum primitive, front, back;
    double origin[3]; // the model-view's translation: where the object's origin sits in eye space
};

std::vector<BeginState> replayBegins()
{
    const std::vector<Call> log = recgl::calls();
    recgl::reset();
    std::vector<BeginState> out;
    for (size_t i = 0; i < log.size(); ++i) {
        const Call& c = log[i];
        const auto& a = c.args;
        if (c.name == "glBegin") {
            const auto& s = recgl::state();
            out.push_back({i, GLenum(a[0]), s.polygonModeFront, s.polygonModeBack,
                           {s.modelview[12], s.modelview[13], s.modelview[14]}});
        } else if (c.name == "glLoadIdentity") {
            glLoadIdentity();
        } else if (c.name == "glMatrixMode") {
            glMatrixMode(GLenum(a[0]));
        } else if (c.name == "glTranslatef") {
            glTranslatef(a[0], a[1], a[2]);
        } else if (c.name == "glRotatef") {
            glRotatef(a[0], a[1], a[2], a[3]);
        } else if (c.name == "glScalef") {
            glScalef(a[0], a[1], a[2]);
        } else if (c.name == "glPolygonMode") {
            glPolygonMode(GLenum(a[0]), GLenum(a[1]));
        }
    }
    return out;
}

TEST_F(SceneSeven, FirstFrameCallForCall)
{
    drawScene7();
    EXPECT_TRUE(sameCalls(expectedFrame(0, 0, 0)));
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});
    EXPECT_EQ(fakemusic::orderReads(), 0) << "the scene does not follow the song";
    EXPECT_EQ(s7SpinX, 0.5f);
    EXPECT_EQ(s7SpinY, 5.0f);
    EXPECT_EQ(s7SpinZ, 2.0f);
}

TEST_F(SceneSeven, LaterFrameTurnsEveryCubeByTheSameAdvancedAngles)
{
    s7SpinX = 100.5f;
    s7SpinY = 1005.0f;
    s7SpinZ = 402.0f;
    drawScene7();
    EXPECT_TRUE(sameCalls(expectedFrame(100.5f, 1005.0f, 402.0f)));
    EXPECT_EQ(s7SpinX, 101.0f);
    EXPECT_EQ(s7SpinY, 1010.0f);
    EXPECT_EQ(s7SpinZ, 404.0f);
}

TEST_F(SceneSeven, UnturnedRunsLieOnTheAxisAndInThePlaneBehindTheViewer)
{
    drawScene7();
    const auto cubes = replayBegins();
    ASSERT_EQ(cubes.size(), 1200u);
    auto at = [&](int cube, double x, double y, double z) {
        const double* o = cubes[cube].origin;
        EXPECT_NEAR(o[0], x, 1e-9) << "cube " << cube;
        EXPECT_NEAR(o[1], y, 1e-9) << "cube " << cube;
        EXPECT_NEAR(o[2], z, 1e-9) << "cube " << cube;
    };
    at(0, 0, 0, -100); // the z-run from the far plane...
    at(399, 0, 0, 99.5); // ...to behind the viewer; 100 is never reached
    at(400, 0, -100, 99.5); // the y-run chains on from the z-run's last cube
    at(400 + 199, 0, -10050, 99.5);
    at(799, 0, -100, 99.5);
    at(800, -100, -100, 99.5); // and the x-run from the y-run's last
    at(1199, -100, -100, 99.5);
    EXPECT_NEAR(recgl::state().modelview[12], -100, 1e-9) << "the last cube's matrix is left in place";
}

TEST_F(SceneSeven, TurnedChainsStepByTheirRunPositionFromCubeToCube)
{
    s7SpinX = 20.5f;
    s7SpinY = 205.0f;
    s7SpinZ = 82.0f;
    drawScene7();
    const auto cubes = replayBegins();
    ASSERT_EQ(cubes.size(), 1200u);
    auto distance = [&](int a, int b) {
        const double* p = cubes[a].origin;
        const double* q = cubes[b].origin;
        return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
    };
    // Each z-run cube is placed afresh and turns about its own centre.
    EXPECT_NEAR(cubes[0].origin[2], -100, 1e-9);
    EXPECT_NEAR(cubes[399].origin[2], 99.5, 1e-9);
    EXPECT_NEAR(std::hypot(cubes[399].origin[0], cubes[399].origin[1]), 0, 1e-9);
    // Chained cubes sit |p| from the one before, the step turned by all the rotations so far.
    for (int k = 0; k < 400; ++k) {
        const double p = std::fabs(-100 + 0.5 * k);
        EXPECT_NEAR(distance(399 + k, 400 + k), p, 1e-6) << "y-run cube " << k;
        EXPECT_NEAR(distance(799 + k, 800 + k), p, 1e-6) << "x-run cube " << k;
    }
    // Turned, the chain leaves the straight line it forms on the first frame.
    EXPECT_GT(std::fabs(cubes[401].origin[0]), 1.0);
}

TEST_F(SceneSeven, ZRunBackFacesKeepTheModeSetBeforeIt)
{
    drawScene7(); // first frame ever: fill on both faces from start-up
    drawScene7(); // the previous frame's x-run left line on both faces
    drawScene8(); // scene 8 leaves fill on both faces
    drawScene7();
    const auto begins = replayBegins();
    std::vector<BeginState> cubes;
    for (const auto& b : begins)
        if (b.primitive == GL_QUADS)
            cubes.push_back(b);
    // Scene 8 draws 204 quads of its own between the second and third frames of this scene.
    ASSERT_EQ(cubes.size(), 3u * 1200u + 204u);
    auto frameCube = [&](int frame, int cube) { return cubes[size_t(frame == 2 ? 2400 + 204 : frame * 1200) + cube]; };
    for (int frame = 0; frame < 3; ++frame) {
        const GLenum zBack = frame == 1 ? GL_LINE : GL_FILL;
        for (int cube : {0, 399}) {
            EXPECT_EQ(frameCube(frame, cube).front, GLenum(GL_FILL)) << "frame " << frame;
            EXPECT_EQ(frameCube(frame, cube).back, zBack) << "frame " << frame;
        }
        for (int cube : {400, 1199}) {
            EXPECT_EQ(frameCube(frame, cube).front, GLenum(GL_LINE)) << "frame " << frame;
            EXPECT_EQ(frameCube(frame, cube).back, GLenum(GL_LINE)) << "frame " << frame;
        }
    }
}

TEST_F(SceneSeven, SceneAfterItThatSetsNoPolygonModeDrawsOutlines)
{
    drawScene7();
    const auto& s = recgl::state();
    EXPECT_EQ(s.polygonModeFront, GLenum(GL_LINE));
    EXPECT_EQ(s.polygonModeBack, GLenum(GL_LINE));
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthTest);
    EXPECT_EQ(s.boundTexture, 110u);
    EXPECT_EQ(s.colour[3], 0.05f);

    // Scene 6 sets no polygon mode: drawn right after, its ring and picture are outlines.
    s6CycleFrame = 0;
    const size_t mark = recgl::calls().size();
    drawScene6();
    EXPECT_EQ(recgl::find("glPolygonMode", mark), SIZE_MAX);
    EXPECT_EQ(recgl::state().polygonModeFront, GLenum(GL_LINE));
    EXPECT_EQ(recgl::state().polygonModeBack, GLenum(GL_LINE));
}

} // namespace
