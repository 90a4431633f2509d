// SPDX-License-Identifier: MIT
/* glcompat/include/GL/glu.h — the one GLU call this demo makes, from glcompat. */
#ifndef RINTA_GLCOMPAT_GLU_H
#define RINTA_GLCOMPAT_GLU_H
#include <GL/gl.h>

#ifdef __cplusplus
extern "C" {
#endif

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);

#ifdef __cplusplus
}
#endif
#endif
