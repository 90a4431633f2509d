// SPDX-License-Identifier: MIT
// The deterministic loop over stand-in scenes and the scripted player: the clock's steps,
// the keys of a frame, and each way a run ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/deterministic.h"
#include "engine/startup.h"
#include "platform/platform.h"
#include "tests/support/fake_music.h"
#include "tests/support/recording_gl.h"

namespace {

std::vector<std::string> trail; // what the frames did, in order

// Scene 1 sleeps 10 ms; scene 6 hands on to scene 7 from inside its frame, as the real one does.
bool sceneOne()
{
    trail.push_back("1");
    Sleep(10);
    return true;
}
bool sceneSix()
{
    static bool handingOn = false; // once a frame, as the real scene hands on once
    trail.push_back("6");
    if (!handingOn) {
        handingOn = true;
        dispatchScenes(6);
        handingOn = false;
    }
    return true;
}
bool sceneSeven()
{
    trail.push_back("7");
    return true;
}
bool quiet() { return true; }

class ScriptedRun final : public DeterministicLoop {
public:
    using DeterministicLoop::DeterministicLoop;
    std::vector<std::int64_t> presentedAt; // the clock after each frame
    std::vector<bool> seenFrames;
    long seenOnly = 0; // 0: every frame seen
    std::int64_t audioSamples = 0;

protected:
    bool frameSeen(long frame) override { return seenOnly == 0 || frame == seenOnly; }
    bool callScene(int index, int depth, SceneFunction draw) override
    {
        trail.push_back("call " + std::to_string(index + 1) + "@" + std::to_string(depth));
        return draw();
    }
    bool framePresented(long frame, bool seen) override
    {
        trail.push_back("presented " + std::to_string(frame) + (asyncKeyState(kVkRight) ? " right" : ""));
        presentedAt.push_back(clockUs());
        seenFrames.push_back(seen);
        return true;
    }
    void musicRendered(const float*, std::int64_t first, std::int64_t count) override
    {
        EXPECT_EQ(first, audioSamples) << "the music is rendered without gaps";
        audioSamples += count;
    }
};

class Deterministic : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 8; ++i)
            saved_[i] = SceneFunctions[i];
        const SceneFunction standIns[8] = {sceneOne, quiet, quiet, quiet, quiet, sceneSix, sceneSeven, quiet};
        for (int i = 0; i < 8; ++i)
            SceneFunctions[i] = standIns[i];
        trail.clear();
        recgl::reset();
        fakemusic::reset();
        resetKeyState();
        SceneOverride = 0;
        fakemusic::setOrder(0); // scene 1's orders
    }
    void TearDown() override
    {
        for (int i = 0; i < 8; ++i)
            SceneFunctions[i] = saved_[i];
        resetKeyState();
        SceneOverride = 0;
    }
    SceneFunction saved_[8];
};

TEST_F(Deterministic, EachSleepAndEachSceneCallMovesTheClockAndTheMusicFollows)
{
    DeterministicLoop::Settings settings;
    settings.lastFrame = 3;
    settings.sceneCostUs = 1000;
    ScriptedRun run(settings);
    run.install();
    EXPECT_EQ(run.run(), DeterministicLoop::Ending::Frames);
    EXPECT_EQ(run.frame(), 3);
    // Scene 1 at order 0 (override 0 forces the same scene): 10 ms of sleep and 1 ms of cost.
    EXPECT_EQ(run.presentedAt, (std::vector<std::int64_t>{11000, 22000, 33000}));
    EXPECT_EQ(run.samplesPulled(), 33000LL * kMixRate / 1000000);
    EXPECT_EQ(run.audioSamples, run.samplesPulled());
    EXPECT_EQ(fakemusic::freeCalls(), 1) << "the song is freed when the run ends";
    EXPECT_EQ(fakemusic::closeCalls(), 1);
    EXPECT_TRUE(run.songGone());
}

TEST_F(Deterministic, NestedScenesAreChargedAndTracedAtTheirDepth)
{
    fakemusic::setOrder(20); // scene 6, which dispatches scene 7 from inside its frame
    SceneOverride = -1;
    DeterministicLoop::Settings settings;
    settings.lastFrame = 1;
    ScriptedRun run(settings);
    run.install();
    run.run();
    // Scene 6's dispatch runs scene 6 by the order and scene 7 by its override, one level down.
    EXPECT_EQ(trail, (std::vector<std::string>{"call 6@0", "6", "call 6@1", "6", "call 7@1", "7", "presented 1"}));
    EXPECT_EQ(run.presentedAt, (std::vector<std::int64_t>{3000})) << "three scene calls, 1 ms each, no sleep";
}

TEST_F(Deterministic, AFrameWithoutScenesStillTakesTheSceneCost)
{
    fakemusic::setOrder(-1); // no song: no scene runs
    SceneOverride = -1;
    DeterministicLoop::Settings settings;
    settings.lastFrame = 2;
    settings.sceneCostUs = 700;
    ScriptedRun run(settings);
    run.install();
    run.run();
    EXPECT_EQ(run.presentedAt, (std::vector<std::int64_t>{700, 1400}));
}

