/*
 * A preloaded library that sits between the program and SDL, SDL_image and SDL_mixer.
 * It writes one line per call of interest to $SHIM_LOG, fails the calls named in $SHIM_FAIL,
 * and feeds the events scripted in $SHIM_EVENTS to SDL_PollEvent.
 *
 * SHIM_FAIL      comma-separated NAME or NAME@N (fail the N-th call, default every call)
 * SHIM_INIT_RESULT  a value for SDL_Init to return after it really succeeded (e.g. -2)
 * SHIM_EMPTY_ERROR  when set, SDL_GetError returns ""
 * SHIM_EVENTS    space-separated: wait:MS, key:K[:MOD], up:K, motion, quit, probe
 *                (K is a single character or F4, KP1, KP2; MOD is a number, e.g. 0x100;
 *                probe tries from inside the process what a taken-over decoder would, and
 *                logs each outcome: a file written in $HOME and in /tmp, /bin/sh started,
 *                a TCP connection to 127.0.0.1:$SHIM_PROBE_PORT, data/b.png read)
 */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define REAL(name) ((__typeof__(&name))real_symbol(#name))

static pthread_mutex_t log_lock = PTHREAD_MUTEX_INITIALIZER;
static FILE* log_file;

static void* real_symbol(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == NULL) {
        fprintf(stderr, "shim: no symbol %s\n", name);
        abort();
    }
    return symbol;
}

static void log_call(const char* format, ...) {
    pthread_mutex_lock(&log_lock);
    if (log_file == NULL) {
        const char* path = getenv("SHIM_LOG");
        log_file = fopen(path != NULL ? path : "/dev/null", "a");
    }
    if (log_file != NULL) {
        va_list args;
        va_start(args, format);
        vfprintf(log_file, format, args);
        va_end(args);
        fputc('\n', log_file);
        fflush(log_file);
    }
    pthread_mutex_unlock(&log_lock);
}

/* Counts the calls of `name` and says whether this one is to fail. */
static int should_fail(const char* name, int* calls) {
    ++*calls;
    const char* list = getenv("SHIM_FAIL");
    if (list == NULL) {
        return 0;
    }
    size_t length = strlen(name);
    for (const char* at = strstr(list, name); at != NULL; at = strstr(at + 1, name)) {
        int starts = at == list || at[-1] == ',';
        char next = at[length];
        if (!starts || (next != '\0' && next != ',' && next != '@')) {
            continue;
        }
        return next != '@' || atoi(at + length + 1) == *calls;
    }
    return 0;
}

#define FAILS(name)                                                                                \
    static int name##_calls;                                                                       \
    int fail = should_fail(#name, &name##_calls)

int SDL_Init(Uint32 flags) {
    FAILS(SDL_Init);
    log_call("SDL_Init 0x%x", flags);
    if (fail) {
        SDL_SetError("SDL_Init refused by the test");
        return -1;
    }
    int result = REAL(SDL_Init)(flags);
    const char* forced = getenv("SHIM_INIT_RESULT");
    return forced != NULL && result == 0 ? atoi(forced) : result;
}

void SDL_Quit(void) {
    log_call("SDL_Quit");
    REAL(SDL_Quit)();
}

SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags) {
    FAILS(SDL_SetVideoMode);
    log_call("SDL_SetVideoMode %d %d %d 0x%x", width, height, bpp, flags);
    if (fail) {
        SDL_SetError("SDL_SetVideoMode refused by the test");
        return NULL;
    }
    return REAL(SDL_SetVideoMode)(width, height, bpp, flags);
}

SDL_Surface* SDL_GetVideoSurface(void) {
    FAILS(SDL_GetVideoSurface);
    if (fail) {
        log_call("SDL_GetVideoSurface = (nil)");
        SDL_SetError("SDL_GetVideoSurface refused by the test");
        return NULL;
    }
    return REAL(SDL_GetVideoSurface)();
}

void SDL_WM_SetCaption(const char* title, const char* icon) {
    char hex[512] = "";
    for (size_t i = 0; title != NULL && title[i] != '\0' && i < 150; ++i) {
        snprintf(hex + strlen(hex), sizeof hex - strlen(hex), "%02X", (unsigned char)title[i]);
    }
    log_call("SDL_WM_SetCaption %s %s", title != NULL ? hex : "(null)",
             icon == NULL ? "(null)" : (*icon == '\0' ? "(empty)" : icon));
    REAL(SDL_WM_SetCaption)(title, icon);
}

SDL_Surface* IMG_Load(const char* path) {
    FAILS(IMG_Load);
    SDL_Surface* surface = fail ? NULL : REAL(IMG_Load)(path);
    if (fail) {
        SDL_SetError("IMG_Load refused by the test");
    }
    log_call("IMG_Load %s = %p", path, (void*)surface);
    return surface;
}

int SDL_LockSurface(SDL_Surface* surface) {
    log_call("SDL_LockSurface %p", (void*)surface);
    return REAL(SDL_LockSurface)(surface);
}

void SDL_UnlockSurface(SDL_Surface* surface) {
    log_call("SDL_UnlockSurface %p", (void*)surface);
    REAL(SDL_UnlockSurface)(surface);
}

int SDL_SetColorKey(SDL_Surface* surface, Uint32 flag, Uint32 key) {
    log_call("SDL_SetColorKey %p 0x%x %u", (void*)surface, flag, key);
    return REAL(SDL_SetColorKey)(surface, flag, key);
}

void SDL_WM_SetIcon(SDL_Surface* icon, Uint8* mask) {
    log_call("SDL_WM_SetIcon %p %s", (void*)icon, mask == NULL ? "(null)" : "mask");
    REAL(SDL_WM_SetIcon)(icon, mask);
}

void SDL_FreeSurface(SDL_Surface* surface) {
    log_call("SDL_FreeSurface %p", (void*)surface);
    REAL(SDL_FreeSurface)(surface);
}

int SDL_EnableUNICODE(int enable) {
    log_call("SDL_EnableUNICODE %d", enable);
    return REAL(SDL_EnableUNICODE)(enable);
}

int SDL_UpperBlit(SDL_Surface* src, SDL_Rect* srcrect, SDL_Surface* dst, SDL_Rect* dstrect) {
    log_call("SDL_UpperBlit %p %s %s", (void*)src, srcrect == NULL ? "(null)" : "rect",
             dstrect == NULL ? "(null)" : "rect");
    return REAL(SDL_UpperBlit)(src, srcrect, dst, dstrect);
}

int SDL_Flip(SDL_Surface* screen) {
    FAILS(SDL_Flip);
    log_call("SDL_Flip");
    if (fail) {
        SDL_SetError("SDL_Flip refused by the test");
        return -1;
    }
    return REAL(SDL_Flip)(screen);
}

char* SDL_GetError(void) {
    static char empty[] = "";
    return getenv("SHIM_EMPTY_ERROR") != NULL ? empty : REAL(SDL_GetError)();
}

int Mix_OpenAudio(int frequency, Uint16 format, int channels, int chunksize) {
    FAILS(Mix_OpenAudio);
    log_call("Mix_OpenAudio %d 0x%x %d %d", frequency, format, channels, chunksize);
    if (fail) {
        SDL_SetError("Mix_OpenAudio refused by the test");
        return -1;
    }
    return REAL(Mix_OpenAudio)(frequency, format, channels, chunksize);
}

void Mix_CloseAudio(void) {
    log_call("Mix_CloseAudio");
    REAL(Mix_CloseAudio)();
}

Mix_Music* Mix_LoadMUS(const char* path) {
    Mix_Music* music = REAL(Mix_LoadMUS)(path);
    log_call("Mix_LoadMUS %s = %p", path, (void*)music);
    return music;
}

SDL_RWops* SDL_RWFromFile(const char* path, const char* mode) {
    SDL_RWops* stream = REAL(SDL_RWFromFile)(path, mode);
    log_call("SDL_RWFromFile %s %s = %p", path, mode, (void*)stream);
    return stream;
}

Mix_Chunk* Mix_LoadWAV_RW(SDL_RWops* src, int freesrc) {
    Mix_Chunk* chunk = REAL(Mix_LoadWAV_RW)(src, freesrc);
    log_call("Mix_LoadWAV_RW %p %d = %p", (void*)src, freesrc, (void*)chunk);
    return chunk;
}

int Mix_PlayMusic(Mix_Music* music, int loops) {
    log_call("Mix_PlayMusic %p %d", (void*)music, loops);
    return REAL(Mix_PlayMusic)(music, loops);
}

int Mix_FadeOutMusic(int ms) {
    log_call("Mix_FadeOutMusic %d", ms);
    return REAL(Mix_FadeOutMusic)(ms);
}

void Mix_FreeMusic(Mix_Music* music) {
    log_call("Mix_FreeMusic %p", (void*)music);
    REAL(Mix_FreeMusic)(music);
}

int Mix_PlayChannelTimed(int channel, Mix_Chunk* chunk, int loops, int ticks) {
    int used = REAL(Mix_PlayChannelTimed)(channel, chunk, loops, ticks);
    log_call("Mix_PlayChannelTimed %d %p %d %d = %d", channel, (void*)chunk, loops, ticks, used);
    return used;
}

void Mix_FreeChunk(Mix_Chunk* chunk) {
    /* Says whether a channel is still playing the chunk at the moment it is released. */
    int playing = 0;
    int channels = Mix_AllocateChannels(-1);
    for (int i = 0; i < channels; ++i) {
        playing |= Mix_Playing(i) && Mix_GetChunk(i) == chunk;
    }
    log_call("Mix_FreeChunk %p%s", (void*)chunk, playing ? " PLAYING" : "");
    REAL(Mix_FreeChunk)(chunk);
}

/* Scripted input. */

static double now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1e6;
}

