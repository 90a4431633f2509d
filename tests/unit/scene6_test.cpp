// SPDX-License-Identifier: MIT
// Scene 6, the credits: one frame call for call, the credit bands and the pulse, and the
// hand-over to scene 7 at frame 1024 through a nested dispatch inside the frame.
#include <cmath>

#include "engine/meshes/meshes.h"
#include "scenes/scene6.h"
#include "scenes/scene7.h"
#include "tests/support/scene_fixture.h"

namespace {

using recgl::Call;
using recgl::call;
using recgl::sameCalls;

struct ProcessEnded {
    int code;
};
void throwOnEnd(int code) { throw ProcessEnded{code}; }

class SceneSix : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        setSleepHook(scenetest::logSleep);
        setScene6(0, 0, 0, 0, 0);
        s7SpinX = s7SpinY = s7SpinZ = 0;
        fakemusic::setOrder(-1); // no song: nested dispatches run only the forced scene
    }
    void TearDown() override
    {
        setEndProcessHook(nullptr);
        SceneTest::TearDown();
    }
    static void setScene6(float frame, int slot, float x, float y, float z)
    {
        s6CycleFrame = frame;
        s6CreditSlot = slot;
        s6SpinX = x;
        s6SpinY = y;
        s6SpinZ = z;
        s6Pulse = 0;
    }
};

float pulseAt(double frame) { return static_cast<float>(0.5 * std::sin(frame * 0.024543691875)); }

std::vector<Call> expectedPrologue()
{
    std::vector<Call> e = recgl::expectedProjection(45);
    e.insert(e.end(), {
        call("glClearColor", {0.5f, 0.5f, 0.5f, 0.5f}),
        call("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1}),
        call("glFogf", {GL_FOG_DENSITY, 0}),
        call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}),
    });
    return e;
}

// Ring and credit picture, as drawn with the given angles, pulse and slot.
std::vector<Call> expectedDrawing(float x, float y, float z, float pulse, int slot)
{
    std::vector<Call> e = {
        call("glLoadIdentity"),
        call("glTranslatef", {0.1f, 0, -5}),
        call("glRotatef", {x, 1, 0, 0}),
        call("glRotatef", {y, 0, 1, 0}),
        call("glRotatef", {z, 0, 0, 1}),
        call("glBindTexture", {GL_TEXTURE_2D, 110}),
        call("glTexGeni", {GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP}),
        call("glTexGeni", {GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP}),
        call("glEnable", {GL_DEPTH_TEST}),
        call("glDisable", {GL_BLEND}),
        call("glColor4f", {1, 1, 1, 1.4f}),
        call("glScalef", {pulse, pulse, pulse}),
        call("glBegin", {GL_TRIANGLES}),
    };
    for (int k = 0; k < 3 * MeshD.triangleCount; ++k) {
        const MeshRecord& r = MeshD.records[k];
        recgl::addVertex(e, r.u, r.v, r.x, r.y, r.z);
    }
    e.insert(e.end(), {
        call("glEnd"),
        call("glLoadIdentity"),
        call("glTranslatef", {0, 0, -4}),
        call("glBindTexture", {GL_TEXTURE_2D, 100.0 + slot}),
        call("glEnable", {GL_BLEND}),
        call("glDisable", {GL_DEPTH_TEST}),
        call("glColor4f", {1, 1, 1, pulse}),
    });
    const float picture[4][5] = {{0, 0, -2, -1.67f, 0}, {1, 0, 2, -1.67f, 0}, {1, 1, 2, 1.67f, 0}, {0, 1, -2, 1.67f, 0}};
    recgl::addQuads(e, picture);
    return e;
}

std::vector<Call> expectedFrame(float x, float y, float z, float pulse, int slot)
{
    std::vector<Call> e = expectedPrologue();
    const std::vector<Call> drawing = expectedDrawing(x, y, z, pulse, slot);
    e.insert(e.end(), drawing.begin(), drawing.end());
    e.push_back(call("Sleep", {10})); // after the picture, the last thing done
    return e;
}

size_t countFrom(size_t first, size_t last, const Call& c)
{
    const auto& log = recgl::calls();
    size_t n = 0;
    for (size_t i = first; i < last && i < log.size(); ++i)
        n += log[i] == c;
    return n;
}

// Scene 7's signature: 1200 cubes, each coloured (1, 1, 1, 0.05).
const Call kCubeColour = call("glColor4f", {1, 1, 1, 0.05f});

