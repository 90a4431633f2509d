// SPDX-License-Identifier: MIT
// The timeline: which scenes a dispatch runs and in which order, the keyboard override,
// and the order-32 ending from inside the frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/timeline.h"
#include "platform/platform.h"
#include "tests/support/fake_music.h"

namespace {

std::vector<int> ran;       // scene numbers in the order they ran
std::vector<std::string> events; // shut-down steps, music calls, sleeps and song-end notices
struct ProcessEnded {
    int code;
};

template <int N>
bool standIn()
{
    ran.push_back(N);
    return true;
}

class Timeline : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 8; ++i)
            saved_[i] = SceneFunctions[i];
        const SceneFunction standIns[8] = {standIn<1>, standIn<2>, standIn<3>, standIn<4>,
                                           standIn<5>, standIn<6>, standIn<7>, standIn<8>};
        for (int i = 0; i < 8; ++i)
            SceneFunctions[i] = standIns[i];
        ran.clear();
        events.clear();
        fakemusic::reset();
        fakemusic::onCall([](const std::string& call) { events.push_back(call); });
        resetKeyState();
        SceneOverride = 0;
        setSleepHook([](unsigned ms) { events.push_back("sleep " + std::to_string(ms)); });
        setEndProcessHook([](int code) {
            events.push_back("exit " + std::to_string(code));
            throw ProcessEnded{code};
        });
        setTimelineShutdown([] { events.push_back("killGLWindow"); });
        setSongEndsEarlyNotice([](SongEndsEarly how, int order) {
            events.push_back((how == SongEndsEarly::Ended ? "ended at " : "looped to ") + std::to_string(order));
        });
    }
    void TearDown() override
    {
        for (int i = 0; i < 8; ++i)
            SceneFunctions[i] = saved_[i];
        setSleepHook(nullptr);
        setEndProcessHook(nullptr);
        setTimelineShutdown(nullptr);
        setSongEndsEarlyNotice(nullptr);
        fakemusic::onCall(nullptr);
        resetKeyState();
    }
    SceneFunction saved_[8];
};

int sceneForOrder(int order)
{
    const int firsts[8] = {0, 8, 10, 12, 16, 20, 23, 26};
    const int lasts[8] = {7, 9, 11, 15, 19, 22, 25, 31};
    for (int i = 0; i < 8; ++i)
        if (order >= firsts[i] && order <= lasts[i])
            return i + 1;
    return 0;
}

TEST_F(Timeline, EveryOrderAndOverrideRunsTheSongSceneAndTheForcedOneInTableOrder)
{
    for (int order = -1; order <= 33; ++order) {
        if (order == 32)
            continue; // ends the demo; see below
        for (int override = -1; override <= 8; ++override) {
            ran.clear();
            fakemusic::reset();
            fakemusic::setOrder(order);
            EXPECT_TRUE(dispatchScenes(override));
            std::vector<int> expected;
            for (int scene = 1; scene <= 8; ++scene)
                if (sceneForOrder(order) == scene || override == scene - 1)
                    expected.push_back(scene);
            EXPECT_EQ(ran, expected) << "order " << order << ", override " << override;
            EXPECT_EQ(fakemusic::orderReads(), 9) << "one read per table entry and one for the ending";
        }
    }
}

