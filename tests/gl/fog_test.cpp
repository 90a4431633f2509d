// SPDX-License-Identifier: MIT
// Fog by each fragment's distance from the eye, drawn in a real headless context.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/fog.h"
#include "engine/gl.h"
#include "engine/projection.h"
#include "platform/headless.h"

namespace {

constexpr int kW = 160, kH = 120;

class FragmentFog : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ctx_ = createHeadlessContext(kW, kH, error);
        ASSERT_NE(ctx_, nullptr) << error;
        ASSERT_TRUE(setupFragmentFog()) << "Mesa offers GL_ARB_fragment_program";
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glFogi(GL_FOG_MODE, GL_EXP);
        const GLfloat black[4] = {0, 0, 0, 1};
        glFogfv(GL_FOG_COLOR, black);
        glEnable(GL_FOG);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        resizeGLScene(45, kW, kH);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindTexture(GL_TEXTURE_2D, 0); // white: the fragment program's plain colour
    }
    void TearDown() override { destroyHeadlessContext(ctx_); }

    std::vector<unsigned char> read()
    {
        std::vector<unsigned char> px(kW * kH * 4);
        glFinish();
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    static const unsigned char* at(const std::vector<unsigned char>& px, int x, int y) { return &px[(y * kW + x) * 4]; }

    HeadlessContext* ctx_ = nullptr;
};

void quad(const float v[4][3])
{
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(0, 0);
        glVertex3f(v[i][0], v[i][1], v[i][2]);
    }
    glEnd();
}

TEST_F(FragmentFog, FloorPassingBesideTheEyeDarkensWithDistance)
{
    glFogf(GL_FOG_DENSITY, 0.15f);
    glColor4f(1, 1, 1, 1);
    const float floor[4][3] = {{-70, -1.7f, 70}, {70, -1.7f, 70}, {70, -1.7f, -70}, {-70, -1.7f, -70}};
    quad(floor);
    const std::vector<unsigned char> px = read();

    // Row y (window) looks down at the floor plane y = -1.7: its eye-plane distance is
    // 1.7 f / -ndcY, with f the focal length of the 45 degree projection.
    const double focal = 1.0 / std::tan(22.5 * M_PI / 180.0);
    int checked = 0;
    for (int y : {2, 10, 25, 40, 52}) {
        const double ndcY = (y + 0.5) / kH * 2.0 - 1.0;
        const double distance = 1.7 * focal / -ndcY;
        const double expected = 255.0 * std::exp(-0.15 * distance);
        const unsigned char* p = at(px, kW / 2, y);
        EXPECT_NEAR(p[0], expected, 6.0) << "row " << y << " at distance " << distance;
        EXPECT_EQ(p[0], p[2]) << "fogged towards black, grey stays grey";
        ++checked;
    }
    EXPECT_GT(at(px, kW / 2, 2)[0], 100) << "the floor near the viewer is lit, not black";
    EXPECT_EQ(checked, 5);
}

TEST_F(FragmentFog, UntexturedDrawsKeepTheirColourAndZeroDensityIsUnfogged)
{
    glFogf(GL_FOG_DENSITY, 0);
    glColor4f(0, 0, 1, 0.4f);
    const float far[4][3] = {{-40, -40, -50}, {40, -40, -50}, {40, 40, -50}, {-40, 40, -50}};
    quad(far);
    const std::vector<unsigned char> px = read();
    const unsigned char* p = at(px, kW / 2, kH / 2);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[2], 255) << "texture 0 reads white, so the ring's plain blue shows";
}

TEST_F(FragmentFog, BlendedDrawsKeepTheirAlpha)
{
    // A quarter-alpha white wall 10 units away over a blue background: the fog darkens its
    // colour to exp(-0.5) and leaves its alpha, so a quarter of that covers the blue.
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glFogf(GL_FOG_DENSITY, 0.05f);
    glColor4f(1, 1, 1, 0.25f);
    const float wall[4][3] = {{-40, -40, -10}, {40, -40, -10}, {40, 40, -10}, {-40, 40, -10}};
    quad(wall);
    const std::vector<unsigned char> px = read();
    const unsigned char* p = at(px, kW / 2, kH / 2);
    const double fogged = 255.0 * std::exp(-0.5);
    EXPECT_NEAR(p[0], 0.25 * fogged, 3.0) << "red: a quarter of the fogged white";
    EXPECT_NEAR(p[2], 0.25 * fogged + 0.75 * 255.0, 3.0) << "blue: three quarters of the background show";
}

TEST_F(FragmentFog, DensityIsReadFromStateEachDraw)
{
    glColor4f(1, 1, 1, 1);
    const float wall[4][3] = {{-40, -40, -10}, {40, -40, -10}, {40, 40, -10}, {-40, 40, -10}};
    glFogf(GL_FOG_DENSITY, 0.05f);
    quad(wall);
    const int thin = at(read(), kW / 2, kH / 2)[0];
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFogf(GL_FOG_DENSITY, 0.15f);
    quad(wall);
    const int thick = at(read(), kW / 2, kH / 2)[0];
    EXPECT_NEAR(thin, 255.0 * std::exp(-0.5), 3.0);
    EXPECT_NEAR(thick, 255.0 * std::exp(-1.5), 3.0);
}

} // namespace