TEST_F(SceneSix, FirstFrameCallForCall)
{
    drawScene6();
    EXPECT_TRUE(sameCalls(expectedFrame(0, 0, 0, pulseAt(1), 14)));
    EXPECT_NEAR(s6Pulse, 0.01227, 1e-5) << "a tiny ring and an almost transparent picture";
    EXPECT_EQ(s6CycleFrame, 1.0f);
    EXPECT_EQ(s6CreditSlot, 14);
    EXPECT_EQ(s6SpinX, 0.5f);
    EXPECT_EQ(s6SpinY, 5.0f);
    EXPECT_EQ(s6SpinZ, 2.0f);
    EXPECT_EQ(scenetest::sleeps(), std::vector<unsigned>{10});
    EXPECT_EQ(fakemusic::orderReads(), 0) << "the scene keeps its own clock";
}

TEST_F(SceneSix, LaterFrameLeavesItsStateAndKeepsTheModeItFound)
{
    setScene6(599, 0, 30.5f, 300, 120);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); // as scene 7 leaves it
    const size_t mark = recgl::calls().size();
    drawScene6();
    EXPECT_TRUE(sameCalls(expectedFrame(30.5f, 300, 120, pulseAt(600), 16), mark));
    EXPECT_EQ(s6SpinX, 31.0f);
    EXPECT_EQ(s6SpinY, 305.0f);
    EXPECT_EQ(s6SpinZ, 122.0f);

    const auto& s = recgl::state();
    EXPECT_EQ(s.polygonModeFront, GLenum(GL_LINE)) << "the scene sets no polygon mode";
    EXPECT_EQ(s.polygonModeBack, GLenum(GL_LINE));
    EXPECT_TRUE(s.blend);
    EXPECT_FALSE(s.depthTest);
    EXPECT_EQ(s.boundTexture, 116u);
    EXPECT_NEAR(s.modelview[14], -4, 1e-12);
}

TEST_F(SceneSix, CreditPictureChangesOneFrameAfterEachBandEdge)
{
    auto runTo = [](float frame) {
        s6CycleFrame = frame - 1;
        recgl::reset();
        drawScene6();
        return int(recgl::state().boundTexture) - 100; // the picture is bound last
    };
    EXPECT_EQ(runTo(1), 14);
    // Each window starts from slot 0 so that a kept slot shows it was kept, not chosen.
    const struct {
        float edge;
        int before, after;
    } edges[] = {{256, 14, 15}, {512, 15, 16}, {768, 16, 13}, {1024, 13, 13}};
    for (const auto& e : edges) {
        s6CreditSlot = 0;
        EXPECT_EQ(runTo(e.edge - 1), e.before) << e.edge - 1;
        EXPECT_EQ(runTo(e.edge), e.before) << "the edge " << e.edge << " keeps the previous picture";
        EXPECT_EQ(runTo(e.edge + 1), e.after) << e.edge + 1;
    }
    s6CreditSlot = 13;
    EXPECT_EQ(runTo(5000), 13) << "past the cycle the last picture stays";
}

TEST_F(SceneSix, PulseScalesTheRingAndFadesThePicture)
{
    const struct {
        float frame;
        double pulse, tolerance;
    } points[] = {{1, 0.0122709, 1e-6}, {64, 0.5, 1e-6}, {128, 0, 1e-7}, {192, -0.5, 1e-6}, {256, 0, 1e-7}};
    for (const auto& p : points) {
        s6CycleFrame = p.frame - 1;
        recgl::reset();
        drawScene6();
        const Call& scale = recgl::calls()[recgl::find("glScalef")];
        EXPECT_NEAR(scale.args[0], p.pulse, p.tolerance) << "frame " << p.frame;
        EXPECT_EQ(scale.args[1], scale.args[0]);
        EXPECT_EQ(scale.args[2], scale.args[0]);
        EXPECT_EQ(recgl::state().colour[3], scale.args[0]) << "the picture's alpha is the same pulse";
    }
}

