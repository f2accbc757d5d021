#pragma once

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

namespace support {

/// A suite of tests that load sounds: SDL's audio and the mixer are open, on the device the
/// jukebox asks for, for the whole suite (on the dummy driver the test runner picks).
class MixerSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(SDL_Init(SDL_INIT_AUDIO), -1) << SDL_GetError();
        ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096), 0) << SDL_GetError();
    }
    static void TearDownTestSuite() {
        Mix_CloseAudio();
        SDL_Quit();
    }
};

} // namespace support
