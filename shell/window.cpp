// SPDX-License-Identifier: MIT
// shell/window.cpp — window, context and event handling over SDL2. The steps of window
// creation and teardown keep their order and their messages; where SDL folds two of them
// into one call (device context and pixel format come with the window), the message of the
// step that can fail is kept.
#include "shell/window.h"

#include <SDL.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "engine/present.h"
#include "engine/projection.h"
#include "engine/startup.h"
#include "engine/gl.h"
#include "platform/platform.h"
#include "shell/warmup.h"

bool fullscreen = true;
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
    // Closing the box is neither button: the question's default (the fullscreen question
    // leaves fullscreen on for any answer but No; the fallback closes for any but Yes).
    return answer == -1 ? defaultAnswer : answer == 1;
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

// Keys are taken as SDL queues them, not when the main loop reaches them: a key press is
// seen by the next frame however many events wait before it.
int SDLCALL watchKeys(void*, SDL_Event* event)
{
    if (event->type == SDL_KEYDOWN || event->type == SDL_KEYUP) {
        const int vk = virtualKeyFor(event->key.keysym.sym);
        if (vk) {
            keyEvent(vk, event->type == SDL_KEYDOWN);
        }
    }
    return 1;
}

void watchInput()
{
    static bool watching = false;
    if (std::exchange(watching, true))
        return;
    SDL_AddEventWatch(watchKeys, nullptr);
    // The demo never uses pointer motion; queued, a moving mouse would bury everything else.
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    SDL_EventState(SDL_FINGERMOTION, SDL_IGNORE);
}

// While the question is up, on its own thread, this thread makes the window (hidden), its
// context, the textures and the render state, and a worker decodes the pictures and reads
// the song: the answer then only shows the window and starts the music. All window system
// and GL work stays on this thread. This work and the worker start once the question box
// is up: SDL shows the box from a child process, and a fork while a thread is inside the
// allocator, Xlib or the GL driver could leave the child waiting on a lock forever.
struct Question {
    std::mutex mutex;
    std::condition_variable changed;
    bool forked = false; // the box's process exists
    bool answered = false;
    bool yes = true;
};
Question* gQuestion = nullptr;

void questionForked()
{
    if (Question* q = gQuestion) {
        std::lock_guard lock(q->mutex);
        q->forked = true;
        q->changed.notify_all();
    }
}

bool gWindowPrepared = false; // the hidden window, context and render state are made