static SDLKey key_named(const char* name) {
    if (strncmp(name, "F4", 2) == 0) {
        return SDLK_F4;
    }
    if (strncmp(name, "KP1", 3) == 0) {
        return SDLK_KP1;
    }
    if (strncmp(name, "KP2", 3) == 0) {
        return SDLK_KP2;
    }
    return (SDLKey)(unsigned char)name[0];
}

static void log_outcome(const char* what, int error) {
    log_call("probe %s: %s", what, error == 0 ? "done" : strerror(error));
}

static void probe_write(const char* what, const char* directory) {
    char path[4096];
    snprintf(path, sizeof path, "%s/jukebox-probe-%d", directory != NULL ? directory : "",
             (int)getpid());
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    log_outcome(what, fd < 0 ? errno : 0);
    if (fd >= 0) {
        close(fd);
        unlink(path);
    }
}

static void probe(void) {
    probe_write("write in $HOME", getenv("HOME"));
    probe_write("write in /tmp", "/tmp");

    extern char** environ;
    char* argv[] = {"sh", "-c", "exit 0", NULL};
    pid_t child;
    int error = posix_spawn(&child, "/bin/sh", NULL, NULL, argv, environ);
    int status = 0;
    if (error == 0 && waitpid(child, &status, 0) == child && status != 0) {
        error = ECHILD;
    }
    log_outcome("run /bin/sh", error);

    const char* port = getenv("SHIM_PROBE_PORT");
    struct sockaddr_in address = {.sin_family = AF_INET,
                                  .sin_port = htons((uint16_t)atoi(port != NULL ? port : "0")),
                                  .sin_addr.s_addr = htonl(INADDR_LOOPBACK)};
    int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    error = sock < 0 || connect(sock, (struct sockaddr*)&address, sizeof address) != 0 ? errno : 0;
    log_outcome("connect to 127.0.0.1", error);
    if (sock >= 0) {
        close(sock);
    }

    int fd = open("data/b.png", O_RDONLY | O_CLOEXEC);
    char byte;
    log_outcome("read data/b.png", fd < 0 ? errno : read(fd, &byte, 1) == 1 ? 0 : EIO);
    if (fd >= 0) {
        close(fd);
    }
}

