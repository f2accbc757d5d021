#pragma once

#include <SDL_mixer.h>

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace jukebox {

struct MusicDeleter {
    void operator()(Mix_Music* music) const noexcept { Mix_FreeMusic(music); }
};
struct ChunkDeleter {
    void operator()(Mix_Chunk* chunk) const noexcept { Mix_FreeChunk(chunk); }
};

/// Sole owner of one loaded music track.
using MusicHandle = std::unique_ptr<Mix_Music, MusicDeleter>;
/// Sole owner of one loaded effect.
using ChunkHandle = std::unique_ptr<Mix_Chunk, ChunkDeleter>;

/// Loads a track afresh with Mix_LoadMUS; throws the "Mix_LoadMUS" failure.
[[nodiscard]] MusicHandle loadMusic(const char* path);
/// Loads an effect afresh through SDL_RWFromFile and Mix_LoadWAV_RW; throws the "Mix_LoadWAV"
/// failure.
[[nodiscard]] ChunkHandle loadEffect(const char* path);

/// One asset: its path, and the loader that reads that same path.
template <typename Handle> struct CacheEntry {
    const char* key;
    Handle (*loader)(const char* path);
};
using MusicEntry = CacheEntry<MusicHandle>;
using EffectEntry = CacheEntry<ChunkHandle>;

/// The table of sound assets. It holds paths and loaders, never a loaded sound.
class PKCache {
  public:
    constexpr PKCache(std::span<const MusicEntry> cacheBGM,
                      std::span<const EffectEntry> cacheSE) noexcept
        : bgm_(cacheBGM), se_(cacheSE) {}
    [[nodiscard]] constexpr std::span<const MusicEntry> cacheBGM() const noexcept { return bgm_; }
    [[nodiscard]] constexpr std::span<const EffectEntry> cacheSE() const noexcept { return se_; }

  private:
    std::span<const MusicEntry> bgm_;
    std::span<const EffectEntry> se_;
};

inline constexpr const char* kTrack1 = "data/bgm1.ogg";
inline constexpr const char* kTrack2 = "data/bgm2.ogg";
inline constexpr std::string_view kEffectPrefixM = "data/m";
inline constexpr std::string_view kEffectPrefixS = "data/s";
inline constexpr std::string_view kEffectPrefixB = "data/b";

inline constexpr std::array<MusicEntry, 2> kMusicEntries{{
    {kTrack1, loadMusic},
    {kTrack2, loadMusic},
}};
inline constexpr std::array<EffectEntry, 5> kEffectEntries{{
    {"data/m0.wav", loadEffect},
    {"data/m1.wav", loadEffect},
    {"data/s0.wav", loadEffect},
    {"data/b0.wav", loadEffect},
    {"data/b1.wav", loadEffect},
}};

/// The program's one sound table.
inline constexpr PKCache kJukeboxCache{kMusicEntries, kEffectEntries};

/// Loads the track filed under exactly `key`; a key not in the list throws the miss failure.
[[nodiscard]] MusicHandle fetchCacheBGM(std::span<const MusicEntry> cacheBGM, std::string_view key);
/// Loads the effect filed under exactly `key`; a key not in the list throws the miss failure.
[[nodiscard]] ChunkHandle fetchCacheSE(std::span<const EffectEntry> cacheSE, std::string_view key);

/// The path of effect `k` under `prefix`: prefix, k in decimal, ".wav".
[[nodiscard]] std::string effectKey(std::string_view prefix, int k);

} // namespace jukebox
