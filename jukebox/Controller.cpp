#include "jukebox/Controller.hpp"

#include "jukebox/Events.hpp"
#include "jukebox/View.hpp"
#include "shell/Util.hpp"

#include <utility>

namespace jukebox {

namespace {

constexpr int kFadeMilliseconds = 1000;

/// Acts on one event; false when the event ends the loop.
bool handle(PKREvent event, const PKCache& cache, PlayingSounds& playing) {
    switch (event) {
    case PKREvent::PKRQuit:
        return false;
    case PKREvent::PKRTmp1:
        playMusic(cache, playing, kTrack1);
        break;
    case PKREvent::PKRTmp2:
        playMusic(cache, playing, kTrack2);
        break;
    case PKREvent::PKRTmpM:
        playEffect(cache, playing, kEffectPrefixM, 0, 1);
        break;
    case PKREvent::PKRTmpS:
        playEffect(cache, playing, kEffectPrefixS, 0, 0);
        break;
    case PKREvent::PKRTmpB:
        playEffect(cache, playing, kEffectPrefixB, 0, 1);
        break;
    case PKREvent::PKRFade:
        Mix_FadeOutMusic(kFadeMilliseconds);
        break;
    case PKREvent::PKRTmp3:
    case PKREvent::PKRUp:
    case PKREvent::PKRDown:
    case PKREvent::PKRSubmit:
        break;
    }
    return true;
}

void releaseEffects(PlayingSounds& playing) {
    // Stop the channels first, so that no chunk is freed while a channel still plays it.
    Mix_HaltChannel(-1);
    for (ChunkHandle& chunk : playing.channels) {
        chunk.reset();
    }
}

} // namespace

void playMusic(const PKCache& cache, PlayingSounds& playing, const char* key) {
    MusicHandle music = fetchCacheBGM(cache.cacheBGM(), key);
    Mix_PlayMusic(music.get(), -1);
    // The old track is no longer the mixer's current music, so freeing it cannot cut anything.
    playing.music = std::move(music);
}

void playEffect(const PKCache& cache, PlayingSounds& playing, std::string_view prefix, int lo,
                int hi) {
    const int variant = shell::randomInRange(lo, hi);
    ChunkHandle chunk = fetchCacheSE(cache.cacheSE(), effectKey(prefix, variant));
    const int channel = Mix_PlayChannelTimed(-1, chunk.get(), 0, -1);
    // The mixer hands out a channel only once its previous effect has finished, so the chunk
    // kept for it can go now. With no free channel the new chunk is dropped at once.
    if (channel >= 0 && static_cast<std::size_t>(channel) < playing.channels.size()) {
        playing.channels[static_cast<std::size_t>(channel)] = std::move(chunk);
    }
}

void jukeboxLoop(const PKCache& cache, PlayingSounds& playing) {
    do {
        presentScreen();
    } while (handle(nextEvent(), cache, playing));
}

void jukeboxMain() {
    shell::SurfacePtr background = showBackground();
    PlayingSounds playing;
    jukeboxLoop(kJukeboxCache, playing);
    playing.music.reset();
    releaseEffects(playing);
    releaseBackground(std::move(background));
}

} // namespace jukebox
