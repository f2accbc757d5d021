/*
 * Runs one program on the X server named by $DISPLAY for tools/bench, and times it from outside,
 * with nothing loaded into it.
 *
 *   bench_driver REFERENCE.rgb WIDTH HEIGHT TIMEOUT_MS [--in-window] -- PROGRAM [ARG...]
 *
 * Starts PROGRAM and reads the screen's top-left WIDTH x HEIGHT pixels (with --in-window: those
 * at the top left of the program's window, wherever it is, as under Wine, which frames its
 * windows itself) every millisecond until they equal REFERENCE (raw 8-bit RGB, as `convert IMAGE
 * -depth 8 rgb:REFERENCE` writes it), then prints "started PID MILLISECONDS CPU_MILLISECONDS", the
 * second being the CPU time the program had used by then (/proc/PID/task/TID/schedstat), and gives
 * the program's window the input focus. After that it reads commands on stdin, one a line, and
 * answers each with one line:
 *
 *   keys N GAP_MS DIR KEY...         presses and releases N keys, cycling through KEY..., one
 *                                    every GAP_MS; answers "ok" and the number of files opened
 *                                    in DIR meanwhile
 *   open N GAP_MS KEY DIR PREFIX     N times: presses KEY and waits for a file in DIR whose name
 *                                    starts with PREFIX to be opened (inotify); answers "ok" and
 *                                    the N delays in milliseconds
 *   sound N GAP_MS KEY FILE          N times: presses KEY and waits for a sample other than 0 to
 *                                    be written to FILE (the disk audio driver's output);
 *                                    answers "ok" and the N delays in milliseconds
 *   quit                             presses Alt+F4 and waits for the program to end; answers
 *                                    "exit STATUS"
 *
 * Key presses go through the XTest extension, as a keyboard's would. Delays are measured from
 * the moment the press is sent to the X server. The gaps of `open` and `sound` vary from 3/4 to
 * 5/4 of GAP_MS, in the same sequence on every run, so that presses do not stay in step with the
 * program's polling or with the audio period.
 */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

typedef int (*FakeKeyEvent)(Display*, unsigned int, int, unsigned long);

static Display* display;
static FakeKeyEvent fake_key;
static pid_t child;
static unsigned random_state = 12345U;

static double now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1e6;
}

static void sleep_ms(double ms) {
    if (ms <= 0) {
        return;
    }
    struct timespec pause = {(time_t)(ms / 1000.0),
                             (long)((ms - (double)(time_t)(ms / 1000.0) * 1000.0) * 1e6)};
    while (nanosleep(&pause, &pause) == -1 && errno == EINTR) {
    }
}

static void die(const char* message) {
    fprintf(stderr, "bench_driver: %s\n", message);
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, NULL, 0);
    }
    exit(1);
}

/* A gap of 3/4 to 5/4 of `gap` ms, from a fixed sequence. */
static double varied(double gap) {
    random_state = random_state * 1103515245U + 12345U;
    return gap * (0.75 + (double)((random_state >> 16) % 1000U) / 2000.0);
}

static unsigned keycode_of(const char* name) {
    KeySym sym = XStringToKeysym(name);
    if (sym == NoSymbol) {
        die("unknown key name");
    }
    KeyCode code = XKeysymToKeycode(display, sym);
    if (code == 0) {
        die("no key code for a key name");
    }
    return code;
}

static void send_key(unsigned code, int press) {
    fake_key(display, code, press, CurrentTime);
}

/* Presses `code`, returning the time the press went to the server; release it with release(). */
static double press(unsigned code) {
    send_key(code, 1);
    double sent = now_ms();
    XFlush(display);
    return sent;
}

static void release(unsigned code) {
    send_key(code, 0);
    XFlush(display);
}

static int screen_matches(const unsigned char* reference, int x0, int y0, int width, int height) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x0, y0, (unsigned)width,
                              (unsigned)height, AllPlanes, ZPixmap);
    if (image == NULL) {
        return 0;
    }
    int same = 1;
    for (int y = 0; y < height && same; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            const unsigned char* want = reference + ((size_t)y * (size_t)width + (size_t)x) * 3;
            if (((pixel & image->red_mask) >> 16) != want[0] ||
                ((pixel & image->green_mask) >> 8) != want[1] ||
                (pixel & image->blue_mask) != want[2]) {
                same = 0;
                break;
            }
        }
    }
    XDestroyImage(image);
    return same;
}

/* The program's window: the top-level one with its _NET_WM_PID and at least the picture's size
 * (Wine gives a process small helper windows of its own too). */
static Window window_of(pid_t pid, int width, int height) {
    Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
    Window root = DefaultRootWindow(display), parent, *children = NULL;
    unsigned count = 0;
    Window found = None;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) {
        return None;
    }
    for (unsigned i = 0; i < count && found == None; ++i) {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = NULL;
        if (XGetWindowProperty(display, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type,
                               &format, &items, &after, &data) == Success &&
            data != NULL) {
            XWindowAttributes attributes;
            if (items == 1 && format == 32 && (pid_t) * (unsigned long*)data == pid &&
                XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.width >= width && attributes.height >= height) {
                found = children[i];
            }
            XFree(data);
        }
    }
    XFree(children);
    return found;
}

