// SPDX-License-Identifier: MIT
// engine/projection.cpp — resizeGLScene: viewport and a perspective projection, then the
// model-view identity. Scenes call it with the fixed 640 x 480 size every frame; the viewport
// is that size scaled to the target, so the same calls fill a target of any resolution.
#include "engine/projection.h"

#include "engine/gl.h"

namespace {
int targetWidth = kSceneWidth, targetHeight = kSceneHeight;

int scaled(int size, int target, int scene)
{
    return static_cast<int>((static_cast<long long>(size) * target + scene / 2) / scene);
}
} // namespace

void setSceneTargetSize(int width, int height)
{
    targetWidth = width > 0 ? width : kSceneWidth;
    targetHeight = height > 0 ? height : kSceneHeight;
}

void resizeGLScene(float fovDegrees, int width, int height)
{
    if (height == 0) // a minimised window must not divide by zero
        height = 1;
    glViewport(0, 0, scaled(width, targetWidth, kSceneWidth), scaled(height, targetHeight, kSceneHeight));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The near plane is the 32-bit 0.1f widened, as the program has always passed it.
    gluPerspective(fovDegrees, static_cast<GLdouble>(width) / static_cast<GLdouble>(height),
                   static_cast<GLdouble>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
