#pragma once

// Files the libraries cannot take: shapes known to crash or hang SDL 1.2, SDL_mixer 1.2 or
// SDL_image 1.2 are refused before the library reads them. Each check reads headers or walks
// chunk lengths, never decodes, and passes whatever it does not recognise on to the library,
// which reports it as before. A refusal returns false with SDL's error text set to
// "Couldn't load <path>: <what is wrong>", for the caller to fail as the library call would.

#include <SDL.h>

namespace shell {

/// Checks the effect (WAV, AIFF, 8SVX or Creative Voice) in `stream`, read from `path`, before
/// Mix_LoadWAV_RW reads it; the stream is left where it was. Needs the audio device open.
[[nodiscard]] bool checkEffectFile(SDL_RWops* stream, const char* path);

/// Checks the picture at `path` before IMG_Load reads it. A file that cannot be opened passes:
/// IMG_Load reports that itself.
[[nodiscard]] bool checkPictureFile(const char* path);

} // namespace shell
