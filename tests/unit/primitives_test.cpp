// SPDX-License-Identifier: MIT
// The primitives every scene shares: the oscillator and the title strip.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/primitives.h"
#include "engine/startup.h"
#include "tests/support/recording_gl.h"

TEST(Oscillate, PhaseZeroIsTheOffsetAndSixtyFourTheCrest)
{
    const double cases[][2] = {{1, 0}, {2.5, 1.25}, {-90, 45}, {0.3, -7}, {1000, 0.125}};
    for (const auto& [a, b] : cases) {
        EXPECT_EQ(oscillate(0, a, b), float(b)) << "a " << a << " b " << b;
        EXPECT_NEAR(oscillate(64, a, b), a + b, 1e-6) << "a " << a << " b " << b;
    }
}

TEST(Oscillate, UsesTheStatedScaleNotTwoPiOver256)
{
    // After a thousand turns the difference from 2 pi / 256 has grown to 1.9e-4 radians:
    // with the stated scale sin is -1.8718e-4, with 2 pi / 256 it would be about 0.
    EXPECT_NEAR(oscillate(256000, 1000, 0), -0.18717958, 1e-6);
    // A quarter turn back from the crest, and the trough.
    EXPECT_NEAR(oscillate(128, 3, 1), 1.0, 1e-6);
    EXPECT_NEAR(oscillate(192, 3, 1), -2.0, 1e-6);
}

TEST(Oscillate, ResultIsTheDoubleValueRoundedToFloat)
{
    // Formed in double: a float sine of a float product lands on a different float here.
    const double phase = 1.0e6 + 0.3;
    const double exact = std::sin(phase * 0.024543691875) * 7.0 + 2.0;
    EXPECT_EQ(oscillate(phase, 7, 2), static_cast<float>(exact));
    EXPECT_NE(std::sin(static_cast<float>(phase) * 0.024543691875f) * 7.0f + 2.0f, static_cast<float>(exact));
}

TEST(TitleStrip, DrawsTheSlotsTextureOnASevenByPointEightQuad)
{
    for (int slot : {3, 17}) {
        recgl::reset();
        TextureTable[slot] = 40 + slot;
        titleStrip(slot);
        const std::vector<recgl::Call> expected = {
            recgl::call("glBindTexture", {GL_TEXTURE_2D, double(40 + slot)}),
            recgl::call("glColor4f", {1, 1, 1, 0.2f}),
            recgl::call("glBegin", {GL_QUADS}),
            recgl::call("glTexCoord2f", {0, 0}),
            recgl::call("glVertex3f", {-3.5f, -0.4f, 0}),
            recgl::call("glTexCoord2f", {1, 0}),
            recgl::call("glVertex3f", {3.5f, -0.4f, 0}),
            recgl::call("glTexCoord2f", {1, 1}),
            recgl::call("glVertex3f", {3.5f, 0.4f, 0}),
            recgl::call("glTexCoord2f", {0, 1}),
            recgl::call("glVertex3f", {-3.5f, 0.4f, 0}),
            recgl::call("glEnd"),
        };
        EXPECT_EQ(recgl::calls(), expected) << recgl::format(recgl::calls());
        EXPECT_EQ(recgl::state().boundTexture, GLuint(40 + slot));
        TextureTable[slot] = 0;
    }
}
