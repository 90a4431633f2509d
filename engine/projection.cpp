// SPDX-License-Identifier: MIT
// engine/projection.cpp — resizeGLScene: viewport and a perspective projection, then the
// model-view identity. Scenes call it with the fixed 640 x 480 size every frame.
#include "engine/projection.h"

#include "engine/gl.h"

void resizeGLScene(float fovDegrees, int width, int height)
{
    if (height == 0) // a minimised window must not divide by zero
        height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The near plane is the 32-bit 0.1f widened, as the program has always passed it.
    gluPerspective(fovDegrees, static_cast<GLdouble>(width) / static_cast<GLdouble>(height),
                   static_cast<GLdouble>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
