// SPDX-License-Identifier: MIT
/* tests/e2e/xflood.c — moves the pointer back and forth over a window, as a hand on the mouse
 * does, queueing one motion event for the window per move. Usage: xflood WINDOW-ID MOVES */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: xflood WINDOW-ID MOVES\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "xflood: cannot open the display\n");
        return 1;
    }
    Window w = (Window)strtoul(argv[1], NULL, 0);
    const long moves = strtol(argv[2], NULL, 10);
    for (long i = 0; i < moves; ++i)
        XWarpPointer(d, None, w, 0, 0, 0, 0, 100 + (int)(i % 200), 100 + (int)(i % 150));
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
