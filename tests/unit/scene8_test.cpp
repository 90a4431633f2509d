// SPDX-License-Identifier: MIT
// Scene 8, the closing titles: one frame call for call, the strips' order tests, and the
// projection and polygon mode it draws with.
#include <cmath>

#include "engine/meshes/meshes.h"
#include "engine/projection.h"
#include "scenes/scene8.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::call;
using recgl::Expect;
using recgl::sameCalls;

class SceneEight : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        setSleepHook(scenetest::logSleep);
        setScene8(0, 0, 6, -6, -6); // the start values
    }
    static void setScene8(float phase, float spin, float mid, float column, float high)
    {
        s8Phase = phase;
        s8Spin = spin;
        s8MidStripX = mid;
        s8ColumnY = column;
        s8HighStripX = high;
    }
};

// One quad batch into a list that allows tolerances; every call here is exact.
void quad(std::vector<Expect>& e, const float (&v)[4][5])
{
    std::vector<Call> calls;
    recgl::addQuads(calls, v);
    for (const Call& c : calls)
        e.push_back({c});
}

const float kStrip[4][5] = {{0, 0, -3.5f, -0.4f, 0}, {1, 0, 3.5f, -0.4f, 0}, {1, 1, 3.5f, 0.4f, 0}, {0, 1, -3.5f, 0.4f, 0}};

// The frame at start phase, spin and strip positions; the phase at square i is exactly
// phase + 0.5 + 0.005 (i + 1) in real arithmetic, which the stored floats follow within 1e-4.
std::vector<Expect> expectedFrame(double phase, float spin, float mid, float column, float high)
{
    const double k = 0.024543691875;
    std::vector<Expect> e = {
        {call("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1})},
        {call("glFogf", {GL_FOG_DENSITY, 0.15f})},
        {call("glClearColor", {0, 0, 0, 0.5f})},
        {call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT})},
    };
    for (int i = 0; i < 200; ++i) {
        const double a = (phase + 0.5 + 0.005 * (i + 1)) * k;
        const double q = 0.05 * i;
        e.push_back({call("glLoadIdentity")});
        e.push_back({call("glTranslatef", {0.5 * std::cos(a), 0.5 * std::sin(a), -4}), 1e-4});
        e.push_back({call("glDisable", {GL_DEPTH_TEST})});
        e.push_back({call("glEnable", {GL_BLEND})});
        e.push_back({call("glBindTexture", {GL_TEXTURE_2D, 100})});
        e.push_back({call("glColor4f", {0, 1, 1, 0.05f})});
        e.push_back({call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL})});
        const float square[4][5] = {{0, 0, -1, -1, 0}, {1, 0, 1, -1, 0}, {1, 1, 1, 1, 0}, {0, 1, -1, 1, 0}};
        quad(e, square);
        for (size_t v = e.size() - 8; v < e.size(); v += 2) { // the vertices sit at z = q
            e[v].call.args[2] = q;
            e[v].tolerance = 1e-4;
        }
    }
    const double depth = 10 * std::sin((phase + 0.5) * k) - 15 + 0.01;
    const std::vector<Expect> ring = {
        {call("glLoadIdentity")},
        {call("glTranslatef", {0, -1, depth}), 1e-5},
        {call("glRotatef", {-90, 1, 0, 0})},
        {call("glRotatef", {spin, 0, 0, 1})},
        {call("glBindTexture", {GL_TEXTURE_2D, 0})},
        {call("glDisable", {GL_DEPTH_TEST})},
        {call("glEnable", {GL_BLEND})},
        {call("glColor4f", {0, 0, 1, 0.4f})},
        {call("glPolygonMode", {GL_FRONT_AND_BACK, GL_LINE})},
        {call("glBegin", {GL_TRIANGLES})},
    };
    e.insert(e.end(), ring.begin(), ring.end());
    for (int r = 0; r < 3 * MeshA.triangleCount; ++r) {
        e.push_back({call("glTexCoord2f", {MeshA.records[r].u, MeshA.records[r].v})});
        e.push_back({call("glVertex3f", {MeshA.records[r].x, MeshA.records[r].y, MeshA.records[r].z})});
    }
    e.push_back({call("glEnd")});

    e.push_back({call("glLoadIdentity")});
    e.push_back({call("glTranslatef", {0, 0, -4})});
    e.push_back({call("glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL})});
    e.push_back({call("glBindTexture", {GL_TEXTURE_2D, 117})});
    e.push_back({call("glColor4f", {1, 1, 1, 0.1f})});
    const float picture[4][5] = {
        {0, 0, -2.25f, -1.67f, 0}, {1, 0, 2.25f, -1.67f, 0}, {1, 1, 2.25f, 1.67f, 0}, {0, 1, -2.25f, 1.67f, 0}};
    quad(e, picture);

    e.push_back({call("glLoadIdentity")});
    e.push_back({call("glTranslatef", {mid, 0, -4})});
    e.push_back({call("glBindTexture", {GL_TEXTURE_2D, 118})});
    e.push_back({call("glColor4f", {1, 1, 1, 0.2f})});
    quad(e, kStrip);

    e.push_back({call("glLoadIdentity")});
    e.push_back({call("glTranslatef", {2, column, -4})});
    e.push_back({call("glBindTexture", {GL_TEXTURE_2D, 103})});
    e.push_back({call("glColor4f", {1, 1, 1, 0.2f})});
    const float upright[4][5] = {
        {0, 0, -0.4f, -3.5f, 0}, {1, 0, 0.4f, -3.5f, 0}, {1, 1, 0.4f, 3.5f, 0}, {0, 1, -0.4f, 3.5f, 0}};
    quad(e, upright);

    e.push_back({call("glLoadIdentity")});
    e.push_back({call("glTranslatef", {high, 1, -4})});
    e.push_back({call("glBindTexture", {GL_TEXTURE_2D, 104})});
    e.push_back({call("glColor4f", {1, 1, 1, 0.2f})});
    quad(e, kStrip);
    e.push_back({call("Sleep", {10})}); // after the high strip, the last thing done
    return e;
}

TEST_F(SceneEight, FirstFrameCallForCall)
{
    fakemusic::setOrder(26);
    drawScene8();
    EXPECT_TRUE(sameCalls(expectedFrame(0, 0, 6, -6, -6)));

    const auto& log = recgl::calls();
    const Call& first = log[recgl::find("glTranslatef")];
    EXPECT_NEAR(first.args[0], 0.49996, 1e-5);
    EXPECT_NEAR(first.args[1], 0.0062, 1e-4);
    const Call& ring = log[recgl::find("glRotatef") - 1]; // placed just before it lies flat
    EXPECT_NEAR(ring.args[2], -14.867, 5e-4) << "the ring's depth";

    EXPECT_NEAR(s8Phase, 1.5, 1e-5);
    EXPECT_EQ(s8Spin, 0.4f);
    EXPECT_EQ(s8MidStripX, 5.9f);
    EXPECT_EQ(s8ColumnY, -5.99f);
    EXPECT_EQ(s8HighStripX, -5.99f);
    EXPECT_EQ(fakemusic::orderReads(), 2);
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});
}

