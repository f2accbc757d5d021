#pragma once

// Which decoder may read a file: the libraries pick theirs by the file's first bytes, not its
// name, so the jukebox looks at those bytes first too. A file reaches only the decoders of the
// formats the jukebox reads, behind a walk of its headers that stands in front of the shapes
// known to crash or hang them; every other format a library would recognise is refused. What no
// library recognises goes on to it, which refuses it itself. A refusal returns false with SDL's
// error text set to "Couldn't load <path>: <what is wrong>", for the caller to fail as the
// library call would.

#include <SDL.h>

namespace shell {

/// Refuses what is not an ordinary file (a FIFO or a device would block or never end the read);
/// called before the file is opened. A file that is not there passes: its open reports it.
[[nodiscard]] bool checkOrdinaryFile(const char* path);

/// Checks the effect in `stream`, opened at its start from `path`, before Mix_LoadWAV_RW reads
/// it; the stream is left at its start. Needs the audio device open.
[[nodiscard]] bool checkEffectFile(SDL_RWops* stream, const char* path);

/// Checks the track at `path` before Mix_LoadMUS reads it. Needs the audio device open.
[[nodiscard]] bool checkMusicFile(const char* path);

/// Checks the picture at `path` before IMG_Load reads it.
[[nodiscard]] bool checkPictureFile(const char* path);

/// Fails the load `function` of `path` with SDL's text, or with the program's own words where
/// the library gave none; for the libraries' loads, with SDL's error cleared before them.
[[noreturn]] void failLoad(const char* function, const char* path);

} // namespace shell
