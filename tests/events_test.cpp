#include "jukebox/Plinkar.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using jukebox::nextEvent;
using jukebox::PKREvent;

class Events : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_NE(SDL_Init(SDL_INIT_VIDEO), -1) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(320, 240, 0, SDL_SWSURFACE), nullptr) << SDL_GetError();
    }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override {
        SDL_Event drained;
        while (SDL_PollEvent(&drained) != 0) {
        }
    }

    static void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 0); }
    static void pushKey(SDLKey sym, unsigned mod = KMOD_NONE, Uint8 type = SDL_KEYDOWN) {
        SDL_Event event{};
        event.type = type;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.sym = sym;
        event.key.keysym.mod = static_cast<SDLMod>(mod);
        push(event);
    }
    static void pushType(Uint8 type) {
        SDL_Event event{};
        event.type = type;
        push(event);
    }
    static bool queueEmpty() {
        SDL_PumpEvents();
        return SDL_PeepEvents(nullptr, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) == 0;
    }
};

TEST_F(Events, CloseRequestQuits) {
    pushType(SDL_QUIT);
    EXPECT_EQ(nextEvent(), PKREvent::PKRQuit);
}

TEST_F(Events, BoundKeysMapWhateverTheModifiers) {
    const struct {
        SDLKey sym;
        PKREvent event;
    } bindings[] = {
        {SDLK_1, PKREvent::PKRTmp1}, {SDLK_2, PKREvent::PKRTmp2}, {SDLK_m, PKREvent::PKRTmpM},
        {SDLK_s, PKREvent::PKRTmpS}, {SDLK_b, PKREvent::PKRTmpB}, {SDLK_f, PKREvent::PKRFade},
    };
    const unsigned modifiers[] = {KMOD_NONE,
                                  KMOD_LSHIFT,
                                  KMOD_RCTRL,
                                  KMOD_CAPS,
                                  KMOD_NUM,
                                  KMOD_LALT | KMOD_RALT,
                                  KMOD_LMETA | KMOD_MODE | KMOD_LCTRL};
    for (const auto& binding : bindings) {
        for (const unsigned mod : modifiers) {
            pushKey(binding.sym, mod);
            EXPECT_EQ(nextEvent(), binding.event) << binding.sym << " mod " << std::hex << mod;
        }
    }
}

TEST_F(Events, AltF4QuitsOnlyWithOneAltAndNothingElse) {
    const struct {
        unsigned mod;
        bool quits;
    } cases[] = {
        {KMOD_LALT, true},
        {KMOD_RALT, true},
        {KMOD_LALT | KMOD_RESERVED, true}, // bits outside the eleven flags are disregarded
        {KMOD_RALT | 0x0004U, true},
        {KMOD_NONE, false},
        {KMOD_LALT | KMOD_RALT, false},
        {KMOD_LALT | KMOD_NUM, false},
        {KMOD_RALT | KMOD_CAPS, false},
        {KMOD_LALT | KMOD_LSHIFT, false},
        {KMOD_LALT | KMOD_RSHIFT, false},
        {KMOD_LALT | KMOD_LCTRL, false},
        {KMOD_RALT | KMOD_RCTRL, false},
        {KMOD_LALT | KMOD_LMETA, false},
        {KMOD_LALT | KMOD_RMETA, false},
        {KMOD_LALT | KMOD_MODE, false},
        {KMOD_LCTRL, false},
    };
    for (const auto& c : cases) {
        pushKey(SDLK_F4, c.mod);
        pushKey(SDLK_s); // a marker: reached first when the F4 press was dropped
        const PKREvent first = nextEvent();
        EXPECT_EQ(first, c.quits ? PKREvent::PKRQuit : PKREvent::PKRTmpS) << std::hex << c.mod;
        if (first == PKREvent::PKRQuit) {
            EXPECT_EQ(nextEvent(), PKREvent::PKRTmpS);
        }
    }
}

TEST_F(Events, EverythingElseIsConsumedAndDropped) {
    pushKey(SDLK_1, KMOD_NONE, SDL_KEYUP);
    pushKey(SDLK_KP1);
    pushKey(SDLK_KP2);
    pushKey(SDLK_a);
    pushKey(SDLK_F4);
    pushKey(SDLK_RETURN);
    pushType(SDL_MOUSEMOTION);
    pushType(SDL_MOUSEBUTTONDOWN);
    pushType(SDL_ACTIVEEVENT);
    pushType(SDL_VIDEOEXPOSE);
    pushType(SDL_VIDEORESIZE);
    pushType(SDL_USEREVENT);
    pushKey(SDLK_b);
    EXPECT_EQ(nextEvent(), PKREvent::PKRTmpB);
    EXPECT_TRUE(queueEmpty());
}

TEST_F(Events, OnePressAndReleaseIsOneEventAndLaterEventsWait) {
    pushKey(SDLK_m);
    pushType(SDL_MOUSEMOTION);
    pushKey(SDLK_m, KMOD_NONE, SDL_KEYUP);
    pushKey(SDLK_s);
    EXPECT_EQ(nextEvent(), PKREvent::PKRTmpM);
    EXPECT_FALSE(queueEmpty()) << "events behind the returned one stay queued";
    EXPECT_EQ(nextEvent(), PKREvent::PKRTmpS);
    EXPECT_TRUE(queueEmpty());
}

TEST_F(Events, WaitsUntilAMappedEventArrives) {
    using namespace std::chrono;
    const auto start = steady_clock::now();
    std::thread feeder([] {
        std::this_thread::sleep_for(milliseconds(30));
        pushType(SDL_MOUSEMOTION);
        std::this_thread::sleep_for(milliseconds(60));
        pushKey(SDLK_2);
    });
    const PKREvent event = nextEvent();
    const auto waited = steady_clock::now() - start;
    feeder.join();
    EXPECT_EQ(event, PKREvent::PKRTmp2);
    EXPECT_GE(waited, milliseconds(80)) << "mouse motion alone must not end the wait";
}

} // namespace
