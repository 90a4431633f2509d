// SPDX-License-Identifier: MIT
// engine/startup.cpp — initGL: textures, the render state every scene starts from, music.
#include "engine/startup.h"

#include "engine/data_files.h" // generated from engine/data_files.txt
#include "engine/fog.h"
#include "engine/textures.h"

#include <iterator>
#include <memory>
#include <utility>

GLuint TextureTable[kTextureSlots] = {};
const GLfloat FogColour[4] = {0, 0, 0, 1};
FMUSIC_MODULE* song = nullptr;

static_assert(std::size(kDataPictureNames) <= kTextureSlots, "engine/data_files.txt names a slot the table lacks");

namespace {

// The data files' paths in the chosen directory; set before any thread reads them.
struct DataFiles {
    std::string dir;
    std::string paths[kTextureSlots];   // empty for a slot left empty
    const char* files[kTextureSlots] = {}; // the paths as C strings, nullptr where empty

    DataFiles() { place("data"); }
    void place(const std::string& directory)
    {
        dir = directory.empty() ? "." : directory;
        for (int slot = 0; slot < kTextureSlots; ++slot) {
            const char* name = slot < int(std::size(kDataPictureNames)) ? kDataPictureNames[slot] : nullptr;
            paths[slot] = name ? dir + "/" + name : std::string();
            files[slot] = name ? paths[slot].c_str() : nullptr;
        }
    }
} data;

} // namespace

void setDataDirectory(const std::string& dir) { data.place(dir); }
const std::string& dataDirectory() { return data.dir; }
std::string songFilePath() { return data.dir + "/" + kDataSongName; }

const char* textureSlotFile(int slot) { return slot >= 0 && slot < kTextureSlots ? data.files[slot] : nullptr; }

namespace {
void loadTextureSlot(JpegTextureLoader& loader, int slot)
{
    if (!textureSlotFile(slot))
        return; // slots 6 and 12 stay 0
    loader.loadFromFile(textureSlotFile(slot));
    TextureTable[slot] = loader.bindAsTexture();
}
} // namespace

void loadTextures()
{
    JpegTextureLoader loader; // one object for every file; destroyed on any way out
    loader.setDebugMode(true);
    for (int slot = 0; slot < kTextureSlots; ++slot)
        loadTextureSlot(loader, slot);
}

namespace {
bool gPreparedAhead = false; // prepareGL ran and initGL has not yet run after it
std::unique_ptr<JpegTextureLoader> gStepLoader; // loadTextures' one loader, across prepareStep

void setRenderState()
{
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); // blending itself stays off
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogfv(GL_FOG_COLOR, FogColour);
    glFogf(GL_FOG_DENSITY, 0.15f);
    glHint(GL_FOG_HINT, GL_DONT_CARE);
    glFogf(GL_FOG_START, 1.0f);
    glFogf(GL_FOG_END, 5.0f);
    glEnable(GL_FOG);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    setupFragmentFog(); // fog by each fragment's distance, as GL defines it
}

void setUpRenderState()
{
    loadTextures();
    setRenderState();
}
} // namespace

void prepareStartupData()
{
    loadSongAhead(songFilePath().c_str());
    decodePicturesAhead(data.files, kTextureSlots);
}

void prepareGL()
{
    setUpRenderState();
    gPreparedAhead = true;
}

int prepareStep(int step)
{
    constexpr int kDecode = 1, kUpload = kDecode + kTextureSlots, kState = kUpload + kTextureSlots;
    if (step < kDecode) {
        loadSongAhead(songFilePath().c_str());
        return kDecode;
    }
    if (step < kUpload) {
        if (const char* file = textureSlotFile(step - kDecode))
            decodePicturesAhead(&file, 1);
        return step + 1;
    }
    if (step < kState) {
        const int slot = step - kUpload;
        if (!gStepLoader) {
            gStepLoader = std::make_unique<JpegTextureLoader>();
            gStepLoader->setDebugMode(true);
        }
        loadTextureSlot(*gStepLoader, slot);
        if (slot == kTextureSlots - 1)
            gStepLoader.reset();
        return step + 1;
    }
    setRenderState();
    gPreparedAhead = true;
    return 0;
}

bool initGL()
{
    if (!std::exchange(gPreparedAhead, false))
        setUpRenderState();
    FSOUND_Init(kMixRate, 32, 0);
    song = FMUSIC_LoadSong(songFilePath().c_str());
    FMUSIC_PlaySong(song);
    return true;
}
