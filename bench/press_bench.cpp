// What one key press costs inside the process: loading the sound afresh through the jukebox's
// sound table and releasing it again, next to reading the same file into memory and to making
// the same SDL_mixer calls directly. Runs in a
// directory holding data/, with the audio device open on SDL's dummy driver unless
// SDL_AUDIODRIVER names another.

#include "jukebox/SoundCache.hpp"
#include "shell/Failure.hpp"

#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Reads the whole file through stdio, as SDL_RWFromFile does, into a buffer of its own that is
// not cleared first; returns the number of bytes read.
std::size_t readFile(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    std::size_t read = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        std::rewind(file);
        if (size > 0) {
            const auto bytes =
                std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(size));
            read = std::fread(bytes.get(), 1, static_cast<std::size_t>(size), file);
            benchmark::DoNotOptimize(bytes.get());
        }
    }
    std::fclose(file);
    return read;
}

void readBytes(benchmark::State& state, const char* path) {
    std::size_t size = 0;
    for (auto _ : state) {
        size = readFile(path);
    }
    if (size == 0) {
        state.SkipWithError("cannot read the file");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}

void fetchEffect(benchmark::State& state, const char* key) {
    for (auto _ : state) {
        jukebox::ChunkHandle chunk = jukebox::fetchCacheSE(jukebox::kJukeboxCache.cacheSE(), key);
        benchmark::DoNotOptimize(chunk.get());
        chunk.reset();
    }
}

void fetchTrack(benchmark::State& state, const char* key) {
    for (auto _ : state) {
        jukebox::MusicHandle music = jukebox::fetchCacheBGM(jukebox::kJukeboxCache.cacheBGM(), key);
        benchmark::DoNotOptimize(music.get());
        music.reset();
    }
}

// The library calls alone, as a program without the sound table makes them.
void loadEffectDirectly(benchmark::State& state, const char* path) {
    for (auto _ : state) {
        Mix_Chunk* chunk = Mix_LoadWAV_RW(SDL_RWFromFile(path, "rb"), 1);
        benchmark::DoNotOptimize(chunk);
        Mix_FreeChunk(chunk);
    }
}

void loadTrackDirectly(benchmark::State& state, const char* path) {
    for (auto _ : state) {
        Mix_Music* music = Mix_LoadMUS(path);
        benchmark::DoNotOptimize(music);
        Mix_FreeMusic(music);
    }
}

void registerAll() {
    for (const auto& entry : jukebox::kJukeboxCache.cacheSE()) {
        const std::string name(entry.key);
        benchmark::RegisterBenchmark(("read/" + name).c_str(), readBytes, entry.key);
        benchmark::RegisterBenchmark(("fetchCacheSE/" + name).c_str(), fetchEffect, entry.key);
        benchmark::RegisterBenchmark(("Mix_LoadWAV_RW/" + name).c_str(), loadEffectDirectly,
                                     entry.key);
    }
    for (const auto& entry : jukebox::kJukeboxCache.cacheBGM()) {
        const std::string name(entry.key);
        benchmark::RegisterBenchmark(("read/" + name).c_str(), readBytes, entry.key);
        benchmark::RegisterBenchmark(("fetchCacheBGM/" + name).c_str(), fetchTrack, entry.key);
        benchmark::RegisterBenchmark(("Mix_LoadMUS/" + name).c_str(), loadTrackDirectly, entry.key);
    }
}

} // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (SDL_Init(SDL_INIT_AUDIO) == -1 || Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 4096) != 0) {
        std::fprintf(stderr, "press_bench: cannot open audio: %s\n", SDL_GetError());
        return 1;
    }
    // Every sound must load here, or the figures would time a failure.
    try {
        for (const auto& entry : jukebox::kJukeboxCache.cacheSE()) {
            const jukebox::ChunkHandle probe = entry.loader(entry.key);
        }
        for (const auto& entry : jukebox::kJukeboxCache.cacheBGM()) {
            const jukebox::MusicHandle probe = entry.loader(entry.key);
        }
    } catch (const shell::Failure& failure) {
        std::fprintf(stderr, "press_bench: %s\n(run it in a directory holding data/)\n",
                     failure.what());
        Mix_CloseAudio();
        SDL_Quit();
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Mix_CloseAudio();
    SDL_Quit();
    return 0;
}