// Steps 2 and 6 to 14 of window creation on a hidden, windowed window, on this thread; the
// context is left current. Returns the message of the step that failed, or nullptr.
const char* makeHiddenWindow(const char* title, int width, int height, int bits)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL video: %s\n", SDL_GetError());
        return "Failed To Register The Window Class.";
    }
    videoInitialised = true;
    if (!hasDisplay()) {
        std::fprintf(stderr, "SDL video: no display to show a window on\n");
        return "Failed To Register The Window Class.";
    }

    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);

    // High-DPI aware: the drawable is the screen's physical pixels, which native resolution fills.
    hWnd = SDL_CreateWindow(title, 0, 0, width, height,
                            SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!hWnd) {
        std::fprintf(stderr, "SDL window: %s\n", SDL_GetError());
        return "Window Creation Error.";
    }
    hRC = SDL_GL_CreateContext(hWnd);
    if (!hRC) {
        std::fprintf(stderr, "SDL GL context: %s\n", SDL_GetError());
        return "Can't Create A GL Rendering Context.";
    }
    int depthBits = 0, doubleBuffered = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depthBits);
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffered);
    if (depthBits < 16 || !doubleBuffered)
        return "Can't Find A Suitable PixelFormat.";
    if (SDL_GL_MakeCurrent(hWnd, hRC) != 0)
        return "Can't Activate The GL Rendering Context.";
    setGlProcLoader([](const char* name) { return SDL_GL_GetProcAddress(name); });

    // The scenes draw into an off-screen target sized by the render settings; without
    // framebuffer objects they draw to the window directly, as they were written to.
    int drawableWidth = width, drawableHeight = height;
    SDL_GL_GetDrawableSize(hWnd, &drawableWidth, &drawableHeight);
    if (!createWindowFrameTarget(drawableWidth, drawableHeight))
        std::fprintf(stderr, "rinta: no framebuffer objects; the picture will not scale with the window\n");

    resizeGLScene(45, targetWidth, targetHeight);
    prepareGL();
    if (frameTargetActive()) {
        warmUpDrawing();
        // The first presentation sets up the blit and the window's buffers; the window is
        // hidden, so nothing of it is seen.
        presentFrameTarget(width, height);
        SDL_GL_SwapWindow(hWnd);
    }
    return nullptr;
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
    watchInput();

    static bool forkWatched = false;
    if (!std::exchange(forkWatched, true))
        pthread_atfork(nullptr, questionForked, nullptr);
    Question question;
    gQuestion = &question;
    questionShownAt = std::chrono::system_clock::now();
    std::thread asking;
    {
        // The box's process is forked while this thread waits and no other thread of ours
        // runs: a thread inside the allocator, Xlib or the GL driver at the fork would leave
        // the child waiting forever on a lock nobody there holds. This thread keeps the lock
        // until it waits, and the question's thread takes it before it asks.
        std::unique_lock lock(question.mutex);
        asking = std::thread([&question] {
            { std::lock_guard ready(question.mutex); }
            // Only a No answer runs windowed; a question that cannot be shown leaves fullscreen on.
            const bool yes = askYesNo("Would You Like To Run In Fullscreen Mode?", "Start FullScreen?",
                                      MessageIcon::Question, true);
            SDL_TLSCleanup(); // SDL's storage for this thread (its error text) goes with it
            std::lock_guard answered(question.mutex);
            questionAnsweredAt = std::chrono::system_clock::now();
            question.answered = true;
            question.yes = yes;
            question.changed.notify_all();
        });
        // Bounded, in case a question box someday comes without a process of its own.
        question.changed.wait_for(lock, std::chrono::seconds(10), [&] { return question.forked || question.answered; });
    }
    std::thread data(prepareStartupData); // no window system there
    const char* failure = makeHiddenWindow("rinta", width, height, bits);
    asking.join();
    data.join();
    gQuestion = nullptr;
    if (failure) {
        failCreation(failure);
        return false;
    }
    gWindowPrepared = true;
    if (!question.yes)
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
    watchInput();

    // Made while the question was up, or now.
    if (!std::exchange(gWindowPrepared, false)) {
        if (const char* failure = makeHiddenWindow(title, width, height, bits)) {
            failCreation(failure);
            return false;
        }
    }
    SDL_GL_SetSwapInterval(0); // pacing stays the scenes' own sleeps

    // Fullscreen covers the desktop at its own resolution: the display never changes mode,
    // and the picture is drawn at it or scaled to fit. At the desktop's size and place too, so
    // it covers the screen even where no window manager acts on the fullscreen request.
    if (fullscreen) {
        SDL_Rect desktop = {0, 0, width, height};
        SDL_GetDisplayBounds(0, &desktop);
        SDL_SetWindowBordered(hWnd, SDL_FALSE);
        SDL_SetWindowPosition(hWnd, desktop.x, desktop.y);
        SDL_SetWindowSize(hWnd, desktop.w, desktop.h);
    }
    SDL_ShowWindow(hWnd);
    // Asked of the shown window: on a hidden one SDL only notes the wish and makes the switch
    // when showing it, where a failure goes unreported and the fallback question never comes.
    if (fullscreen && SDL_SetWindowFullscreen(hWnd, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        std::fprintf(stderr, "SDL fullscreen: %s\n", SDL_GetError());
        SDL_HideWindow(hWnd); // the question comes alone, as when no window was shown yet
        if (!askYesNo("The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
                      "Instead?",
                      "Vantor GL", MessageIcon::Exclamation, false)) {
            showMessage("Program Will Now Close.", kErrorCaption, MessageIcon::Stop);
            killGLWindow();
            return false;
        }
        fullscreen = false;
        SDL_SetWindowBordered(hWnd, SDL_TRUE);
        SDL_SetWindowSize(hWnd, width, height);
        SDL_SetWindowPosition(hWnd, 0, 0);
        SDL_ShowWindow(hWnd);
    }
    if (fullscreen)
        SDL_ShowCursor(SDL_DISABLE);
    SDL_RaiseWindow(hWnd);
    SDL_DisableScreenSaver();
    // The target was made for the hidden window: at native resolution it takes the shown
    // window's size before the first frame.
    int drawableWidth = width, drawableHeight = height;
    SDL_GL_GetDrawableSize(hWnd, &drawableWidth, &drawableHeight);
    fitFrameTargetToWindow(drawableWidth, drawableHeight);

    if (!initGL()) { // the render state is set already: this starts the music
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
    // SDL reads the window system again only once its own queue is used up; read it now, so
    // the key watch sees a key that waits behind a burst of others within the frame.
    SDL_PumpEvents();
    SDL_Event event;
    if (!SDL_PollEvent(&event))
        return true;
    switch (event.type) {
    case SDL_QUIT: // closing the window ends the loop with 0
        exitCode = 0;
        return false;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        break; // taken by the key watch when SDL queued it
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
