// SPDX-License-Identifier: MIT
// The platform layer's extension-list lookup, shared by the fog set-up (GL) and the headless
// context (EGL); the signals that end the program and the children that end with it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

// Death tests fork: each runs in a copy of this process, which the signals then end.
class EndSignals : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "fast"); }
};

bool gone(pid_t pid)
{
    if (kill(pid, 0) != 0)
        return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field, state;
    stat >> field >> field >> state; // pid, (name), state: a zombie is gone too
    return state == "Z";
}

} // namespace

TEST_F(EndSignals, BeforeTheLoopASignalEndsAtOnceWithItsCode)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        EXPECT_EXIT(
            {
                catchEndSignals();
                raise(signal);
                std::this_thread::sleep_for(std::chrono::seconds(5)); // not reached: ended in the handler
                _exit(0);
            },
            ::testing::ExitedWithCode(128 + signal), "")
            << "signal " << signal;
}

TEST_F(EndSignals, InTheLoopTheFirstSignalIsOnlyRecordedAndASecondEndsAtOnce)
{
    EXPECT_EXIT(
        {
            catchEndSignals();
            endSignalsStopLoop(true);
            raise(SIGINT);
            if (endSignalReceived() != SIGINT) // the loop reads this and shuts down as after Esc
                _exit(1);
            raise(SIGTERM); // shutting down hangs: a second signal is not ignored
            _exit(2);
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "");
}

TEST_F(EndSignals, ASignalIgnoredAtStartStaysIgnored)
{
    // nohup, or a background job of a shell without job control: the user chose.
    EXPECT_EXIT(
        {
            signal(SIGHUP, SIG_IGN);
            catchEndSignals();
            raise(SIGHUP);
            _exit(endSignalReceived() == 0 ? 7 : 1);
        },
        ::testing::ExitedWithCode(7), "");
}

TEST(ChildrenDieWithProcess, AForkedChildIsKilledWhenItsParentIsKilled)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        childrenDieWithProcess();
        const pid_t child = fork();
        if (child == 0) {
            for (;;)
                pause();
        }
        if (write(pipeFds[1], &child, sizeof child) != sizeof child)
            _exit(1);
        for (;;)
            pause();
    }
    close(pipeFds[1]);
    pid_t child = 0;
    ASSERT_EQ(read(pipeFds[0], &child, sizeof child), ssize_t(sizeof child));
    close(pipeFds[0]);
    ASSERT_FALSE(gone(child)) << "the child did not start";
    kill(parent, SIGKILL); // no handler, no clean-up: only the kernel can end the child now
    waitpid(parent, nullptr, 0);
    bool ended = false;
    for (int i = 0; i < 500 && !ended; ++i) {
        ended = gone(child);
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(ended) << "the child outlived its parent";
    if (!ended)
        kill(child, SIGKILL);
}
