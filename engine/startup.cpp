// SPDX-License-Identifier: MIT
// engine/startup.cpp — initGL: textures, the render state every scene starts from, music.
#include "engine/startup.h"

#include "engine/fog.h"
#include "engine/textures.h"

#include <utility>

GLuint TextureTable[kTextureSlots] = {};
const GLfloat FogColour[4] = {0, 0, 0, 1};
FMUSIC_MODULE* song = nullptr;

namespace {
const char* const kSlotFiles[kTextureSlots] = {
    "data/tarvel.jpg", "data/made.jpg",  "data/world.jpg",  "data/style.jpg", "data/lomb.jpg",
    "data/tex3.jpg",   nullptr,          "data/gate.jpg",   "data/shade.jpg", "data/shot.jpg",
    "data/tex2.jpg",   "data/greets.jpg", nullptr,          "data/olvek.jpg", "data/rinta.jpg",
    "data/pasko.jpg",  "data/mirel.jpg", "data/fenro.jpg",  "data/end.jpg",   "data/tex4.jpg",
};
} // namespace

const char* textureSlotFile(int slot) { return slot >= 0 && slot < kTextureSlots ? kSlotFiles[slot] : nullptr; }

void loadTextures()
{
    JpegTextureLoader loader; // one object for every file; destroyed on any way out
    loader.setDebugMode(true);
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        if (!kSlotFiles[slot])
            continue; // slots 6 and 12 stay 0
        loader.loadFromFile(kSlotFiles[slot]);
        TextureTable[slot] = loader.bindAsTexture();
    }
}

namespace {
constexpr const char* kSongFile = "data/sorvan.it";
bool gPreparedAhead = false; // prepareGL ran and initGL has not yet run after it

void setUpRenderState()
{
    loadTextures();
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
} // namespace

void prepareStartupData()
{
    loadSongAhead(kSongFile);
    decodePicturesAhead(kSlotFiles, kTextureSlots);
}

void prepareGL()
{
    setUpRenderState();
    gPreparedAhead = true;
}

bool initGL()
{
    if (!std::exchange(gPreparedAhead, false))
        setUpRenderState();
    FSOUND_Init(44100, 32, 0);
    song = FMUSIC_LoadSong(kSongFile);
    FMUSIC_PlaySong(song);
    return true;
}
