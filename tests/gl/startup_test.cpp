// SPDX-License-Identifier: MIT
// The render state initGL leaves for the first frame, in a real (headless) GL context.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/startup.h"
#include "platform/headless.h"

namespace {

class HeadlessGl : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ctx_ = createHeadlessContext(64, 64, error);
        ASSERT_NE(ctx_, nullptr) << error;
    }
    void TearDown() override { destroyHeadlessContext(ctx_); }
    HeadlessContext* ctx_ = nullptr;
};

TEST_F(HeadlessGl, InitGlLeavesDepthOnBlendOffAndExponentialFog)
{
    EXPECT_TRUE(initGL());
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint fogMode = 0, depthFunc = 0, envMode = 0;
    glGetIntegerv(GL_FOG_MODE, &fogMode);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(fogMode, GL_EXP);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    EXPECT_EQ(envMode, GL_MODULATE);
    GLfloat density = 0, clear[4] = {}, fogColour[4] = {};
    glGetFloatv(GL_FOG_DENSITY, &density);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetFloatv(GL_FOG_COLOR, fogColour);
    EXPECT_FLOAT_EQ(density, 0.15f);
    EXPECT_FLOAT_EQ(clear[3], 0.5f);
    EXPECT_FLOAT_EQ(fogColour[3], 1.0f);
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
}

} // namespace
