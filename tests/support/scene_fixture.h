// SPDX-License-Identifier: MIT
// tests/support/scene_fixture.h — the common set-up of call-order tests: a fresh recording
// GL layer and scripted player, sleeps counted instead of slept, the texture table filled
// with recognisable names (slot k holds 100 + k) and the override at its start value.
// The helpers that compare frames call for call come with it (call_log.h).
#pragma once
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "engine/projection.h"
#include "engine/startup.h"
#include "engine/timeline.h"
#include "platform/platform.h"
#include "tests/support/call_log.h"
#include "tests/support/fake_music.h"
#include "tests/support/recording_gl.h"

namespace scenetest {

inline std::vector<unsigned>& sleeps()
{
    static std::vector<unsigned> s;
    return s;
}

inline void recordSleep(unsigned ms) { sleeps().push_back(ms); }

// The length of the call log when noteSleep last ran: equal to the final length when the
// sleep ends the frame.
inline size_t& callsAtSleep()
{
    static size_t n = 0;
    return n;
}

// A sleep hook that also notes where in the log the sleep fell.
inline void noteSleep(unsigned ms)
{
    recordSleep(ms);
    callsAtSleep() = recgl::calls().size();
}

// A sleep hook that logs the sleep among the GL calls, as Sleep(ms), so a frame compared
// call for call also fixes where its sleep falls.
inline void logSleep(unsigned ms)
{
    recordSleep(ms);
    recgl::note("Sleep", {double(ms)});
}

// What resizeGLScene(fov, 640, 480) records, taken from the function itself (its own suite
// checks what it does); leaves the log empty.
inline std::vector<recgl::Call> recordedProjection(float fov)
{
    recgl::reset();
    resizeGLScene(fov, 640, 480);
    std::vector<recgl::Call> out = recgl::calls();
    recgl::reset();
    return out;
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        recgl::reset();
        fakemusic::reset();
        sleeps().clear();
        callsAtSleep() = 0;
        setSleepHook(recordSleep);
        SceneOverride = 0;
        for (int slot = 0; slot < kTextureSlots; ++slot)
            TextureTable[slot] = textureSlotFile(slot) ? 100 + slot : 0;
    }
    void TearDown() override { setSleepHook(nullptr); }
};

} // namespace scenetest
