/*
 * Reads what the X server holds about a window, for the end-to-end tests.
 *
 *   xprobe icon WINDOW-ID   prints the window's icon as text: a line "icon W H SOURCE", then H
 *                           lines of W space-separated pixels "AARRGGBB". SOURCE is "wm-hints"
 *                           (the icon pixmap and mask named in WM_HINTS: AA is FF where the
 *                           mask shows the pixel, 00 where it hides it; "wm-hints-unmasked"
 *                           when there is no mask) or "net-wm-icon" (the ARGB _NET_WM_ICON
 *                           property as it is). WM_HINTS is read first. Exits 1 when the
 *                           window has no icon.
 *   xprobe locks            prints the names of the locked modifiers ("caps", "num"), one
 *                           line, empty when none is locked.
 *   xprobe keycode NAME...  prints the keycode of each keysym NAME, one a line; exits 1 when a
 *                           name is no keysym or no key of the keyboard has it. Tools that
 *                           take keysym names may press extra keys to reach a keysym (one
 *                           keysym per key is what the tests want), so keys go by keycode.
 *   xprobe plain-key NAME   leaves the key with keysym NAME that keysym alone, on every level,
 *                           which drops the server's own action of the key's other levels:
 *                           the usual keymap turns Ctrl+Alt+F4 into XF86Switch_VT_4 and the
 *                           X server swallows that chord instead of passing it on.
 *   xprobe destroy WINDOW-ID destroys the window, as a crashed or careless client would: its
 *                           owner gets no close request, only the window's end.
 */
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int x_error;

static int remember_error(Display* display, XErrorEvent* event) {
    (void)display;
    x_error = event->error_code;
    return 0;
}

/* The 8-bit value of the colour channel `mask` of `pixel`. */
static unsigned channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1UL) == 0) {
        ++shift;
    }
    const unsigned long value = (pixel & mask) >> shift;
    const unsigned long top = mask >> shift;
    return (unsigned)((value * 255UL + top / 2) / top);
}

/* Prints the icon pixmap, with the mask (if any) deciding which pixels show. */
static int print_wm_hints_icon(Display* display, Window window) {
    XWMHints* hints = XGetWMHints(display, window);
    if (hints == NULL || !(hints->flags & IconPixmapHint)) {
        XFree(hints);
        return 0;
    }
    const Pixmap pixmap = hints->icon_pixmap;
    const Pixmap mask = (hints->flags & IconMaskHint) ? hints->icon_mask : None;
    XFree(hints);

    Window root;
    int x, y;
    unsigned width, height, border, depth;
    if (!XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &depth)) {
        fprintf(stderr, "xprobe: the icon pixmap is gone\n");
        exit(1);
    }
    XImage* image = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
    XImage* shape =
        mask != None ? XGetImage(display, mask, 0, 0, width, height, 1, XYPixmap) : NULL;
    XSync(display, False);
    if (image == NULL || (mask != None && shape == NULL) || x_error != 0) {
        fprintf(stderr, "xprobe: cannot read the icon pixmap or its mask\n");
        exit(1);
    }

    /* The pixmap has the depth of the root window; read its channels from the default visual. */
    const Visual* visual = DefaultVisual(display, DefaultScreen(display));
    printf("icon %u %u wm-hints%s\n", width, height, mask != None ? "" : "-unmasked");
    for (unsigned row = 0; row < height; ++row) {
        for (unsigned column = 0; column < width; ++column) {
            if (column > 0) {
                putchar(' ');
            }
            const int shown = shape == NULL || XGetPixel(shape, (int)column, (int)row) != 0;
            const unsigned long pixel = XGetPixel(image, (int)column, (int)row);
            printf("%s%02X%02X%02X", shown ? "FF" : "00", channel(pixel, visual->red_mask),
                   channel(pixel, visual->green_mask), channel(pixel, visual->blue_mask));
        }
        putchar('\n');
    }
    XDestroyImage(image);
    if (shape != NULL) {
        XDestroyImage(shape);
    }
    return 1;
}

