#pragma once

#include <SDL.h>

#include <memory>

namespace shell {

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const noexcept { SDL_FreeSurface(surface); }
};

/// Sole owner of a surface the program loaded; the video surface is SDL's and is never wrapped.
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

/// Calls SDL_Quit once when it goes out of scope; made right after SDL_Init succeeded.
class SdlQuitGuard {
  public:
    SdlQuitGuard() = default;
    SdlQuitGuard(const SdlQuitGuard&) = delete;
    SdlQuitGuard& operator=(const SdlQuitGuard&) = delete;
    ~SdlQuitGuard() { SDL_Quit(); }
};

} // namespace shell
