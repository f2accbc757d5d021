#pragma once

// The program's own stand-in for SDL_image where that library is not to be had (Windows): the
// one call the program makes, for the two formats it reads.

#include <SDL.h>

/// Loads the BMP or PNG at `file`, as SDL_image does: a BMP keeps its palette; on failure, null
/// and SDL's error text ("Couldn't open <file>", "Unsupported image format", libpng's words).
#ifdef __cplusplus
extern "C" {
#endif
SDL_Surface* IMG_Load(const char* file);
#ifdef __cplusplus
}
#endif
