/*
 * Asks a window to close the way a window manager's close button does: a WM_PROTOCOLS
 * ClientMessage carrying WM_DELETE_WINDOW, sent to the window itself.
 *
 * Usage: wm_close WINDOW-ID   (decimal or 0x-prefixed hexadecimal)
 * Exits 1 when the display cannot be opened, the window does not exist or does not take part
 * in WM_DELETE_WINDOW.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>

static int x_error;

static int remember_error(Display* display, XErrorEvent* event) {
    (void)display;
    x_error = event->error_code;
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s WINDOW-ID\n", argv[0]);
        return 2;
    }
    char* end = NULL;
    const Window window = (Window)strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || window == 0) {
        fprintf(stderr, "wm_close: not a window id: %s\n", argv[1]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "wm_close: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(remember_error);

    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);

    /* A window manager sends the message only to windows that ask for it. */
    Atom* listed = NULL;
    int count = 0;
    int asks = 0;
    if (XGetWMProtocols(display, window, &listed, &count) != 0) {
        for (int i = 0; i < count; ++i) {
            asks |= listed[i] == delete_window;
        }
        XFree(listed);
    }
    XSync(display, False);
    if (x_error != 0 || !asks) {
        fprintf(stderr, "wm_close: window 0x%lx does not take WM_DELETE_WINDOW\n", window);
        XCloseDisplay(display);
        return 1;
    }

    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)delete_window;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    const int failed = x_error != 0;
    XCloseDisplay(display);
    if (failed) {
        fprintf(stderr, "wm_close: sending to window 0x%lx failed\n", window);
    }
    return failed;
}
