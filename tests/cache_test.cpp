#include "jukebox/Plinkar.hpp"
#include "shell/Failure.hpp"
#include "support/MixerSuite.hpp"
#include "support/Session.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

namespace {

using jukebox::fetchCacheBGM;
using jukebox::fetchCacheSE;
using jukebox::kJukeboxCache;
using shell::Failure;
using shell::FailureKind;

/// Runs `fetch` and returns the failure it ends with.
template <typename Fetch> Failure failureOf(Fetch fetch) {
    try {
        fetch();
    } catch (const Failure& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return Failure(FailureKind::Plain, "");
}

// Loads run against the tone-coded test assets, with the audio device open on the dummy driver.
class Cache : public support::MixerSuite {};

TEST_F(Cache, TableFilesSevenAssetsUnderTheirPaths) {
    const auto bgm = kJukeboxCache.cacheBGM();
    const auto se = kJukeboxCache.cacheSE();
    ASSERT_EQ(bgm.size(), 2U);
    ASSERT_EQ(se.size(), 5U);
    EXPECT_STREQ(bgm[0].key, "data/bgm1.ogg");
    EXPECT_STREQ(bgm[1].key, "data/bgm2.ogg");
    const char* effects[] = {"data/m0.wav", "data/m1.wav", "data/s0.wav", "data/b0.wav",
                             "data/b1.wav"};
    for (std::size_t i = 0; i < se.size(); ++i) {
        EXPECT_STREQ(se[i].key, effects[i]);
        EXPECT_TRUE(fetchCacheSE(se, effects[i])) << effects[i];
    }
    EXPECT_TRUE(fetchCacheBGM(bgm, "data/bgm1.ogg"));
    EXPECT_TRUE(fetchCacheBGM(bgm, "data/bgm2.ogg"));
}

TEST_F(Cache, EffectKeysAreBuiltFromPrefixAndNumber) {
    EXPECT_EQ(jukebox::effectKey(jukebox::kEffectPrefixM, 1), "data/m1.wav");
    EXPECT_EQ(jukebox::effectKey(jukebox::kEffectPrefixS, 0), "data/s0.wav");
    EXPECT_EQ(jukebox::effectKey(jukebox::kEffectPrefixB, 10), "data/b10.wav");
    EXPECT_EQ(jukebox::effectKey(jukebox::kEffectPrefixM, -1), "data/m-1.wav");
    EXPECT_EQ(jukebox::effectKey("p", INT_MIN), "p-2147483648.wav");
}

TEST_F(Cache, MissesStopWithTheirOwnTextAndNoSdlWrapping) {
    const std::string seMiss =
        "Plinkar:(202,0)-(206,32): Non-exhaustive patterns in function fetchCacheSE";
    const std::string bgmMiss =
        "Plinkar:(196,0)-(200,33): Non-exhaustive patterns in function fetchCacheBGM";
    const auto se = kJukeboxCache.cacheSE();
    const auto bgm = kJukeboxCache.cacheBGM();
    for (const char* key : {"data/m2.wav", "data/m-1.wav", "data/M0.wav", "data/m0.WAV",
                            "data//m0.wav", "data/m0.wav ", "", "data/bgm1.ogg"}) {
        const Failure failure = failureOf([&] { (void)fetchCacheSE(se, key); });
        EXPECT_EQ(failure.kind(), FailureKind::Plain) << key;
        EXPECT_EQ(failure.what(), seMiss) << key;
    }
    for (const char* key : {"data/m0.wav", "data/bgm3.ogg", "data/BGM1.ogg"}) {
        const Failure failure = failureOf([&] { (void)fetchCacheBGM(bgm, key); });
        EXPECT_EQ(failure.kind(), FailureKind::Plain) << key;
        EXPECT_EQ(failure.what(), bgmMiss) << key;
    }
}

TEST_F(Cache, EveryFetchLoadsAFreshIndependentHandle) {
    auto first = fetchCacheBGM(kJukeboxCache.cacheBGM(), "data/bgm1.ogg");
    auto second = fetchCacheBGM(kJukeboxCache.cacheBGM(), "data/bgm1.ogg");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    first.reset();
    EXPECT_EQ(Mix_PlayMusic(second.get(), 0), 0) << "the other handle stays usable";
    Mix_HaltMusic();

    auto chunkA = fetchCacheSE(kJukeboxCache.cacheSE(), "data/s0.wav");
    auto chunkB = fetchCacheSE(kJukeboxCache.cacheSE(), "data/s0.wav");
    ASSERT_TRUE(chunkA && chunkB);
    EXPECT_NE(chunkA.get(), chunkB.get());
    EXPECT_NE(chunkA->abuf, chunkB->abuf);
}

TEST_F(Cache, MissingAndCorruptFilesGiveTheLoadersFailures) {
    const testing_support::Scratch scratch;
    scratch.remove("bgm2.ogg");
    scratch.corrupt("bgm1.ogg");
    scratch.remove("b1.wav");
    scratch.corrupt("m0.wav");
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(scratch.dir());

    const struct {
        std::function<void()> fetch;
        const char* prefix;
    } cases[] = {
        {[] { (void)fetchCacheBGM(kJukeboxCache.cacheBGM(), "data/bgm2.ogg"); },
         "Mix_LoadMUS\nSDL message: "},
        {[] { (void)fetchCacheBGM(kJukeboxCache.cacheBGM(), "data/bgm1.ogg"); },
         "Mix_LoadMUS\nSDL message: "},
        {[] { (void)fetchCacheSE(kJukeboxCache.cacheSE(), "data/b1.wav"); },
         "Mix_LoadWAV\nSDL message: "},
        {[] { (void)fetchCacheSE(kJukeboxCache.cacheSE(), "data/m0.wav"); },
         "Mix_LoadWAV\nSDL message: "},
    };
    for (const auto& c : cases) {
        const Failure failure = failureOf(c.fetch);
        EXPECT_EQ(failure.kind(), FailureKind::Sdl);
        EXPECT_TRUE(std::string(failure.what()).starts_with(c.prefix)) << failure.what();
        EXPECT_GT(std::string(failure.what()).size(), std::string(c.prefix).size())
            << failure.what();
    }
    EXPECT_TRUE(fetchCacheSE(kJukeboxCache.cacheSE(), "data/b0.wav"))
        << "the other files still load";
    std::filesystem::current_path(home);
}

} // namespace
