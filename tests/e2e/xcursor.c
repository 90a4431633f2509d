// SPDX-License-Identifier: MIT
/* tests/e2e/xcursor.c — puts the pointer over the middle of a window and says whether the cursor
 * shown there has any visible pixel: prints "visible" or "hidden". Usage: xcursor WINDOW-ID */
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: xcursor WINDOW-ID\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "xcursor: cannot open the display\n");
        return 1;
    }
    int event, error;
    if (!XFixesQueryExtension(d, &event, &error)) {
        fprintf(stderr, "xcursor: the server has no XFIXES\n");
        return 1;
    }
    Window w = (Window)strtoul(argv[1], NULL, 0);
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a)) {
        fprintf(stderr, "xcursor: no such window\n");
        return 1;
    }
    XWarpPointer(d, None, w, 0, 0, 0, 0, a.width / 2, a.height / 2);
    XSync(d, False);
    XFixesCursorImage* image = XFixesGetCursorImage(d);
    if (!image) {
        fprintf(stderr, "xcursor: no cursor image\n");
        return 1;
    }
    int visible = 0;
    for (int i = 0; i < image->width * image->height; ++i)
        visible |= (image->pixels[i] >> 24) != 0; /* ARGB: any pixel not fully transparent */
    puts(visible ? "visible" : "hidden");
    XFree(image);
    XCloseDisplay(d);
    return 0;
}
