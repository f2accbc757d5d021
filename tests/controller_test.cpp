#include "jukebox/Plinkar.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <set>

namespace {

using jukebox::kJukeboxCache;
using jukebox::PlayingSounds;

// The controller in process: dummy video and audio drivers, the test assets in the current
// directory.
class Controller : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO), -1) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(320, 240, 0, SDL_SWSURFACE | SDL_DOUBLEBUF), nullptr);
        ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096), 0) << SDL_GetError();
    }
    void TearDown() override {
        Mix_CloseAudio();
        SDL_Quit();
    }
    static void pushKey(SDLKey sym) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = sym;
        SDL_PushEvent(&event);
    }
};

TEST_F(Controller, EachChannelKeepsTheEffectItPlaysAndNoMore) {
    PlayingSounds playing;
    for (int press = 0; press < 40; ++press) {
        jukebox::playEffect(kJukeboxCache, playing, jukebox::kEffectPrefixM, 0, 1);
        std::set<Mix_Chunk*> kept;
        for (int channel = 0; channel < MIX_CHANNELS; ++channel) {
            const auto& slot = playing.channels[static_cast<std::size_t>(channel)];
            if (Mix_Playing(channel) != 0) {
                EXPECT_EQ(Mix_GetChunk(channel), slot.get()) << "channel " << channel;
            }
            if (slot) {
                kept.insert(slot.get());
            }
        }
        EXPECT_LE(kept.size(), static_cast<std::size_t>(MIX_CHANNELS));
    }
    Mix_HaltChannel(-1);
}

TEST_F(Controller, ANewTrackReplacesTheKeptOneOnlyAfterItStarted) {
    PlayingSounds playing;
    jukebox::playMusic(kJukeboxCache, playing, jukebox::kTrack1);
    Mix_Music* first = playing.music.get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Mix_PlayingMusic(), 1);
    jukebox::playMusic(kJukeboxCache, playing, jukebox::kTrack2);
    EXPECT_NE(playing.music.get(), nullptr);
    EXPECT_EQ(Mix_PlayingMusic(), 1) << "releasing the old track must not stop the new one";
}

TEST_F(Controller, MainShowsPlaysAndReturnsOnQuit) {
    for (SDLKey key : {SDLK_1, SDLK_m, SDLK_s, SDLK_b, SDLK_2, SDLK_f}) {
        pushKey(key);
    }
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    jukebox::jukeboxMain();
    EXPECT_EQ(Mix_PlayingMusic(), 0) << "the music is released at shutdown";
    EXPECT_EQ(Mix_Playing(-1), 0) << "no effect plays after shutdown";
}

} // namespace