/* Prints the first image of _NET_WM_ICON. */
static int print_net_wm_icon(Display* display, Window window) {
    const Atom property = XInternAtom(display, "_NET_WM_ICON", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(display, window, property, 0, 1L << 20, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) != Success ||
        data == NULL || format != 32 || count < 2) {
        XFree(data);
        return 0;
    }
    /* Xlib hands 32-bit properties over as longs. */
    const unsigned long* values = (const unsigned long*)data;
    const unsigned long width = values[0];
    const unsigned long height = values[1];
    if (width == 0 || height == 0 || count - 2 < width * height) {
        fprintf(stderr, "xprobe: _NET_WM_ICON is malformed\n");
        exit(1);
    }
    printf("icon %lu %lu net-wm-icon\n", width, height);
    for (unsigned long row = 0; row < height; ++row) {
        for (unsigned long column = 0; column < width; ++column) {
            const unsigned long argb = values[2 + row * width + column] & 0xFFFFFFFFUL;
            if (column > 0) {
                putchar(' ');
            }
            printf("%08lX", argb);
        }
        putchar('\n');
    }
    XFree(data);
    return 1;
}

static Window window_argument(const char* text) {
    char* end = NULL;
    const Window window = (Window)strtoul(text, &end, 0);
    if (end == text || *end != '\0' || window == 0) {
        fprintf(stderr, "xprobe: not a window id: %s\n", text);
        exit(2);
    }
    return window;
}

static int print_keycodes(Display* display, int count, char** names) {
    for (int i = 0; i < count; ++i) {
        const KeySym keysym = XStringToKeysym(names[i]);
        const KeyCode keycode = keysym != NoSymbol ? XKeysymToKeycode(display, keysym) : 0;
        if (keycode == 0) {
            fprintf(stderr, "xprobe: no key has the keysym %s\n", names[i]);
            return 1;
        }
        printf("%u\n", (unsigned)keycode);
    }
    return 0;
}

static int make_plain_key(Display* display, const char* name) {
    KeySym keysym = XStringToKeysym(name);
    const KeyCode keycode = keysym != NoSymbol ? XKeysymToKeycode(display, keysym) : 0;
    if (keycode == 0) {
        fprintf(stderr, "xprobe: no key has the keysym %s\n", name);
        return 1;
    }
    XChangeKeyboardMapping(display, keycode, 1, &keysym, 1);
    XSync(display, False);
    return x_error != 0;
}

int main(int argc, char** argv) {
    const int icon = argc == 3 && strcmp(argv[1], "icon") == 0;
    const int locks = argc == 2 && strcmp(argv[1], "locks") == 0;
    const int keycodes = argc >= 3 && strcmp(argv[1], "keycode") == 0;
    const int plain = argc == 3 && strcmp(argv[1], "plain-key") == 0;
    const int destroy = argc == 3 && strcmp(argv[1], "destroy") == 0;
    if (!icon && !locks && !keycodes && !plain && !destroy) {
        fprintf(stderr,
                "usage: %s icon WINDOW-ID | locks | keycode KEYSYM... | plain-key KEYSYM | "
                "destroy WINDOW-ID\n",
                argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "xprobe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(remember_error);
    int status = 0;
    if (keycodes) {
        status = print_keycodes(display, argc - 2, argv + 2);
    } else if (plain) {
        status = make_plain_key(display, argv[2]);
    } else if (destroy) {
        /* Another client destroys the window outright: no close request reaches its owner. */
        XDestroyWindow(display, window_argument(argv[2]));
        XSync(display, False);
        status = x_error != 0;
    } else if (icon) {
        const Window window = window_argument(argv[2]);
        if (!print_wm_hints_icon(display, window) && !print_net_wm_icon(display, window)) {
            fprintf(stderr, "xprobe: window 0x%lx has no icon\n", window);
            status = 1;
        }
    } else {
        XkbStateRec state;
        if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
            fprintf(stderr, "xprobe: cannot read the keyboard state\n");
            status = 1;
        } else {
            /* Caps Lock is the Lock modifier; Num Lock is whichever modifier Num_Lock is bound to.
             */
            const unsigned num = XkbKeysymToModifiers(display, XK_Num_Lock);
            const char* separator = "";
            if (state.locked_mods & LockMask) {
                printf("caps");
                separator = " ";
            }
            if (num != 0 && (state.locked_mods & num)) {
                printf("%snum", separator);
            }
            putchar('\n');
        }
    }
    XCloseDisplay(display);
    return status;
}
