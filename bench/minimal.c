/*
 * The least a program can do and still behave as the jukebox does: the same SDL, SDL_image and
 * SDL_mixer calls at start-up, in the same order and with the same arguments, the same polling
 * loop, and the same mixer calls per key (a sound loaded afresh on every press, played, and
 * freed once its channel is reused or the next track has started). tools/bench measures the
 * jukebox against it.
 */
#include "platform/platform.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static Mix_Chunk* channels[MIX_CHANNELS];
static Mix_Music* music;

static void fail(const char* function) {
    fprintf(stderr, "minimal: %s\nSDL message: %s\n", function, SDL_GetError());
    exit(1);
}

static void present(void) {
    SDL_Surface* screen = SDL_GetVideoSurface();
    if (screen == NULL || SDL_Flip(screen) == -1) {
        fail("SDL_Flip");
    }
}

static void play_music(const char* path) {
    Mix_Music* loaded = Mix_LoadMUS(path);
    if (loaded == NULL) {
        fail("Mix_LoadMUS");
    }
    Mix_PlayMusic(loaded, -1);
    if (music != NULL) {
        Mix_FreeMusic(music);
    }
    music = loaded;
}

static void play_effect(char group, unsigned variants) {
    char path[32];
    snprintf(path, sizeof path, "data/%c%u.wav", group, (unsigned)rand() % variants);
    Mix_Chunk* chunk = Mix_LoadWAV_RW(SDL_RWFromFile(path, "rb"), 1);
    if (chunk == NULL) {
        fail("Mix_LoadWAV");
    }
    int channel = Mix_PlayChannelTimed(-1, chunk, 0, -1);
    if (channel >= 0 && channel < MIX_CHANNELS) {
        if (channels[channel] != NULL) {
            Mix_FreeChunk(channels[channel]);
        }
        channels[channel] = chunk;
    } else {
        Mix_FreeChunk(chunk);
    }
}

/* Waits for input that means something; 0 for quit. */
static int next_key(void) {
    for (;;) {
        SDL_Event event;
        SDL_PumpEvents();
        if (SDL_PollEvent(&event) == 0) {
            minimal_pause();
            continue;
        }
        if (event.type == SDL_QUIT) {
            return 0;
        }
        if (event.type != SDL_KEYDOWN) {
            continue;
        }
        SDLKey key = event.key.keysym.sym;
        unsigned mod = (unsigned)event.key.keysym.mod & 0x7FC3U;
        if (key == SDLK_F4 && (mod == KMOD_LALT || mod == KMOD_RALT)) {
            return 0;
        }
        if (key == SDLK_1 || key == SDLK_2 || key == SDLK_m || key == SDLK_s || key == SDLK_b ||
            key == SDLK_f) {
            return (int)key;
        }
    }
}

/* With its arguments: on Windows SDL.h makes this SDL_main, which SDLmain calls so. */
int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    /* "ジュークボックス" in UTF-8. */
    static const char caption[] = "\xe3\x82\xb8\xe3\x83\xa5\xe3\x83\xbc\xe3\x82\xaf"
                                  "\xe3\x83\x9c\xe3\x83\x83\xe3\x82\xaf\xe3\x82\xb9";
    srand((unsigned)time(NULL));

    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) == -1) {
        fail("SDL_Init");
    }
    SDL_Surface* icon = IMG_Load("data/images/icon.bmp");
    if (icon == NULL) {
        fail("IMG_Load");
    }
    SDL_LockSurface(icon);
    SDL_SetColorKey(icon, SDL_SRCCOLORKEY, 15);
    SDL_UnlockSurface(icon);
    SDL_WM_SetIcon(icon, NULL);
    SDL_FreeSurface(icon);
    if (SDL_SetVideoMode(320, 240, 0, SDL_SWSURFACE | SDL_DOUBLEBUF) == NULL) {
        fail("SDL_SetVideoMode");
    }
    SDL_WM_SetCaption(caption, "");
    minimal_mend_title();
    SDL_EnableUNICODE(1);
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096) != 0) {
        fail("Mix_OpenAudio");
    }

    SDL_Surface* screen = SDL_GetVideoSurface();
    if (screen == NULL) {
        fail("SDL_GetVideoSurface");
    }
    SDL_Surface* background = IMG_Load("data/b.png");
    if (background == NULL) {
        fail("IMG_Load");
    }
    SDL_UpperBlit(background, NULL, screen, NULL);
    if (SDL_Flip(screen) == -1) {
        fail("SDL_Flip");
    }

    for (;;) {
        present();
        int key = next_key();
        if (key == 0) {
            break;
        }
        switch (key) {
        case SDLK_1:
            play_music("data/bgm1.ogg");
            break;
        case SDLK_2:
            play_music("data/bgm2.ogg");
            break;
        case SDLK_m:
            play_effect('m', 2);
            break;
        case SDLK_s:
            play_effect('s', 1);
            break;
        case SDLK_b:
            play_effect('b', 2);
            break;
        default:
            Mix_FadeOutMusic(1000);
            break;
        }
    }

    if (music != NULL) {
        Mix_FreeMusic(music);
    }
    Mix_HaltChannel(-1);
    for (int i = 0; i < MIX_CHANNELS; ++i) {
        if (channels[i] != NULL) {
            Mix_FreeChunk(channels[i]);
        }
    }
    SDL_FreeSurface(background);
    Mix_CloseAudio();
    SDL_Quit();
    return 0;
}