/* Fills `event` from the next due item of the script; 0 when none is due. */
static int scripted_event(SDL_Event* event) {
    static const char* cursor;
    static double due;
    if (cursor == NULL) {
        cursor = getenv("SHIM_EVENTS");
        if (cursor == NULL) {
            cursor = "";
        }
        due = now_ms();
    }
    for (;;) {
        while (*cursor == ' ') {
            ++cursor;
        }
        if (*cursor == '\0') {
            return 0;
        }
        const char* item = cursor;
        const char* end = strchr(item, ' ');
        if (strncmp(item, "wait:", 5) == 0) {
            due += atof(item + 5);
            cursor = end != NULL ? end : item + strlen(item);
            continue;
        }
        double now = now_ms();
        if (now < due) {
            return 0;
        }
        due = now;
        cursor = end != NULL ? end : item + strlen(item);
        memset(event, 0, sizeof *event);
        if (strncmp(item, "probe", 5) == 0) {
            log_call("event probe");
            probe();
            continue;
        }
        if (strncmp(item, "quit", 4) == 0) {
            event->type = SDL_QUIT;
        } else if (strncmp(item, "motion", 6) == 0) {
            event->type = SDL_MOUSEMOTION;
        } else if (strncmp(item, "key:", 4) == 0 || strncmp(item, "up:", 3) == 0) {
            int down = item[0] == 'k';
            const char* name = item + (down ? 4 : 3);
            const char* mod = strchr(name, ':');
            event->type = down ? SDL_KEYDOWN : SDL_KEYUP;
            event->key.state = down ? SDL_PRESSED : SDL_RELEASED;
            event->key.keysym.sym = key_named(name);
            if (mod != NULL && (end == NULL || mod < end)) {
                event->key.keysym.mod = (SDLMod)strtol(mod + 1, NULL, 0);
            }
        } else {
            continue;
        }
        log_call("event %.*s", (int)(cursor - item), item);
        return 1;
    }
}

int SDL_PollEvent(SDL_Event* event) {
    if (event != NULL && scripted_event(event)) {
        return 1;
    }
    return REAL(SDL_PollEvent)(event);
}
