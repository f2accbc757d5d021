#include "jukebox/SoundCache.hpp"

#include "shell/Failure.hpp"
#include "shell/FileCheck.hpp"
#include "shell/SdlHandles.hpp"

namespace jukebox {

namespace {

[[noreturn]] void failLookup(std::string_view location, std::string_view function) {
    std::string text(location);
    text += ": Non-exhaustive patterns in";
    text += " function ";
    text += function;
    throw shell::Failure(shell::FailureKind::Plain, text);
}

template <typename Handle>
const CacheEntry<Handle>* findEntry(std::span<const CacheEntry<Handle>> entries,
                                    std::string_view key) {
    for (const auto& entry : entries) {
        if (std::string_view(entry.key) == key) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

MusicHandle loadMusic(const char* path) {
    if (!shell::checkMusicFile(path)) {
        shell::failWithSdlError("Mix_LoadMUS");
    }
    SDL_ClearError();
    MusicHandle music(Mix_LoadMUS(path));
    if (!music) {
        shell::failLoad("Mix_LoadMUS", path);
    }
    return music;
}

ChunkHandle loadEffect(const char* path) {
    if (!shell::checkOrdinaryFile(path)) {
        shell::failWithSdlError("Mix_LoadWAV");
    }
    shell::RwPtr stream(SDL_RWFromFile(path, "rb"));
    // SDL's own text names a file that cannot be opened; the mixer's would only say the stream
    // is missing.
    if (!stream || !shell::checkEffectFile(stream.get(), path)) {
        shell::failWithSdlError("Mix_LoadWAV");
    }
    SDL_ClearError();
    // The mixer takes the stream over and closes it, whether the load succeeds or not.
    ChunkHandle chunk(Mix_LoadWAV_RW(stream.release(), 1));
    if (!chunk) {
        shell::failLoad("Mix_LoadWAV", path);
    }
    return chunk;
}

MusicHandle fetchCacheBGM(std::span<const MusicEntry> cacheBGM, std::string_view key) {
    const MusicEntry* entry = findEntry(cacheBGM, key);
    if (entry == nullptr) {
        failLookup("Plinkar:(196,0)-(200,33)", "fetchCacheBGM");
    }
    return entry->loader(entry->key);
}

ChunkHandle fetchCacheSE(std::span<const EffectEntry> cacheSE, std::string_view key) {
    const EffectEntry* entry = findEntry(cacheSE, key);
    if (entry == nullptr) {
        failLookup("Plinkar:(202,0)-(206,32)", "fetchCacheSE");
    }
    return entry->loader(entry->key);
}

std::string effectKey(std::string_view prefix, int k) {
    std::string key(prefix);
    key += std::to_string(k);
    key += ".wav";
    return key;
}

} // namespace jukebox
