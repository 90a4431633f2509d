// SPDX-License-Identifier: MIT
// The render state initGL leaves for the first frame, in a real (headless) GL context, and
// the warm-up drawing done behind the question, which must leave that state as it was.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/projection.h"
#include "engine/startup.h"
#include "platform/headless.h"
#include "shell/warmup.h"

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

// Every piece of fixed-function state a scene could inherit, by name, as numbers.
std::vector<std::pair<std::string, std::vector<double>>> renderState()
{
    std::vector<std::pair<std::string, std::vector<double>>> state;
    for (const auto& [name, cap] : std::vector<std::pair<const char*, GLenum>>{
             {"GL_TEXTURE_2D", GL_TEXTURE_2D}, {"GL_BLEND", GL_BLEND}, {"GL_DEPTH_TEST", GL_DEPTH_TEST},
             {"GL_FOG", GL_FOG}, {"GL_CULL_FACE", GL_CULL_FACE}, {"GL_LIGHTING", GL_LIGHTING},
             {"GL_ALPHA_TEST", GL_ALPHA_TEST}, {"GL_SCISSOR_TEST", GL_SCISSOR_TEST},
             {"GL_LINE_SMOOTH", GL_LINE_SMOOTH}, {"GL_COLOR_MATERIAL", GL_COLOR_MATERIAL},
             {"GL_TEXTURE_GEN_S", GL_TEXTURE_GEN_S}, {"GL_NORMALIZE", GL_NORMALIZE}})
        state.push_back({name, {double(glIsEnabled(cap))}});
    for (const auto& [name, pname, count] : std::vector<std::tuple<const char*, GLenum, int>>{
             {"GL_POLYGON_MODE", GL_POLYGON_MODE, 2}, {"GL_TEXTURE_BINDING_2D", GL_TEXTURE_BINDING_2D, 1},
             {"GL_MATRIX_MODE", GL_MATRIX_MODE, 1}, {"GL_BLEND_SRC", GL_BLEND_SRC, 1},
             {"GL_BLEND_DST", GL_BLEND_DST, 1}, {"GL_DEPTH_FUNC", GL_DEPTH_FUNC, 1},
             {"GL_DEPTH_WRITEMASK", GL_DEPTH_WRITEMASK, 1}, {"GL_SHADE_MODEL", GL_SHADE_MODEL, 1},
             {"GL_FOG_MODE", GL_FOG_MODE, 1}, {"GL_VIEWPORT", GL_VIEWPORT, 4},
             {"GL_MODELVIEW_STACK_DEPTH", GL_MODELVIEW_STACK_DEPTH, 1},
             {"GL_ATTRIB_STACK_DEPTH", GL_ATTRIB_STACK_DEPTH, 1}}) {
        std::array<GLint, 4> v{};
        glGetIntegerv(pname, v.data());
        state.push_back({name, std::vector<double>(v.begin(), v.begin() + count)});
    }
    for (const auto& [name, pname, count] : std::vector<std::tuple<const char*, GLenum, int>>{
             {"GL_CURRENT_COLOR", GL_CURRENT_COLOR, 4}, {"GL_CURRENT_TEXTURE_COORDS", GL_CURRENT_TEXTURE_COORDS, 4},
             {"GL_COLOR_CLEAR_VALUE", GL_COLOR_CLEAR_VALUE, 4}, {"GL_FOG_COLOR", GL_FOG_COLOR, 4},
             {"GL_FOG_DENSITY", GL_FOG_DENSITY, 1}, {"GL_FOG_START", GL_FOG_START, 1},
             {"GL_FOG_END", GL_FOG_END, 1}, {"GL_LINE_WIDTH", GL_LINE_WIDTH, 1},
             {"GL_MODELVIEW_MATRIX", GL_MODELVIEW_MATRIX, 16}, {"GL_PROJECTION_MATRIX", GL_PROJECTION_MATRIX, 16},
             {"GL_TEXTURE_MATRIX", GL_TEXTURE_MATRIX, 16}}) {
        std::array<GLfloat, 16> v{};
        glGetFloatv(pname, v.data());
        state.push_back({name, std::vector<double>(v.begin(), v.begin() + count)});
    }
    GLint envMode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    state.push_back({"GL_TEXTURE_ENV_MODE", {double(envMode)}});
    return state;
}

// Behind the question the render state is set first, then drawn with in every combination
// the scenes use: the first frame must still start from exactly what initGL would have set.
TEST_F(HeadlessGl, WarmUpLeavesTheRenderStateAsInitGlSetIt)
{
    resizeGLScene(45, kSceneWidth, kSceneHeight);
    ::testing::internal::CaptureStderr(); // the pictures are not here: named, and left empty
    prepareGL();
    ::testing::internal::GetCapturedStderr();
    glColor4f(0.25f, 0.5f, 0.75f, 1.0f); // a colour of its own, to see it kept
    const auto before = renderState();
    warmUpDrawing();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const auto after = renderState();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].second, before[i].second) << before[i].first << " changed by the warm-up";
    EXPECT_TRUE(initGL()); // then only the music starts
}

} // namespace
