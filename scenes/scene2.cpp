// FIXME: placeholder until the scene lands: clears to its clear colour and paces as it will.
#include "engine/gl.h"
#include "engine/timeline.h"
#include "platform/platform.h"

bool drawScene2()
{
    glClearColor(0, 0, 0, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Sleep(10);
    return true;
}
