// SPDX-License-Identifier: MIT
// engine/frontend.h — the contract between the engine and a front end (shell/ on SDL2, capture/
// on EGL, web/ on emscripten). A front end includes this header, fills in what it provides and
// makes the calls below in the order given, and nothing more: everything else is the engine's.
// A new front end starts from this list.
#pragma once
#include "engine/music.h"
#include "engine/music_device.h"
#include "engine/startup.h"
#include "engine/timeline.h"
#include "platform/platform.h"

// ---- What a front end provides ---------------------------------------------------------------
// Each is a hook in the platform layer or the timeline; an unset hook has the default named.
//
// GL procedures beyond 1.1   setGlProcLoader(fn): once, when the context is made. Shell:
//                            SDL_GL_GetProcAddress; capture: eglGetProcAddress (headless.cpp);
//                            web: none (glcompat is the whole GL). Default: none.
// Sleep                      setSleepHook(fn): before the first frame; scenes pace their frames
//                            through Sleep (engine/scene.h). Shell: the real sleep (default);
//                            capture and the page's exact mode: the virtual clock
//                            (engine/deterministic.h); the page live: a sleep that yields to
//                            the browser.
// End of process             setEndProcessHook(fn): called by the order-32 ending from inside a
//                            frame, after the shutdown hook; may unwind or end the page. If it
//                            returns, the process exits. Default: exit.
// Shutdown                   setTimelineShutdown(fn): called by the order-32 ending once the
//                            song is freed, to release what the front end holds (the window).
// Messages                   setMessageHooks(show, ask): before initGL, which may report a file
//                            it cannot load. Default: stderr, questions take their default.
// Song ending early          setSongEndsEarlyNotice(fn): called once by the timeline when the
//                            song ends before order 32 or jumps back. Default: one stderr line.
// Key events                 keyEvent(vk, down) for every key going down or up, from the front
//                            end's event source (the window, the page, a script); the timeline
//                            reads them through asyncKeyState. Esc ending the run is the front
//                            end's: it reads asyncKeyState(kVkEscape) once a frame.
// Data directory             setDataDirectory(dir) (engine/startup.h), before prepareStartupData
//                            or initGL. Default: "data" in the working directory.
// Music output               setMusicOutput(MusicOutput::Device or ::Offline) before initGL
//                            (engine/music.h). Shell and the page live: Device, with the front
//                            end's MusicDevice given by setMusicDevice (engine/music_device.h):
//                            it pulls blocks with musicDeviceFill on its own thread and says
//                            when they are heard. The shell's is SDL audio with its silent
//                            clock (shell/audio_output.h), the page's Web Audio
//                            (web/music.h). Capture and the page's exact mode: Offline, pulled
//                            with renderMusic by the deterministic loop.
// Present                    after each frame's scenes, the front end shows or reads it: shell
//                            presentFrameTarget (engine/present.h) and a buffer swap; capture
//                            readFrameTarget or glReadPixels; web glcompatPresent.
// Unseen frames              setFrameSeen(seen), below: the render layer's switch.

// Whether the frame about to be drawn is seen. An unseen frame runs every scene call, so
// every later frame is what it would have been, but draws (next to) nothing. Native: the
// render layer (engine/present.cpp) keeps a one-pixel scissor box on while frames are unseen;
// no scene touches the scissor. Web: glcompat stops drawing (glcompatSetDrawing). Called by the
// deterministic loop before each frame, and by capture's benchmark; frames start seen.
void setFrameSeen(bool seen);

// ---- What a front end calls, in order ----------------------------------------------------
// 1. The hooks above, then (optionally, while a question is up) prepareStartupData() on any
//    thread and prepareGL() on the context's (engine/startup.h).
// 2. resizeGLScene(45, kSceneWidth, kSceneHeight) as a window's creation does, then initGL()
//    once: textures, render state, the song started.
// 3. Each frame: handleSceneKeys() (the timeline: scene keys, then the scenes of the order
//    playing), then present. A deterministic front end lets DeterministicLoop::run do this.
// 4. At Esc: FMUSIC_FreeSong(song), FSOUND_Close(), then release the window. At order 32 the
//    timeline does this itself and calls the shutdown and end-of-process hooks.
