#pragma once

#include <SDL.h>

#include <memory>

namespace shell {

struct SurfaceDeleter {
    void operator()(SDL_Surface* surface) const noexcept { SDL_FreeSurface(surface); }
};

/// Sole owner of a surface the program loaded; the video surface is SDL's and is never wrapped.
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

struct RwCloser {
    void operator()(SDL_RWops* stream) const noexcept { SDL_RWclose(stream); }
};

/// Sole owner of an open stream, until it is handed to a library that closes it.
using RwPtr = std::unique_ptr<SDL_RWops, RwCloser>;

/// Calls SDL_Quit once when it goes out of scope; made right after SDL_Init succeeded.
class SdlQuitGuard {
  public:
    SdlQuitGuard() = default;
    SdlQuitGuard(const SdlQuitGuard&) = delete;
    SdlQuitGuard& operator=(const SdlQuitGuard&) = delete;
    ~SdlQuitGuard() { SDL_Quit(); }
};

} // namespace shell
