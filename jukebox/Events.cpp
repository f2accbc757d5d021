#include "jukebox/Events.hpp"

#include "shell/Platform.hpp"

#include <SDL.h>

#include <optional>

namespace jukebox {

namespace {

// Shift, Ctrl, Alt and Meta of either side, Num Lock, Caps Lock and Mode; other bits are ignored.
constexpr unsigned kConsideredModifiers = 0x7FC3;

/// Alt+F4 quits only with one Alt key down and no other modifier or lock.
bool onlyOneAlt(SDLMod mod) {
    const unsigned considered = static_cast<unsigned>(mod) & kConsideredModifiers;
    return considered == KMOD_LALT || considered == KMOD_RALT;
}

std::optional<PKREvent> translateKey(const SDL_keysym& key) {
    switch (key.sym) {
    case SDLK_1:
        return PKREvent::PKRTmp1;
    case SDLK_2:
        return PKREvent::PKRTmp2;
    case SDLK_b:
        return PKREvent::PKRTmpB;
    case SDLK_f:
        return PKREvent::PKRFade;
    case SDLK_m:
        return PKREvent::PKRTmpM;
    case SDLK_s:
        return PKREvent::PKRTmpS;
    case SDLK_F4:
        if (onlyOneAlt(key.mod)) {
            return PKREvent::PKRQuit;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<PKREvent> translate(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        return PKREvent::PKRQuit;
    case SDL_KEYDOWN:
        return translateKey(event.key.keysym);
    default:
        return std::nullopt;
    }
}

} // namespace

PKREvent nextEvent() {
    for (;;) {
        SDL_PumpEvents();
        SDL_Event event;
        if (SDL_PollEvent(&event) == 0) {
            shell::pauseBetweenPolls();
            continue;
        }
        if (const auto mapped = translate(event)) {
            return *mapped;
        }
    }
}

} // namespace jukebox
