// shell/window.cpp — window, context and event handling over SDL2. The steps of window
// creation and teardown keep their order and their messages; where SDL folds two of them
// into one call (device context and pixel format come with the window), the message of the
// step that can fail is kept.
#include "shell/window.h"

#include <SDL.h>
#include <cstdio>

#include "engine/present.h"
#include "engine/projection.h"
#include "engine/startup.h"
#include "platform/platform.h"

bool fullscreen = true;
unsigned char keys[256] = {};
std::chrono::system_clock::time_point questionShownAt, questionAnsweredAt;

namespace {

SDL_Window* hWnd = nullptr;       // the demo window
SDL_GLContext hRC = nullptr;      // the context made current on it
bool videoInitialised = false;    // what registering the window class stands for here
const int targetWidth = kSceneWidth, targetHeight = kSceneHeight; // the size the scenes draw at

const char* const kErrorCaption = "ERROR";
const char* const kShutdownCaption = "SHUTDOWN ERROR";

Uint32 boxFlags(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Stop: return SDL_MESSAGEBOX_ERROR;
    case MessageIcon::Exclamation: return SDL_MESSAGEBOX_WARNING;
    default: return SDL_MESSAGEBOX_INFORMATION;
    }
}

// Every message also goes to stderr: with no display there is nowhere else to say it.
void sdlShowMessage(const char* text, const char* caption, MessageIcon icon)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    SDL_ShowSimpleMessageBox(boxFlags(icon), caption, text, hWnd);
}

bool sdlAskYesNo(const char* text, const char* caption, MessageIcon icon, bool defaultAnswer)
{
    // Return answers Yes and Escape answers No, so the question can be answered from the keyboard.
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
    };
    const SDL_MessageBoxData box = {boxFlags(icon), nullptr, caption, text, 2, buttons, nullptr};
    int answer = -1;
    if (SDL_ShowMessageBox(&box, &answer) != 0) {
        std::fprintf(stderr, "%s: %s (no message box: %s)\n", caption, text, SDL_GetError());
        return defaultAnswer;
    }
    return answer == 1;
}

// With no display SDL falls back to drivers that draw nowhere; unless asked for by name,
// that is no display at all.
bool hasDisplay()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver)
        return false;
    const bool nowhere = SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0;
    return !nowhere || SDL_getenv("SDL_VIDEODRIVER") != nullptr;
}

void failCreation(const char* text)
{
    killGLWindow();
    showMessage(text, kErrorCaption, MessageIcon::Exclamation);
}

} // namespace

int virtualKeyFor(int key)
{
    if (key >= 'a' && key <= 'z')
        return key - 'a' + 'A'; // letters as upper case
    if (key >= '0' && key <= '9')
        return key;
    switch (key) {
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_SPACE: return 0x20;
    case SDLK_RETURN: return 0x0D;
    case SDLK_TAB: return 0x09;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_KP_1: case SDLK_KP_2: case SDLK_KP_3: case SDLK_KP_4:
    case SDLK_KP_5: case SDLK_KP_6: case SDLK_KP_7: case SDLK_KP_8:
        return 0x61 + (key - SDLK_KP_1); // the numeric keypad's own codes
    default: return 0;
    }
}

bool askFullscreenAndCreate(int width, int height, int bits)
{
    setMessageHooks(sdlShowMessage, sdlAskYesNo);
    // SDL shows its message boxes through the video driver; without a display this fails
    // and the question falls back to stderr, and window creation reports the failure.
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    // Only a No answer runs windowed; a question that cannot be shown leaves fullscreen on.
    questionShownAt = std::chrono::system_clock::now();
    const bool yes = askYesNo("Would You Like To Run In Fullscreen Mode?", "Start FullScreen?",
                              MessageIcon::Question, true);
    questionAnsweredAt = std::chrono::system_clock::now();
    if (!yes)
        fullscreen = false;
    return createGLWindow("rinta", width, height, bits, fullscreen);
}

bool createWindowUnasked(int width, int height, int bits, bool fullscreenFlag)
{
    setMessageHooks(sdlShowMessage, sdlAskYesNo);
    return createGLWindow("rinta", width, height, bits, fullscreenFlag);
}

