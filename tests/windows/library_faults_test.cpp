// The libraries of the Windows build are made from Debian's sources with patches of the
// program's own (tools/patches/): read straight by the library, with none of the program's checks
// in front, no reproducer of tests/corpus/ crashes or hangs it any more (either would end this
// test). SDL's WAV reader refuses its shapes with an error; the patched SDL_mixer reads some of
// the others as sounds, which is as good.

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

TEST(LibraryFaults, NoReproducerCrashesOrHangsThePatchedLibraries) {
    ASSERT_NE(SDL_Init(SDL_INIT_AUDIO), -1) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096), 0) << SDL_GetError();
    int tried = 0;
    for (const auto& entry : std::filesystem::directory_iterator(JUKEBOX_CORPUS)) {
        const std::string path = entry.path().string();
        const std::string name = entry.path().filename().string();
        SDL_ClearError();
        const bool wavReader =
            name.rfind("effect-pcm-", 0) == 0 || name.find("adpcm") != std::string::npos;
        bool refused = true;
        if (entry.path().extension() == ".png") {
            SDL_Surface* picture = IMG_Load(path.c_str());
            refused = picture == nullptr;
            SDL_FreeSurface(picture);
        } else {
            Mix_Chunk* chunk = Mix_LoadWAV_RW(SDL_RWFromFile(path.c_str(), "rb"), 1);
            refused = chunk == nullptr;
            Mix_FreeChunk(chunk);
        }
        if (wavReader) {
            EXPECT_TRUE(refused && *SDL_GetError() != '\0') << name;
        }
        std::printf("%s: %s\n", name.c_str(), refused ? SDL_GetError() : "a sound");
        ++tried;
    }
    EXPECT_GT(tried, 10);
    Mix_CloseAudio();
    SDL_Quit();
}

} // namespace
