#include "jukebox/View.hpp"

#include "shell/Application.hpp"
#include "shell/Failure.hpp"

namespace jukebox {

namespace {

constexpr const char* kBackgroundPath = "data/b.png";

SDL_Surface* screenSurface() {
    SDL_Surface* screen = SDL_GetVideoSurface();
    if (screen == nullptr) {
        shell::failWithSdlError("SDL_GetVideoSurface");
    }
    return screen;
}

void flip(SDL_Surface* screen) {
    if (SDL_Flip(screen) == -1) {
        shell::failWithSdlError("SDL_Flip");
    }
}

} // namespace

shell::SurfacePtr showBackground() {
    SDL_Surface* screen = screenSurface();
    shell::SurfacePtr background = shell::loadImage(kBackgroundPath);
    // Kept in the format it was loaded in; a failed blit only leaves the screen without it.
    SDL_UpperBlit(background.get(), nullptr, screen, nullptr);
    flip(screen);
    return background;
}

void presentScreen() {
    flip(screenSurface());
}

void releaseBackground(shell::SurfacePtr background) {
    background.reset();
}

} // namespace jukebox
