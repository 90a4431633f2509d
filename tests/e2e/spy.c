// SPDX-License-Identifier: MIT
/* tests/e2e/spy.c — preloaded into the program by end-to-end cases (LD_PRELOAD) to see, from
 * outside, the order of what it asks of the system, and to stand in for what Xvfb cannot do.
 * Each call passes through to the real one. Driven by the environment:
 *   RINTA_SPY_LOG=FILE          one line per event, in the order they happened:
 *                               "thread N" (the Nth thread started), "fork threads=N from=T" (a
 *                               fork, after N threads were started, from the main thread or
 *                               another), "create-window", "gl-context",
 *                               "show-window", "fullscreen FLAGS shown|hidden RESULT",
 *                               "audio-open"
 *   RINTA_SPY_FORK_DELAY_MS=N   each fork waits N ms first, as a busy machine might make it:
 *                               whatever does not wait for the fork then comes before it
 *   RINTA_SPY_CONTEXT_DELAY_MS=N making the GL context takes N ms longer, as on a busy machine
 *   RINTA_SPY_NO_FULLSCREEN=1   fullscreen cannot be had: switching a shown window to it fails
 *                               as SDL reports a failed mode switch (a hidden window only
 *                               records the wish, as SDL does, and succeeds) */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

/* SDL's few types and flags this needs, so that it builds without SDL's headers; its other
 * functions are looked up in the program when first needed. */
typedef struct SpyWindow SpyWindow;
enum { kSdlWindowShown = 0x4, kSdlWindowFullscreen = 0x1 };

static int threadsStarted;

static void delayFrom(const char* variable)
{
    const char* delay = getenv(variable);
    if (!delay)
        return;
    const long ms = strtol(delay, NULL, 10);
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

static void logEvent(const char* fmt, ...)
{
    const char* path = getenv("RINTA_SPY_LOG");
    if (!path)
        return;
    char line[256];
    va_list args;
    va_start(args, fmt);
    int n = vsnprintf(line, sizeof line - 1, fmt, args);
    va_end(args);
    if (n < 0)
        return;
    if (n > (int)sizeof line - 2)
        n = (int)sizeof line - 2;
    line[n++] = '\n';
    /* One write per line on an O_APPEND file: lines from different threads never mix. */
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (write(fd, line, (size_t)n) < 0) {
    }
    close(fd);
}

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg)
{
    typedef int (*Fn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    logEvent("thread %d", __atomic_add_fetch(&threadsStarted, 1, __ATOMIC_SEQ_CST));
    return REAL("pthread_create", Fn)(thread, attr, start, arg);
}

pid_t fork(void)
{
    typedef pid_t (*Fn)(void);
    logEvent("fork threads=%d from=%s", __atomic_load_n(&threadsStarted, __ATOMIC_SEQ_CST),
             syscall(SYS_gettid) == getpid() ? "main" : "other");
    delayFrom("RINTA_SPY_FORK_DELAY_MS");
    return REAL("fork", Fn)();
}

SpyWindow* SDL_CreateWindow(const char* title, int x, int y, int w, int h, unsigned int flags)
{
    typedef SpyWindow* (*Fn)(const char*, int, int, int, int, unsigned int);
    logEvent("create-window");
    return REAL("SDL_CreateWindow", Fn)(title, x, y, w, h, flags);
}

void* SDL_GL_CreateContext(SpyWindow* window)
{
    typedef void* (*Fn)(SpyWindow*);
    logEvent("gl-context");
    delayFrom("RINTA_SPY_CONTEXT_DELAY_MS");
    return REAL("SDL_GL_CreateContext", Fn)(window);
}

void SDL_ShowWindow(SpyWindow* window)
{
    typedef void (*Fn)(SpyWindow*);
    logEvent("show-window");
    REAL("SDL_ShowWindow", Fn)(window);
}

int SDL_SetWindowFullscreen(SpyWindow* window, unsigned int flags)
{
    typedef int (*Fn)(SpyWindow*, unsigned int);
    typedef unsigned int (*FlagsFn)(SpyWindow*);
    typedef int (*ErrorFn)(const char*, ...);
    const int shown = (((FlagsFn)dlsym(RTLD_DEFAULT, "SDL_GetWindowFlags"))(window) & kSdlWindowShown) != 0;
    int result;
    if ((flags & kSdlWindowFullscreen) && shown && getenv("RINTA_SPY_NO_FULLSCREEN"))
        result = ((ErrorFn)dlsym(RTLD_DEFAULT, "SDL_SetError"))("the display cannot be switched to fullscreen "
                                                               "(refused for the test)");
    else
        result = REAL("SDL_SetWindowFullscreen", Fn)(window, flags);
    logEvent("fullscreen %#x %s %d", flags, shown ? "shown" : "hidden", result);
    return result;
}

unsigned int SDL_OpenAudioDevice(const char* device, int iscapture, const void* desired, void* obtained,
                                 int allowed_changes)
{
    typedef unsigned int (*Fn)(const char*, int, const void*, void*, int);
    logEvent("audio-open");
    return REAL("SDL_OpenAudioDevice", Fn)(device, iscapture, desired, obtained, allowed_changes);
}
