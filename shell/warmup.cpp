// SPDX-License-Identifier: MIT
// shell/warmup.cpp — the warm-up drawing behind the question.
#include "shell/warmup.h"

#include "engine/gl.h"

void warmUpDrawing()
{
    // Saved whole rather than put back by hand, so nothing initGL set can be lost to it: the
    // enables, polygon mode, current colour and texture coordinate, bound texture, matrix mode.
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_TRANSFORM_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(0, 0, -5);
    for (int combination = 0; combination < 16; ++combination) {
        (combination & 1 ? glEnable : glDisable)(GL_TEXTURE_2D);
        (combination & 2 ? glEnable : glDisable)(GL_BLEND);
        (combination & 4 ? glEnable : glDisable)(GL_DEPTH_TEST);
        glPolygonMode(GL_FRONT_AND_BACK, combination & 8 ? GL_LINE : GL_FILL);
        glColor4f(1, 1, 1, 0.5f);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0); glVertex3f(-1, -1, 0);
        glTexCoord2f(1, 0); glVertex3f(1, -1, 0);
        glTexCoord2f(1, 1); glVertex3f(1, 1, 0);
        glTexCoord2f(0, 1); glVertex3f(-1, 1, 0);
        glEnd();
        glBegin(GL_LINES);
        glVertex3f(-1, 0, 0);
        glVertex3f(1, 0, 0);
        glEnd();
    }
    glFinish();
    glPopMatrix();
    glPopAttrib();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
