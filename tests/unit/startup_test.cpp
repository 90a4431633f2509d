// SPDX-License-Identifier: MIT
// Start-up: initGL's order over the recording GL and the scripted player, in one log, the
// pictures decoded ahead on the data thread, and resizeGLScene's guard for a window with no
// height.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/projection.h"
#include "engine/startup.h"
#include "engine/textures.h"
#include "tests/support/call_log.h"
#include "tests/support/fake_music.h"
#include "tests/support/recording_gl.h"

namespace {

namespace fs = std::filesystem;
using recgl::call;

TEST(StartUp, MusicStartsOnlyAfterTheTexturesAndTheRenderState)
{
    recgl::reset();
    fakemusic::reset();
    fakemusic::onCall([](const std::string& c) { recgl::note(c); });
    const fs::path before = fs::current_path();
    fs::current_path(fs::path(RINTA_DATA_DIR).parent_path()); // the program reads data/ from here
    ::testing::internal::CaptureStderr(); // the fog program's notice: this GL offers none
    EXPECT_TRUE(initGL());
    ::testing::internal::GetCapturedStderr();
    fs::current_path(before);
    fakemusic::reset();

    // Every picture is uploaded first: nothing else comes between the uploads.
    const std::vector<recgl::Call>& log = recgl::calls();
    const size_t stateStart = recgl::find("glEnable");
    ASSERT_NE(stateStart, SIZE_MAX);
    size_t uploads = 0;
    for (size_t i = 0; i < stateStart; ++i) {
        const std::string& name = log[i].name;
        ASSERT_TRUE(name == "glGenTextures" || name == "glBindTexture" || name == "glTexParameteri" ||
                    name == "glPixelStorei" || name == "glTexImage2D")
            << "call " << i << " before the render state: " << recgl::format(log[i]);
        uploads += name == "glTexImage2D" && log[i].args[1] == 0;
    }
    EXPECT_EQ(uploads, 18u) << "every picture is loaded before anything else is set";

    // Then the render state, and the music last: nothing is heard before the pictures are ready.
    const std::vector<recgl::Call> rest = {
        call("glEnable", {GL_TEXTURE_2D}),
        call("glShadeModel", {GL_SMOOTH}),
        call("glClearColor", {0, 0, 0, 0.5f}),
        call("glClearDepth", {1}),
        call("glEnable", {GL_DEPTH_TEST}),
        call("glDepthFunc", {GL_LEQUAL}),
        call("glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}),
        call("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}),
        call("glFogi", {GL_FOG_MODE, GL_EXP}),
        call("glFogfv", {GL_FOG_COLOR, 0, 0, 0, 1}),
        call("glFogf", {GL_FOG_DENSITY, 0.15f}),
        call("glHint", {GL_FOG_HINT, GL_DONT_CARE}),
        call("glFogf", {GL_FOG_START, 1}),
        call("glFogf", {GL_FOG_END, 5}),
        call("glEnable", {GL_FOG}),
        call("glTexEnvi", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE}),
        call("FSOUND_Init(44100, 32, 0)"),
        call("FMUSIC_LoadSong(data/sorvan.it)"),
        call("FMUSIC_PlaySong"),
    };
    EXPECT_TRUE(recgl::sameCalls(rest, stateStart));
}

TEST(StartUp, TheDataFilesAreReadFromTheDataDirectoryWhateverTheWorkingDirectory)
{
    recgl::reset();
    fakemusic::reset();
    std::vector<std::string> songs;
    fakemusic::onCall([&songs](const std::string& c) {
        if (c.rfind("FMUSIC_LoadSong", 0) == 0)
            songs.push_back(c);
    });
    setDataDirectory(RINTA_DATA_DIR); // the working directory has no data/
    EXPECT_EQ(std::string(textureSlotFile(0)), std::string(RINTA_DATA_DIR) + "/tarvel.jpg");
    EXPECT_EQ(textureSlotFile(6), nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(initGL());
    const std::string said = ::testing::internal::GetCapturedStderr();
    setDataDirectory("data");
    fakemusic::reset();
    EXPECT_EQ(songs, (std::vector<std::string>{"FMUSIC_LoadSong(" RINTA_DATA_DIR "/sorvan.it)"}));
    size_t uploads = 0;
    for (const recgl::Call& c : recgl::calls())
        uploads += c.name == "glTexImage2D" && c.args[1] == 0;
    EXPECT_EQ(uploads, 18u) << "every picture was found: " << said;
    EXPECT_EQ(said.find("not loaded"), std::string::npos) << said;
    EXPECT_EQ(std::string(textureSlotFile(0)), "data/tarvel.jpg") << "the default is data/ where the program runs";
}

// Who decoded what, told by the loader's hook from either thread; and two gates a test opens.
struct PictureLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, int> decodes;
    std::map<std::string, std::thread::id> decodedOn;
    std::set<std::string> waitedFor; // pictures the loader waited for
    bool songMayBeRead = true; // the data thread's song read is held while false
    std::string holdDecodeOf;  // the data thread holds this picture's decode until the loader waits

    // Waits until ready() holds; bounded, so that a fault fails rather than hangs, and long,
    // so that a slow machine (or a sanitizer) does not open a gate early.
    template <class Pred> bool await(std::unique_lock<std::mutex>& lock, Pred ready)
    {
        return changed.wait_for(lock, std::chrono::seconds(300), ready);
    }
};
PictureLog* gPictures = nullptr;

void notePictureEvent(PictureEvent event, const char* path)
{
    std::unique_lock lock(gPictures->mutex);
    if (event == PictureEvent::Wait) {
        gPictures->waitedFor.insert(path);
        gPictures->changed.notify_all();
        return;
    }
    ++gPictures->decodes[path];
    gPictures->decodedOn[path] = std::this_thread::get_id();
    gPictures->changed.notify_all();
    if (gPictures->holdDecodeOf == path)
        gPictures->await(lock, [] { return gPictures->waitedFor.count(gPictures->holdDecodeOf) != 0; });
}

class PicturesAhead : public ::testing::Test {
protected:
    void SetUp() override
    {
        recgl::reset();
        fakemusic::reset();
        dropPicturesDecodedAhead(); // no earlier test's loads or prefetches
        gPictures = &log_;
        setPictureEventHook(notePictureEvent);
        setDataDirectory(RINTA_DATA_DIR);
    }
    void TearDown() override
    {
        setDataDirectory("data");
        setPictureEventHook(nullptr);
        gPictures = nullptr;
        fakemusic::reset();
    }
    // Every slot's picture decoded exactly once, and nothing decoded left held.
    void expectOneDecodeEach()
    {
        EXPECT_EQ(pictureBytesDecodedAhead(), 0u) << "decoded pictures are left held after the upload";
        std::lock_guard lock(log_.mutex);
        int pictures = 0;
        for (int slot = 0; slot < kTextureSlots; ++slot)
            if (const char* file = textureSlotFile(slot)) {
                ++pictures;
                EXPECT_EQ(log_.decodes[file], 1) << file;
            }
        EXPECT_EQ(log_.decodes.size(), size_t(pictures)) << "only the slots' pictures are decoded";
        size_t uploads = 0;
        for (const recgl::Call& c : recgl::calls())
            uploads += c.name == "glTexImage2D" && c.args[1] == 0;
        EXPECT_EQ(uploads, size_t(pictures));
    }

    PictureLog log_;
};

// The data thread is held in its song read until the main thread has loaded every picture:
// the loader decodes them all itself, and the data thread, arriving late, decodes none.
TEST_F(PicturesAhead, TheLoaderArrivingFirstDecodesEachPictureOnceAndNothingIsLeftHeld)
{
    log_.songMayBeRead = false;
    fakemusic::onCall([this](const std::string& call) {
        if (call.rfind("loadSongAhead(", 0) != 0)
            return;
        std::unique_lock lock(log_.mutex);
        EXPECT_TRUE(log_.await(lock, [this] { return log_.songMayBeRead; })) << "the song read was let go early";
    });
    std::thread data(prepareStartupData);
    loadTextures();
    {
        std::lock_guard lock(log_.mutex);
        log_.songMayBeRead = true;
        log_.changed.notify_all();
    }
    data.join();
    expectOneDecodeEach();
    std::lock_guard lock(log_.mutex);
    for (const auto& [file, thread] : log_.decodedOn)
        EXPECT_EQ(thread, std::this_thread::get_id()) << file << " was decoded on the data thread too late to be used";
}

// The loader reaches the first picture while the data thread is decoding it: it waits for
// that decode and takes it, rather than decoding the picture a second time.
TEST_F(PicturesAhead, TheLoaderWaitsForAPictureBeingDecodedAhead)
{
    const std::string first = textureSlotFile(0);
    log_.holdDecodeOf = first;
    std::thread data(prepareStartupData);
    {
        std::unique_lock lock(log_.mutex);
        ASSERT_TRUE(log_.await(lock, [&] { return log_.decodes.count(first) != 0; })) << "the data thread never began";
    }
    loadTextures();
    data.join();
    expectOneDecodeEach();
    std::lock_guard lock(log_.mutex);
    EXPECT_EQ(log_.waitedFor.count(first), 1u) << "the loader did not wait for the picture being decoded";
    EXPECT_NE(log_.decodedOn[first], std::this_thread::get_id());
}

// The usual order: the data thread has decoded everything before the loader asks.
TEST_F(PicturesAhead, PicturesDecodedAheadAreTakenNotDecodedAgain)
{
    prepareStartupData();
    EXPECT_GT(pictureBytesDecodedAhead(), 0u);
    loadTextures();
    expectOneDecodeEach();
}

// A page has one thread and must stay live while it prepares: the same preparation in steps,
// each reading the song, decoding one picture or uploading one, or setting the render state,
// makes the same GL calls as preparing at once, and leaves initGL only the music.
TEST_F(PicturesAhead, PreparedInStepsAsAtOnceOnePictureAStep)
{
    fakemusic::onCall([](const std::string& c) { recgl::note(c); });
    ::testing::internal::CaptureStderr(); // the fog program's notice: this GL offers none
    prepareStartupData();
    prepareGL();
    const std::string atOnce = recgl::format(recgl::calls());
    EXPECT_TRUE(initGL());
    recgl::reset();
    dropPicturesDecodedAhead();
    {
        std::lock_guard lock(log_.mutex);
        log_.decodes.clear();
    }

    const auto decodes = [this] {
        std::lock_guard lock(log_.mutex);
        int n = 0;
        for (const auto& [file, count] : log_.decodes)
            n += count;
        return n;
    };
    std::string firstStep;
    int steps = 0;
    for (int step = 0;; ++steps) {
        ASSERT_LT(steps, 100) << "the steps do not end";
        const size_t callsBefore = recgl::calls().size();
        const int decodesBefore = decodes();
        const int next = prepareStep(step);
        size_t uploads = 0;
        for (size_t i = callsBefore; i < recgl::calls().size(); ++i)
            uploads += recgl::calls()[i].name == "glTexImage2D" && recgl::calls()[i].args[1] == 0;
        EXPECT_LE(uploads + size_t(decodes() - decodesBefore), 1u) << "step " << step << " does more than one picture";
        if (step == 0)
            firstStep = recgl::format(recgl::calls(), callsBefore);
        if (next == 0)
            break;
        ASSERT_GT(next, step) << "a step goes back";
        step = next;
    }
    EXPECT_EQ(recgl::format(recgl::calls()), atOnce) << "in steps, the GL calls differ from preparing at once";
    EXPECT_NE(firstStep.find("loadSongAhead(" RINTA_DATA_DIR "/sorvan.it)"), std::string::npos)
        << "the first step reads the song: " << firstStep;
    expectOneDecodeEach();

    // What is left to initGL is the music.
    const size_t before = recgl::calls().size();
    EXPECT_TRUE(initGL());
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(recgl::sameCalls({call("FSOUND_Init(44100, 32, 0)"), call("FMUSIC_LoadSong(" RINTA_DATA_DIR "/sorvan.it)"),
                                  call("FMUSIC_PlaySong")},
                                 before));
}

TEST(ResizeGlScene, NoHeightGivesAOnePixelViewportAndAFiniteProjection)
{
    recgl::reset();
    resizeGLScene(45, 640, 0); // a minimised window
    const recgl::State& s = recgl::state();
    EXPECT_EQ(s.viewport[2], 640);
    EXPECT_EQ(s.viewport[3], 1);
    const recgl::Call& perspective = recgl::calls()[recgl::find("gluPerspective")];
    EXPECT_EQ(perspective.args[1], 640.0) << "aspect of a 640 x 1 viewport";
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(s.projection[i])) << "projection element " << i;
    EXPECT_GT(s.projection[0], 0.0) << "the x scale is not flattened to nothing";
}

} // namespace