TEST_F(Deterministic, KeysGoDownBeforeTheirFrameAndUpAfterItAndEscEndsAfterTheFrame)
{
    DeterministicLoop::Settings settings;
    settings.keys = {{2, kVkRight}, {4, kVkEscape}};
    ScriptedRun run(settings);
    run.install();
    EXPECT_EQ(run.run(), DeterministicLoop::Ending::Esc);
    EXPECT_EQ(run.frame(), 4);
    EXPECT_EQ(SceneOverride, 1) << "Right pressed for frame 2 stepped the override once";
    std::vector<std::string> presented;
    for (const std::string& t : trail)
        if (t.rfind("presented", 0) == 0)
            presented.push_back(t);
    EXPECT_EQ(presented, (std::vector<std::string>{"presented 1", "presented 2 right", "presented 3", "presented 4"}))
        << "the key is down while its frame is presented, and up after";
    EXPECT_EQ(run.endingOrder(), 0);
    EXPECT_EQ(fakemusic::freeCalls(), 1);
}

TEST_F(Deterministic, OrderThirtyTwoCutsTheFrameShortAndIsNeverPresented)
{
    fakemusic::onOrderQuery([](int read) {
        if (read >= 20) // some reads into the third frame
            fakemusic::setOrder(kEndOrder);
    });
    DeterministicLoop::Settings settings;
    ScriptedRun run(settings);
    run.install();
    EXPECT_EQ(run.run(), DeterministicLoop::Ending::Order32);
    EXPECT_TRUE(run.frameCutShort());
    EXPECT_EQ(run.frame(), 2) << "the frame that met the ending does not count";
    EXPECT_EQ(run.presentedAt.size(), 2u);
    EXPECT_EQ(run.endingOrder(), kEndOrder);
    EXPECT_EQ(fakemusic::freeCalls(), 1) << "freed once, by the timeline";
}

TEST_F(Deterministic, TimeLimitStopsBeforeAFrameWouldStartAtIt)
{
    DeterministicLoop::Settings settings;
    settings.untilUs = 30000;
    ScriptedRun run(settings);
    run.install();
    EXPECT_EQ(run.run(), DeterministicLoop::Ending::Time);
    EXPECT_EQ(run.frame(), 3) << "frames start at 0, 11 and 22 ms; the fourth would start at 33";
}

TEST_F(Deterministic, OnlyTheSeenFramesAreDrawnAndTheSwitchIsSetForEachFrame)
{
    DeterministicLoop::Settings settings;
    settings.lastFrame = 3;
    ScriptedRun run(settings);
    run.seenOnly = 2;
    run.install();
    run.run();
    EXPECT_EQ(run.seenFrames, (std::vector<bool>{false, true, false}));
    // The native switch: a one-pixel scissor box while unseen, off while seen.
    size_t enables = 0, disables = 0;
    for (const recgl::Call& c : recgl::calls()) {
        if (c.name == "glEnable" && c.args[0] == GL_SCISSOR_TEST)
            ++enables;
        if (c.name == "glDisable" && c.args[0] == GL_SCISSOR_TEST)
            ++disables;
        if (c.name == "glScissor") {
            EXPECT_EQ(c.args, (std::vector<double>{0, 0, 1, 1}));
        }
    }
    EXPECT_EQ(enables, 2u);
    EXPECT_EQ(disables, 1u);
}

TEST_F(Deterministic, ASongThatEndsEarlyStopsTheRunOnlyWhenAsked)
{
    fakemusic::setOrderCount(16);
    fakemusic::onOrderQuery([](int read) { fakemusic::setOrder(read >= 10 ? 16 : 15); });
    for (const bool stop : {true, false}) {
        fakemusic::setOrder(15);
        trail.clear();
        DeterministicLoop::Settings settings;
        settings.stopWhenSongEndsEarly = stop;
        settings.lastFrame = 20;
        ScriptedRun run(settings);
        run.install();
        const DeterministicLoop::Ending ending = run.run();
        EXPECT_EQ(run.earlyEndOrder(), 16);
        if (stop) {
            EXPECT_EQ(ending, DeterministicLoop::Ending::SongEnded);
            EXPECT_LT(run.frame(), 5) << "stops after the frame that saw the end";
        } else {
            EXPECT_EQ(ending, DeterministicLoop::Ending::Frames);
            EXPECT_EQ(run.frame(), 20);
        }
        fakemusic::onOrderQuery([](int read) { fakemusic::setOrder(read >= 10 ? 16 : 15); });
    }
}

TEST_F(Deterministic, ALoopingSongStopsTheRunWhenAsked)
{
    fakemusic::onOrderQuery([](int read) { fakemusic::setOrder(read < 12 ? 31 : 0); });
    DeterministicLoop::Settings settings;
    settings.stopWhenSongEndsEarly = true;
    ScriptedRun run(settings);
    run.install();
    EXPECT_EQ(run.run(), DeterministicLoop::Ending::SongLooped);
    EXPECT_EQ(run.earlyEndOrder(), 0);
}

} // namespace
