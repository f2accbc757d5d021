#include "jukebox/View.hpp"

#include "shell/Failure.hpp"
#include "shell/FileCheck.hpp"

#include <SDL_image.h>

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
    if (!shell::checkPictureFile(kBackgroundPath)) {
        shell::failWithSdlError("IMG_Load");
    }
    shell::SurfacePtr background(IMG_Load(kBackgroundPath));
    if (!background) {
        shell::failWithSdlError("IMG_Load");
    }
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