TEST_F(SceneSix, HandOverRunsSceneSevenInsideTheFrameExactlyOnce)
{
    fakemusic::setOrder(21); // the song's own course: the nested dispatch runs this scene again
    setScene6(1023, 13, 10, 20, 30);
    drawScene6();

    const std::vector<Call> prologue = expectedPrologue();
    ASSERT_TRUE(sameCalls(prologue, 0, false));
    // Nested: this scene's frame 1025 (no second hand-over), then scene 7, each clearing.
    const std::vector<Call> nestedSix = expectedFrame(10, 20, 30, pulseAt(1025), 13);
    EXPECT_TRUE(sameCalls(nestedSix, prologue.size(), false));
    const size_t sevenStart = prologue.size() + nestedSix.size();
    // Outer: drawn over scene 7 without clearing, with the state the nested frame left, and
    // its own sleep last, after those of the nested scenes.
    std::vector<Call> outer = expectedDrawing(10.5f, 25, 32, pulseAt(1025), 13);
    outer.push_back(call("Sleep", {10}));
    const size_t outerStart = recgl::calls().size() - outer.size();
    EXPECT_TRUE(sameCalls(outer, outerStart));
    EXPECT_EQ(recgl::calls()[sevenStart], call("glViewport", {0, 0, 640, 480}));
    EXPECT_EQ(recgl::calls()[outerStart - 1], call("Sleep", {10})) << "scene 7's frame ends with its sleep";
    EXPECT_EQ(countFrom(sevenStart, outerStart, kCubeColour), 1200u);
    EXPECT_EQ(countFrom(sevenStart, outerStart, call("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT})), 1u);
    EXPECT_EQ(recgl::state().polygonModeFront, GLenum(GL_LINE)) << "drawn as outlines over scene 7";
    EXPECT_EQ(recgl::state().polygonModeBack, GLenum(GL_LINE));

    EXPECT_EQ(SceneOverride, 6);
    EXPECT_EQ(fakemusic::orderReads(), 9) << "one nested dispatch";
    EXPECT_EQ(scenetest::sleeps(), (std::vector<unsigned>{10, 10, 10}));
    EXPECT_EQ(s6CycleFrame, 1025.0f);
    EXPECT_EQ(s6SpinX, 11.0f);
    EXPECT_EQ(s7SpinX, 0.5f);

    // The next frame: scene 6 still runs for order 21, scene 7 after it; no second hand-over.
    recgl::reset();
    dispatchScenes(SceneOverride);
    EXPECT_EQ(s6CycleFrame, 1026.0f);
    EXPECT_EQ(recgl::count("glClear"), 2u);
    EXPECT_EQ(countFrom(0, SIZE_MAX, kCubeColour), 1200u);
    EXPECT_EQ(fakemusic::orderReads(), 18);
    EXPECT_EQ(SceneOverride, 6);
}

TEST_F(SceneSix, HandOverWhileForcedPassesTheOverrideToSceneSeven)
{
    SceneOverride = 5; // key 6, outside the song's orders for the scene
    setScene6(1023, 13, 0, 0, 0);
    dispatchScenes(SceneOverride);
    EXPECT_EQ(SceneOverride, 6);
    EXPECT_EQ(countFrom(0, SIZE_MAX, kCubeColour), 1200u) << "scene 7 ran once, inside scene 6's frame";
    EXPECT_EQ(s7SpinX, 0.5f);

    recgl::reset();
    dispatchScenes(SceneOverride);
    EXPECT_EQ(s6CycleFrame, 1024.0f) << "scene 6 is no longer forced";
    EXPECT_EQ(s7SpinX, 1.0f);
    EXPECT_EQ(recgl::count("glTexGeni"), 0u);
}

TEST_F(SceneSix, OrderThirtyTwoInTheNestedDispatchEndsTheDemoMidFrame)
{
    setEndProcessHook(throwOnEnd);
    fakemusic::queueOrders({22, 22, 22, 22, 22, 22, 22, 22}); // the song ends before the last read
    fakemusic::setOrder(32);
    setScene6(1023, 13, 0, 0, 0);
    try {
        drawScene6();
        FAIL() << "the frame went on after order 32";
    } catch (const ProcessEnded& end) {
        EXPECT_EQ(end.code, 0);
    }
    EXPECT_EQ(fakemusic::freeCalls(), 1);
    EXPECT_EQ(fakemusic::closeCalls(), 1);
    EXPECT_EQ(SceneOverride, 0) << "the hand-over never completed";
    EXPECT_EQ(recgl::count("glTexGeni"), 2u) << "only the nested frame of scene 6 drew its ring";
    EXPECT_EQ(scenetest::sleeps(), (std::vector<unsigned>{10, 10})) << "nested scene 6 and scene 7 only";
}

} // namespace
