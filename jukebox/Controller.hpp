#pragma once

#include "jukebox/SoundCache.hpp"

#include <SDL_mixer.h>

#include <array>

namespace jukebox {

/// The sounds the jukebox has handed to the mixer, kept alive while they may still play: the
/// track started last, and per mixing channel the effect it was last given.
struct PlayingSounds {
    MusicHandle music;
    std::array<ChunkHandle, MIX_CHANNELS> channels;

    PlayingSounds() = default;
    PlayingSounds(const PlayingSounds&) = delete;
    PlayingSounds& operator=(const PlayingSounds&) = delete;
    /// Halts every channel before the kept effects are freed, also when a failure unwinds.
    ~PlayingSounds() { Mix_HaltChannel(-1); }
};

/// The jukebox: shows the background, runs the loop until quit, then releases the music, the
/// effects and the background, in that order.
void jukeboxMain();

/// Presents the screen, waits for the next event and acts on it, until PKRQuit.
void jukeboxLoop(const PKCache& cache, PlayingSounds& playing);

/// Starts the track filed under `key`, looping; the previous track is released only afterwards.
void playMusic(const PKCache& cache, PlayingSounds& playing, const char* key);

/// Plays one effect under `prefix`, its variant drawn from lo..hi, on the first free channel.
void playEffect(const PKCache& cache, PlayingSounds& playing, std::string_view prefix, int lo,
                int hi);

} // namespace jukebox