/* A window that goes or moves between two requests, or a part of it off the screen, is no
 * reason to end: the request just answers nothing. */
static int ignore_error(Display* unused, XErrorEvent* error) {
    (void)unused;
    (void)error;
    return 0;
}

/* The picture is on screen: at the top left of the screen, or of the child's window. */
static int picture_shown(const unsigned char* reference, int width, int height, int in_window) {
    if (!in_window) {
        return screen_matches(reference, 0, 0, width, height);
    }
    Window window = window_of(child, width, height), root = DefaultRootWindow(display), below;
    int x, y;
    return window != None && XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &below) &&
           screen_matches(reference, x, y, width, height);
}

/* CPU time the process has used so far, all its threads, in ms (the scheduler's own count). */
static double cpu_ms(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* tasks = opendir(path);
    if (tasks == NULL) {
        return -1;
    }
    double total = 0;
    for (struct dirent* task; (task = readdir(tasks)) != NULL;) {
        if (task->d_name[0] == '.') {
            continue;
        }
        char stat_path[sizeof path + sizeof task->d_name + 16];
        snprintf(stat_path, sizeof stat_path, "%s/%s/schedstat", path, task->d_name);
        FILE* stat = fopen(stat_path, "r");
        unsigned long long ns = 0;
        if (stat != NULL) {
            if (fscanf(stat, "%llu", &ns) == 1) {
                total += (double)ns / 1e6;
            }
            fclose(stat);
        }
    }
    closedir(tasks);
    return total;
}

static int child_status(int* status) {
    return waitpid(child, status, WNOHANG) == child;
}

/* Reads the pending inotify events and counts those naming a file. */
static long count_opens(int watch) {
    char buffer[8192] __attribute__((aligned(__alignof__(struct inotify_event))));
    long opens = 0;
    ssize_t length;
    while ((length = read(watch, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const struct inotify_event* event = (const struct inotify_event*)(buffer + at);
            opens += event->len > 0;
            at += (ssize_t)sizeof *event + event->len;
        }
    }
    return opens;
}

static void command_keys(char* args) {
    int count = 0, gap = 0, used = 0;
    char dir[4096];
    if (sscanf(args, "%d %d %4095s %n", &count, &gap, dir, &used) < 3) {
        die("usage: keys N GAP_MS DIR KEY...");
    }
    unsigned codes[32];
    int keys = 0;
    for (char* name = strtok(args + used, " \n"); name != NULL && keys < 32;
         name = strtok(NULL, " \n")) {
        codes[keys++] = keycode_of(name);
    }
    if (keys == 0) {
        die("keys: no key");
    }
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, dir, IN_OPEN) < 0) {
        die("inotify on the data directory");
    }
    long opens = 0;
    for (int i = 0; i < count; ++i) {
        double start = now_ms();
        unsigned code = codes[i % keys];
        press(code);
        sleep_ms(3);
        release(code);
        opens += count_opens(watch);
        sleep_ms(gap - (now_ms() - start));
    }
    sleep_ms(500);
    opens += count_opens(watch);
    close(watch);
    printf("ok %ld\n", opens);
}

static void command_open(char* args) {
    int count = 0, gap = 0;
    char key[32], dir[4096], prefix[256];
    if (sscanf(args, "%d %d %31s %4095s %255s", &count, &gap, key, dir, prefix) != 5) {
        die("usage: open N GAP_MS KEY DIR PREFIX");
    }
    unsigned code = keycode_of(key);
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, dir, IN_OPEN) < 0) {
        die("inotify on the data directory");
    }
    char buffer[8192] __attribute__((aligned(__alignof__(struct inotify_event))));
    printf("ok");
    for (int i = 0; i < count; ++i) {
        while (read(watch, buffer, sizeof buffer) > 0) {
        }
        double start = now_ms();
        double sent = press(code);
        double seen = -1;
        while (seen < 0 && now_ms() - sent < 3000) {
            struct pollfd ready = {watch, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            double at = now_ms();
            ssize_t length = read(watch, buffer, sizeof buffer);
            for (ssize_t at_byte = 0; at_byte < length;) {
                const struct inotify_event* event = (const struct inotify_event*)(buffer + at_byte);
                if (event->len > 0 && strncmp(event->name, prefix, strlen(prefix)) == 0 &&
                    seen < 0) {
                    seen = at;
                }
                at_byte += (ssize_t)sizeof *event + event->len;
            }
        }
        sleep_ms(3);
        release(code);
        printf(" %.3f", seen < 0 ? -1.0 : seen - sent);
        sleep_ms(varied(gap) - (now_ms() - start));
    }
    printf("\n");
    close(watch);
}

static int has_sound(const unsigned char* bytes, size_t length) {
    for (size_t i = 0; i + 1 < length; i += 2) {
        if (bytes[i] != 0 || bytes[i + 1] != 0) {
            return 1;
        }
    }
    return 0;
}

