// tests/support/scene_fixture.h — the common set-up of call-order tests: a fresh recording
// GL layer and scripted player, sleeps counted instead of slept, the texture table filled
// with recognisable names (slot k holds 100 + k) and the override at its start value.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "engine/startup.h"
#include "engine/timeline.h"
#include "platform/platform.h"
#include "tests/support/fake_music.h"
#include "tests/support/recording_gl.h"

namespace scenetest {

inline std::vector<unsigned>& sleeps()
{
    static std::vector<unsigned> s;
    return s;
}

inline void recordSleep(unsigned ms) { sleeps().push_back(ms); }

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        recgl::reset();
        fakemusic::reset();
        sleeps().clear();
        setSleepHook(recordSleep);
        SceneOverride = 0;
        for (int slot = 0; slot < kTextureSlots; ++slot)
            TextureTable[slot] = textureSlotFile(slot) ? 100 + slot : 0;
    }
    void TearDown() override { setSleepHook(nullptr); }
};

} // namespace scenetest