bool createGLWindow(const char* title, int width, int height, int bits, bool fullscreenFlag)
{
    fullscreen = fullscreenFlag;

    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL video: %s\n", SDL_GetError());
        showMessage("Failed To Register The Window Class.", kErrorCaption, MessageIcon::Exclamation);
        return false;
    }
    videoInitialised = true;
    if (!hasDisplay()) {
        std::fprintf(stderr, "SDL video: no display to show a window on\n");
        killGLWindow();
        showMessage("Failed To Register The Window Class.", kErrorCaption, MessageIcon::Exclamation);
        return false;
    }

    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);

    // Fullscreen covers the desktop at its own resolution: the display never changes mode,
    // and the picture is drawn at it or scaled to fit. The fallback question stays for when even
    // that cannot be had.
    // High-DPI aware: the drawable is the screen's physical pixels, which native resolution fills.
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (fullscreen) {
        // Created at the desktop's size and place too, so it covers the screen even where no
        // window manager acts on the fullscreen request.
        SDL_Rect desktop = {0, 0, width, height};
        SDL_GetDisplayBounds(0, &desktop);
        hWnd = SDL_CreateWindow(title, desktop.x, desktop.y, desktop.w, desktop.h,
                                flags | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS);
        if (!hWnd) {
            if (askYesNo("The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
                         "Instead?",
                         "Vantor GL", MessageIcon::Exclamation, false)) {
                fullscreen = false;
            } else {
                showMessage("Program Will Now Close.", kErrorCaption, MessageIcon::Stop);
                return false;
            }
        }
    }
    if (!hWnd)
        hWnd = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height, flags);
    if (!hWnd) {
        std::fprintf(stderr, "SDL window: %s\n", SDL_GetError());
        failCreation("Window Creation Error.");
        return false;
    }
    if (fullscreen)
        SDL_ShowCursor(SDL_DISABLE);

    hRC = SDL_GL_CreateContext(hWnd);
    if (!hRC) {
        std::fprintf(stderr, "SDL GL context: %s\n", SDL_GetError());
        failCreation("Can't Create A GL Rendering Context.");
        return false;
    }
    int depthBits = 0, doubleBuffered = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depthBits);
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffered);
    if (depthBits < 16 || !doubleBuffered) {
        failCreation("Can't Find A Suitable PixelFormat.");
        return false;
    }
    if (SDL_GL_MakeCurrent(hWnd, hRC) != 0) {
        failCreation("Can't Activate The GL Rendering Context.");
        return false;
    }
    SDL_GL_SetSwapInterval(0); // pacing stays the scenes' own sleeps
    setGlProcLoader([](const char* name) { return SDL_GL_GetProcAddress(name); });

    // The scenes draw into an off-screen target sized by the render settings; without
    // framebuffer objects they draw to the window directly, as they were written to.
    int drawableWidth = width, drawableHeight = height;
    SDL_GL_GetDrawableSize(hWnd, &drawableWidth, &drawableHeight);
    if (!createWindowFrameTarget(drawableWidth, drawableHeight))
        std::fprintf(stderr, "rinta: no framebuffer objects; the picture will not scale with the window\n");

    SDL_ShowWindow(hWnd);
    SDL_RaiseWindow(hWnd);
    SDL_DisableScreenSaver();

    resizeGLScene(45, targetWidth, targetHeight);
    if (!initGL()) {
        failCreation("Initialization Failed.");
        return false;
    }
    return true;
}

void killGLWindow()
{
    if (fullscreen && hWnd) {
        SDL_SetWindowFullscreen(hWnd, 0); // back to the desktop's own mode
        SDL_ShowCursor(SDL_ENABLE);
    }
    if (hRC) {
        destroyFrameTarget();
        if (SDL_GL_MakeCurrent(hWnd, nullptr) != 0)
            showMessage("Release Of DC And RC Failed.", kShutdownCaption, MessageIcon::Information);
        SDL_GL_DeleteContext(hRC);
        hRC = nullptr;
    }
    if (hWnd) {
        SDL_DestroyWindow(hWnd);
        hWnd = nullptr;
    }
    if (videoInitialised) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoInitialised = false;
    }
}

void presentFrame()
{
    if (!hWnd)
        return;
    if (frameTargetActive()) {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(hWnd, &w, &h);
        presentFrameTarget(w, h);
    }
    SDL_GL_SwapWindow(hWnd);
}

bool pumpOneEvent(int& exitCode)
{
    SDL_Event event;
    if (!SDL_PollEvent(&event))
        return true;
    switch (event.type) {
    case SDL_QUIT: // closing the window ends the loop with 0
        exitCode = 0;
        return false;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const int vk = virtualKeyFor(event.key.keysym.sym);
        if (vk) {
            const bool down = event.type == SDL_KEYDOWN;
            keys[vk] = down ? 1 : 0;
            keyEvent(vk, down);
        }
        break;
    }
    case SDL_WINDOWEVENT:
        // A resize resets the projection as it always has, but for the fixed target: the
        // picture then scales with the window instead of staying 640 x 480 in its corner.
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            if (frameTargetActive())
                resizeGLScene(45, targetWidth, targetHeight);
            else
                resizeGLScene(45, event.window.data1, event.window.data2);
        }
        break;
    default: break;
    }
    return true;
}
