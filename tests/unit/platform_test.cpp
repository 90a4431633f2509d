// SPDX-License-Identifier: MIT
// The platform layer's extension-list lookup, shared by the fog set-up (GL) and the headless
// context (EGL).
#include <gtest/gtest.h>

#include "platform/platform.h"

TEST(ExtensionList, FindsWholeEntriesAnywhereInTheList)
{
    const char* list = "GL_ARB_multitexture GL_ARB_fragment_program GL_EXT_fog_coord";
    EXPECT_TRUE(hasExtension(list, "GL_ARB_multitexture"));    // first
    EXPECT_TRUE(hasExtension(list, "GL_ARB_fragment_program")); // between spaces
    EXPECT_TRUE(hasExtension(list, "GL_EXT_fog_coord"));        // last, no trailing space
    EXPECT_TRUE(hasExtension("EGL_MESA_platform_surfaceless", "EGL_MESA_platform_surfaceless"));
}

TEST(ExtensionList, PrefixesSuffixesAndEmptyInputsFindNothing)
{
    // The name first appears inside a longer entry; the whole entry comes later.
    EXPECT_TRUE(hasExtension("GL_ARB_fragment_program_shadow GL_ARB_fragment_program", "GL_ARB_fragment_program"));
    EXPECT_FALSE(hasExtension("GL_ARB_fragment_program_shadow", "GL_ARB_fragment_program"));
    EXPECT_FALSE(hasExtension("GL_NV_fragment_program GL_X", "fragment_program"));
    EXPECT_FALSE(hasExtension("GL_ARB_fragment", "GL_ARB_fragment_program"));
    EXPECT_FALSE(hasExtension(nullptr, "GL_ARB_fragment_program")); // no context: glGetString gives null
    EXPECT_FALSE(hasExtension("", "GL_ARB_fragment_program"));
    EXPECT_FALSE(hasExtension("GL_A GL_B", "")); // used to spin forever on the first match
    EXPECT_FALSE(hasExtension("GL_A  GL_B", ""));
}
