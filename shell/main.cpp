// shell/main.cpp — the entry: the fullscreen question, the window, the main loop and the
// releases. Each loop iteration takes at most one event, then always renders and presents.
#include <SDL.h>

#include "engine/music.h"
#include "engine/startup.h"
#include "engine/timeline.h"
#include "platform/platform.h"
#include "shell/window.h"

int main(int, char**)
{
    if (!askFullscreenAndCreate(640, 480, 32))
        return 0;
    setTimelineShutdown(killGLWindow); // the order-32 ending releases the window too

    bool running = true;
    int exitCode = 0;
    while (running) {
        if (!pumpOneEvent(exitCode))
            running = false;
        if (keys[kVkEscape])
            running = false;
        handleSceneKeys();
        presentFrame();
    }

    FMUSIC_FreeSong(song);
    FSOUND_Close();
    killGLWindow();
    SDL_Quit();
    // Esc and close are normal ends: the code is 0, not the last key's number.
    return exitCode;
}
