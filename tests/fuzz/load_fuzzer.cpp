// One load the program makes, fed with whatever the fuzzer makes of the assets: the program's own
// check first, then the library call, exactly as the jukebox makes them. A crash, a sanitizer
// report or a hang (libFuzzer's -timeout) is a file the program still lets through.
//
// FUZZ_LOAD picks the load: 1 the effects' Mix_LoadWAV_RW, 2 the tracks' Mix_LoadMUS, 3 the
// pictures' IMG_Load (SDL_image's, or the Windows stand-in's where that is linked instead).

#include "shell/FileCheck.hpp"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string scratchFile(const char* name) {
    static const std::string directory = [] {
        char pattern[] = "/tmp/jukebox-fuzz.XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return directory + "/" + name;
}

bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    // The jukebox's device: effects are converted to it as they are loaded.
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO) == -1 ||
        Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096) != 0) {
        std::fprintf(stderr, "fuzz: no SDL: %s\n", SDL_GetError());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#if FUZZ_LOAD == 1
    // The jukebox opens a file, which may be empty; SDL 2 refuses a stream over no memory.
    SDL_RWops* stream = SDL_RWFromConstMem(data, static_cast<int>(size));
    if (stream == nullptr) {
        return 0;
    }
    if (!shell::checkEffectFile(stream, "data/s0.wav")) {
        SDL_RWclose(stream);
        return 0;
    }
    if (Mix_Chunk* chunk = Mix_LoadWAV_RW(stream, 1)) {
        Mix_FreeChunk(chunk);
    }
#elif FUZZ_LOAD == 2
    static const std::string path = scratchFile("bgm1.ogg");
    if (writeFile(path, data, size) && shell::checkMusicFile(path.c_str())) {
        if (Mix_Music* music = Mix_LoadMUS(path.c_str())) {
            Mix_FreeMusic(music);
        }
    }
#elif FUZZ_LOAD == 3
    static const std::string path = scratchFile("b.png");
    if (writeFile(path, data, size) && shell::checkPictureFile(path.c_str())) {
        SDL_FreeSurface(IMG_Load(path.c_str()));
    }
#else
#error "FUZZ_LOAD is 1, 2 or 3"
#endif
    return 0;
}
