// The libraries of the Windows build are made from Debian's sources with patches of the
// program's own (tools/patches/): read straight by the library, with none of the program's checks
// in front, every reproducer of tests/corpus/ ends in an error instead of a crash or a hang. Two
// are mended into sounds rather than refused: the AIFF whose frames SDL_mixer copied past its
// buffer, and the Creative Voice file whose mono extended block it divided by.

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

TEST(LibraryFaults, EveryReproducerEndsInAnError) {
    ASSERT_NE(SDL_Init(SDL_INIT_AUDIO), -1) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096), 0) << SDL_GetError();
    int tried = 0;
    for (const auto& entry : std::filesystem::directory_iterator(JUKEBOX_CORPUS)) {
        const std::string path = entry.path().string();
        const std::string name = entry.path().filename().string();
        SDL_ClearError();
        const bool mended = name.find("heap-overflow") != std::string::npos ||
                            name.find("extended-mono") != std::string::npos;
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
        if (!mended) {
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