TEST_F(SceneEight, LaterFrameCallForCall)
{
    setScene8(300.25f, 123.2f, -3.5f, 1.25f, 0.75f);
    fakemusic::setOrder(31);
    drawScene8();
    EXPECT_TRUE(sameCalls(expectedFrame(300.25, 123.2f, -3.5f, 1.25f, 0.75f)));
    size_t squares = 0;
    for (const Call& c : recgl::calls())
        squares += c == call("glColor4f", {0, 1, 1, 0.05f});
    EXPECT_EQ(squares, 200u) << "200 squares whatever the phase";
    EXPECT_NEAR(s8Phase, 301.75, 2e-3) << "0.005 steps round coarsely on a phase this large";
    EXPECT_EQ(s8Spin, float(double(123.2f) + double(0.4f)));
    EXPECT_EQ(s8MidStripX, float(-3.5 - 0.1));
}

TEST_F(SceneEight, StripsTestTheOrderEachWithItsOwnRead)
{
    fakemusic::queueOrders({3, 4}); // upright: 3 is not above 3; high: 4 is not above 4
    drawScene8();
    EXPECT_EQ(s8MidStripX, 5.9f) << "the mid strip moves whatever the order";
    EXPECT_EQ(s8ColumnY, -6.0f);
    EXPECT_EQ(s8HighStripX, -6.0f);

    fakemusic::queueOrders({4, 4});
    drawScene8();
    EXPECT_EQ(s8ColumnY, -5.99f);
    EXPECT_EQ(s8HighStripX, -6.0f);

    fakemusic::queueOrders({3, 5}); // the order falls back between the two reads
    drawScene8();
    EXPECT_EQ(s8ColumnY, -5.99f);
    EXPECT_EQ(s8HighStripX, -5.99f);

    fakemusic::setOrder(-1); // no song: only the mid strip moves
    drawScene8();
    EXPECT_EQ(s8ColumnY, -5.99f);
    EXPECT_EQ(s8HighStripX, -5.99f);
    EXPECT_NEAR(s8MidStripX, 5.6, 1e-6);
}

TEST_F(SceneEight, DrawsWithTheProjectionItFindsAndLeavesFill)
{
    resizeGLScene(90, 640, 480); // as scene 2 leaves it
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); // and scene 7 before that
    recgl::State before = recgl::state();
    const size_t mark = recgl::calls().size();
    drawScene8();
    for (const char* name : {"gluPerspective", "glMatrixMode", "glViewport"})
        EXPECT_EQ(recgl::find(name, mark), SIZE_MAX) << name;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(recgl::state().projection[i], before.projection[i]);
    EXPECT_LT(recgl::find("glPolygonMode", mark), recgl::find("glBegin", mark)) << "squares are filled";

    const auto& s = recgl::state();
    EXPECT_EQ(s.polygonModeFront, GLenum(GL_FILL));
    EXPECT_EQ(s.polygonModeBack, GLenum(GL_FILL));
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthTest);
    EXPECT_EQ(s.boundTexture, 104u);
    EXPECT_EQ(s.colour[3], 0.2f);
    EXPECT_EQ(s.fogDensity, 0.15f);
}

} // namespace