static void command_sound(char* args) {
    int count = 0, gap = 0;
    char key[32], path[4096];
    if (sscanf(args, "%d %d %31s %4095s", &count, &gap, key, path) != 4) {
        die("usage: sound N GAP_MS KEY FILE");
    }
    unsigned code = keycode_of(key);
    int file = open(path, O_RDONLY | O_CLOEXEC);
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (file < 0 || watch < 0 || inotify_add_watch(watch, path, IN_MODIFY) < 0) {
        die("cannot watch the audio output file");
    }
    static unsigned char data[1 << 20];
    char events[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
    printf("ok");
    for (int i = 0; i < count; ++i) {
        double start = now_ms();
        /* Everything written so far is before the press. */
        lseek(file, 0, SEEK_END);
        while (read(watch, events, sizeof events) > 0) {
        }
        double sent = press(code);
        double heard = -1;
        while (heard < 0 && now_ms() - sent < 5000) {
            struct pollfd ready = {watch, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            double at = now_ms();
            while (read(watch, events, sizeof events) > 0) {
            }
            ssize_t length;
            while ((length = read(file, data, sizeof data)) > 0) {
                if (has_sound(data, (size_t)length) && heard < 0) {
                    heard = at;
                }
            }
        }
        sleep_ms(3);
        release(code);
        printf(" %.3f", heard < 0 ? -1.0 : heard - sent);
        sleep_ms(varied(gap) - (now_ms() - start));
    }
    printf("\n");
    close(watch);
    close(file);
}

static void command_quit(void) {
    unsigned alt = keycode_of("Alt_L"), f4 = keycode_of("F4");
    send_key(alt, 1);
    send_key(f4, 1);
    send_key(f4, 0);
    send_key(alt, 0);
    XFlush(display);
    int status = 0;
    double start = now_ms();
    while (!child_status(&status)) {
        if (now_ms() - start > 10000) {
            die("the program did not end within 10 s of Alt+F4");
        }
        sleep_ms(1);
    }
    child = 0;
    printf("exit %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

int main(int argc, char** argv) {
    int in_window = argc > 5 && strcmp(argv[5], "--in-window") == 0;
    int program = 6 + in_window;
    if (argc <= program || strcmp(argv[program - 1], "--") != 0) {
        fprintf(
            stderr,
            "usage: %s REFERENCE.rgb WIDTH HEIGHT TIMEOUT_MS [--in-window] -- PROGRAM [ARG...]\n",
            argv[0]);
        return 2;
    }
    int width = atoi(argv[2]), height = atoi(argv[3]);
    double timeout = atof(argv[4]);
    size_t size = (size_t)width * (size_t)height * 3;
    unsigned char* reference = malloc(size);
    FILE* file = fopen(argv[1], "rb");
    if (reference == NULL || file == NULL || fread(reference, 1, size, file) != size) {
        die("cannot read the reference picture");
    }
    fclose(file);

    display = XOpenDisplay(NULL);
    if (display == NULL) {
        die("cannot open the display");
    }
    XSetErrorHandler(ignore_error);
    void* xtest = dlopen("libXtst.so.6", RTLD_NOW);
    fake_key = xtest != NULL ? (FakeKeyEvent)(uintptr_t)dlsym(xtest, "XTestFakeKeyEvent") : NULL;
    if (fake_key == NULL) {
        die("no XTest library (libXtst.so.6)");
    }
    /* The window of a program that has just ended may take a moment to go. */
    for (double waited = now_ms(); screen_matches(reference, 0, 0, width, height);) {
        if (now_ms() - waited > 2000) {
            die("the screen shows the reference picture before the program started");
        }
        sleep_ms(1);
    }

    double start = now_ms();
    child = fork();
    if (child == 0) {
        /* The program does not outlive the driver, however the driver ends. */
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execvp(argv[program], argv + program);
        _exit(127);
    }
    if (child < 0) {
        die("fork");
    }
    int status = 0;
    while (!picture_shown(reference, width, height, in_window)) {
        if (child_status(&status)) {
            child = 0;
            die("the program ended before showing its picture");
        }
        if (now_ms() - start > timeout) {
            die("the picture did not appear in time");
        }
        sleep_ms(1);
    }
    double shown = now_ms();
    double used = cpu_ms(child);
    Window window = None;
    for (int tries = 0; tries < 1000 && (window = window_of(child, width, height)) == None;
         ++tries) {
        sleep_ms(1);
    }
    if (window == None) {
        die("no window with the program's _NET_WM_PID");
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    printf("started %d %.3f %.3f\n", (int)child, shown - start, used);
    fflush(stdout);

    char line[8192];
    while (fgets(line, sizeof line, stdin) != NULL) {
        if (strncmp(line, "keys ", 5) == 0) {
            command_keys(line + 5);
        } else if (strncmp(line, "open ", 5) == 0) {
            command_open(line + 5);
        } else if (strncmp(line, "sound ", 6) == 0) {
            command_sound(line + 6);
        } else if (strncmp(line, "quit", 4) == 0) {
            command_quit();
            fflush(stdout);
            break;
        } else {
            die("unknown command");
        }
        fflush(stdout);
    }
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, NULL, 0);
    }
    XCloseDisplay(display);
    free(reference);
    return 0;
}
