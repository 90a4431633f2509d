// SPDX-License-Identifier: MIT
// platform/headless.h — a GL compatibility context with no window: EGL on Mesa's
// surfaceless platform (or any EGL device) and an off-screen colour + depth buffer.
#pragma once
#include <string>

struct HeadlessContext;

// Creates a context of the given size and makes it current. On failure returns nullptr
// and says why in error.
HeadlessContext* createHeadlessContext(int width, int height, std::string& error);
void destroyHeadlessContext(HeadlessContext* ctx);
