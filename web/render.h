// SPDX-License-Identifier: MIT
// web/render.h — the page's render size, as the native program's render layer has it: the
// scenes' 640 x 480 drawn into a frame of the page's ?resolution= (classic, native: the
// window's largest 4:3 rectangle in device pixels, following the window; WxH), with ?msaa=
// samples, line widths scaled; and the WebGL context's loss and return.
#pragma once

// Makes the context and the frame by the page's parameters. False without WebGL 2.
bool pageRenderStart();

// The swap: shows the finished frame; a frame that follows the window is then remade for the
// window's present size, so the next frame draws at it.
void pagePresent();