TEST_F(Timeline, OrderIsReadAfreshForEveryTest)
{
    // The song crosses from order 7 to 8 between the first and second test: both scenes run.
    fakemusic::queueOrders({7, 8, 8, 8, 8, 8, 8, 8, 8});
    dispatchScenes(-1);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST_F(Timeline, OrderThirtyTwoEndsTheDemoInsideTheFrame)
{
    fakemusic::setOrder(32);
    try {
        dispatchScenes(0);
        FAIL() << "dispatch returned at order 32";
    } catch (const ProcessEnded& end) {
        EXPECT_EQ(end.code, 0);
    }
    EXPECT_EQ(ran, (std::vector<int>{1})) << "the forced scene still draws before the ending";
    // The song is freed before the sound system closes, and the window goes last, just
    // before the exit.
    EXPECT_EQ(events, (std::vector<std::string>{"FMUSIC_FreeSong", "FSOUND_Close", "killGLWindow", "exit 0"}));
}

TEST_F(Timeline, EndingIsDecidedByTheLastReadOfTheDispatch)
{
    // Scene 8 runs at order 31; the song ends before the final read.
    fakemusic::queueOrders({31, 31, 31, 31, 31, 31, 31, 31, 32});
    EXPECT_THROW(dispatchScenes(-1), ProcessEnded);
    EXPECT_EQ(ran, (std::vector<int>{8}));

    // A song that never reaches 32 (a negative order, no song) keeps the demo running.
    ran.clear();
    fakemusic::reset();
    fakemusic::setOrder(-1);
    EXPECT_TRUE(dispatchScenes(5));
    EXPECT_EQ(ran, (std::vector<int>{6}));
    EXPECT_EQ(fakemusic::freeCalls(), 0);
}

TEST_F(Timeline, ASongThatEndsBeforeOrderThirtyTwoIsToldOnceAndTheDemoRunsOn)
{
    fakemusic::setOrderCount(16);
    for (int order : {14, 15, 16, 16}) { // after its end a song reports its order count
        fakemusic::setOrder(order);
        EXPECT_TRUE(dispatchScenes(-1)) << "order " << order;
    }
    EXPECT_EQ(events, (std::vector<std::string>{"ended at 16"}));
    EXPECT_EQ(fakemusic::freeCalls(), 0) << "the song is kept: the demo runs until Esc";
}

TEST_F(Timeline, ASongThatGoesBackToAnEarlierOrderIsToldOnce)
{
    for (int order : {30, 31, 0, 1, 31, 0}) {
        fakemusic::setOrder(order);
        EXPECT_TRUE(dispatchScenes(-1)) << "order " << order;
    }
    EXPECT_EQ(events, (std::vector<std::string>{"looped to 0"}));

    // Installing a notice starts the watch afresh; no song (order -1) is never a song's end.
    events.clear();
    setSongEndsEarlyNotice(nullptr);
    ::testing::internal::CaptureStderr();
    for (int order : {-1, 5, -1, 3})
        fakemusic::setOrder(order), dispatchScenes(-1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "rinta: the song went back to order 3 before order 32; the demo runs until Esc\n");
    events.clear();
    setSongEndsEarlyNotice(nullptr);
    fakemusic::setOrderCount(0); // no orders: ended from the start
    fakemusic::setOrder(0);
    ::testing::internal::CaptureStderr();
    dispatchScenes(-1);
    dispatchScenes(-1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "rinta: the song ended before order 32; the demo runs until Esc\n");
}

TEST_F(Timeline, TheOrderThirtyTwoEndingIsNoEarlyEnd)
{
    for (int order : {30, 31})
        fakemusic::setOrder(order), dispatchScenes(-1);
    fakemusic::setOrder(32);
    EXPECT_THROW(dispatchScenes(-1), ProcessEnded);
    EXPECT_EQ(events, (std::vector<std::string>{"FMUSIC_FreeSong", "FSOUND_Close", "killGLWindow", "exit 0"}));
}

TEST_F(Timeline, DigitKeysForceTheirSceneAndTheHighestDigitWins)
{
    fakemusic::setOrder(3);
    keyEvent(kVk1 + 7, true); // '8' held during order 3
    EXPECT_TRUE(handleSceneKeys());
    EXPECT_EQ(SceneOverride, 7);
    EXPECT_EQ(ran, (std::vector<int>{1, 8})) << "scene 1 still runs first, hidden by scene 8";

    keyEvent(kVk1 + 1, true); // '2' and '8' both down
    handleSceneKeys();
    EXPECT_EQ(SceneOverride, 7);
    keyEvent(kVk1 + 7, false);
    keyEvent(kVk1 + 1, false);
}

TEST_F(Timeline, KeyPressedAndReleasedBetweenFramesStillCountsOnce)
{
    fakemusic::setOrder(-1);
    keyEvent(kVk1 + 4, true);
    keyEvent(kVk1 + 4, false); // released before the frame looks
    handleSceneKeys();
    EXPECT_EQ(SceneOverride, 4);

    SceneOverride = 0;
    handleSceneKeys();
    EXPECT_EQ(SceneOverride, 0) << "the latch is cleared by the query that saw it";
}

TEST_F(Timeline, ArrowsStepTheOverrideWithoutBoundsAndSleepEachStep)
{
    fakemusic::setOrder(-1);
    SceneOverride = 7;
    keyEvent(kVkRight, true);
    handleSceneKeys();
    EXPECT_EQ(SceneOverride, 8);
    EXPECT_TRUE(ran.empty()) << "override 8 forces no scene";
    handleSceneKeys(); // still held: steps again
    EXPECT_EQ(SceneOverride, 9);
    keyEvent(kVkRight, false);
    EXPECT_EQ(events, (std::vector<std::string>{"sleep 100", "sleep 100"}));

    events.clear();
    SceneOverride = 0;
    keyEvent(kVkLeft, true);
    keyEvent(kVkLeft, false);
    handleSceneKeys();
    EXPECT_EQ(SceneOverride, -1);
    EXPECT_EQ(events, (std::vector<std::string>{"sleep 100"}));
}

TEST_F(Timeline, DigitThenRightThenLeftWhenHeldTogether)
{
    fakemusic::setOrder(-1);
    SceneOverride = 0;
    keyEvent(kVk1 + 2, true); // '3', Right and Left in one frame: 2, then 3, then 2
    keyEvent(kVkRight, true);
    keyEvent(kVkLeft, true);
    handleSceneKeys();
    EXPECT_EQ(SceneOverride, 2);
    EXPECT_EQ(ran, (std::vector<int>{3}));
    EXPECT_EQ(events, (std::vector<std::string>{"sleep 100", "sleep 100"}));
    keyEvent(kVkLeft, false);
    ran.clear();
    handleSceneKeys(); // '3' and Right still down
    EXPECT_EQ(SceneOverride, 3);
    EXPECT_EQ(ran, (std::vector<int>{4}));
    keyEvent(kVk1 + 2, false);
    keyEvent(kVkRight, false);
}

TEST(KeyState, DownNowOrPressedSinceLastQuery)
{
    resetKeyState();
    EXPECT_FALSE(asyncKeyState('A'));
    keyEvent('A', true);
    EXPECT_TRUE(asyncKeyState('A'));
    EXPECT_TRUE(asyncKeyState('A')) << "still down";
    keyEvent('A', false);
    EXPECT_FALSE(asyncKeyState('A'));
    keyEvent('A', true);
    keyEvent('A', false);
    EXPECT_TRUE(asyncKeyState('A'));
    EXPECT_FALSE(asyncKeyState('A'));
    EXPECT_FALSE(asyncKeyState(300)) << "codes outside the table are never down";
    keyEvent(-5, true);
}

} // namespace
