// What a listener hears: whole runs of the real program with the mix recorded by the disk audio
// driver. The test assets are pure tones, so the level of each frequency tells which sound plays.
#include "support/Capture.hpp"
#include "support/Session.hpp"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

constexpr double kTrack1 = 330;
constexpr double kTrack2 = 550;
constexpr std::size_t kWindow = kSampleRate / 10; // levels in tenths of a second
constexpr double kFull = 0.45;                    // the tracks are recorded at 0.5
constexpr double kSilent = 0.01;

/// The first window at or after `from` for which `holds` is true, or levels.size().
template <typename Predicate>
std::size_t firstWindow(const std::vector<double>& levels, std::size_t from, Predicate holds) {
    while (from < levels.size() && !holds(levels[from])) {
        ++from;
    }
    return from;
}

Capture record(const Scratch& scratch, const std::string& events) {
    SessionOptions options(events);
    options.capture = true;
    const auto run = runSession(scratch, options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return Capture(run.capture);
}

TEST(Sound, SilentUntilAKeyThenTracksSwitchFadeAndReturnAtFullVolume) {
    const Scratch scratch;
    const Capture capture = record(
        scratch, "wait:300 key:1 wait:600 key:2 wait:600 key:f wait:800 key:1 wait:400 quit");
    const auto one = capture.levels(kTrack1, kWindow);
    const auto two = capture.levels(kTrack2, kWindow);
    ASSERT_GT(one.size(), 40U) << capture.seconds() << " s recorded";

    const std::size_t start = firstWindow(one, 0, [](double l) { return l > 0.1; });
    ASSERT_GE(start, 3U) << "silence before the first key";
    for (std::size_t w = 0; w < start; ++w) {
        EXPECT_LT(std::max(one[w], two[w]), kSilent) << "window " << w;
    }

    const std::size_t second = firstWindow(two, start, [](double l) { return l > kFull; });
    ASSERT_GT(second, start + 4) << "track 1 plays before track 2";
    for (std::size_t w = start + 1; w + 1 < second; ++w) {
        EXPECT_GT(one[w], kFull) << "window " << w;
        EXPECT_LT(two[w], kSilent) << "window " << w;
    }

    const std::size_t fadeStart = firstWindow(two, second, [](double l) { return l < kFull; });
    const std::size_t fadeEnd = firstWindow(two, fadeStart, [](double l) { return l < kSilent; });
    ASSERT_LT(fadeEnd, two.size());
    EXPECT_GE(fadeEnd - fadeStart, 8U) << "the fade lasts about a second";
    EXPECT_LE(fadeEnd - fadeStart, 12U) << "the fade lasts about a second";
    for (std::size_t w = second + 1; w < fadeEnd; ++w) {
        EXPECT_LT(one[w], kSilent) << "track 1 stays stopped, window " << w;
        EXPECT_LE(two[w], two[w - 1] + 0.01) << "the fade only goes down, window " << w;
    }

    const std::size_t again = firstWindow(one, fadeEnd, [](double l) { return l > 0.1; });
    ASSERT_LT(again + 3, one.size()) << "track 1 plays again after the fade";
    EXPECT_GT(again, fadeEnd + 2) << "silence between the fade and the next key";
    EXPECT_GT(one[again + 1], kFull) << "full volume after a fade";
    EXPECT_GT(one[again + 2], kFull) << "full volume after a fade";
}

TEST(Sound, ATrackRequestedDuringAFadeStartsWhenTheFadeHasEnded) {
    const Scratch scratch;
    const Capture capture = record(scratch, "key:1 wait:400 key:f wait:20 key:2 wait:900 quit");
    const auto one = capture.levels(kTrack1, kWindow);
    const auto two = capture.levels(kTrack2, kWindow);
    const std::size_t fadeStart = firstWindow(one, 2, [](double l) { return l < kFull; });
    const std::size_t fadeEnd = firstWindow(one, fadeStart, [](double l) { return l < kSilent; });
    const std::size_t second = firstWindow(two, 0, [](double l) { return l > 0.1; });
    ASSERT_LT(second, two.size()) << "track 2 starts";
    EXPECT_GE(fadeEnd - fadeStart, 8U);
    EXPECT_GE(second + 1, fadeEnd) << "track 2 waits for the fade to end";
    EXPECT_GT(two[second + 1], kFull);
}

TEST(Sound, EffectsPlayTheirOwnTonesOverTheMusic) {
    const Scratch scratch;
    std::string events = "key:2 wait:200 key:s wait:250 ";
    // Sixteen draws each: both variants occur but for a chance of about 1 in 16000.
    for (int press = 0; press < 16; ++press) {
        events += "key:m wait:150 key:b wait:150 ";
    }
    events += "quit";
    const Capture capture = record(scratch, events);
    const auto heard = [&](double hz) {
        double loudest = 0;
        for (const double level : capture.levels(hz, kWindow / 2)) {
            loudest = std::max(loudest, level);
        }
        return loudest;
    };
    EXPECT_GT(heard(2600), 0.3) << "s";
    EXPECT_GT(heard(1100), 0.3) << "m, first variant";
    EXPECT_GT(heard(1700), 0.3) << "m, second variant";
    EXPECT_GT(heard(3700), 0.3) << "b, first variant";
    EXPECT_GT(heard(5200), 0.3) << "b, second variant";
    const auto music = capture.levels(kTrack2, kWindow);
    const std::size_t start = firstWindow(music, 0, [](double l) { return l > kFull; });
    for (std::size_t w = start; w + 2 < music.size(); ++w) {
        EXPECT_GT(music[w], kFull) << "the track keeps playing through the effects, window " << w;
    }
}

} // namespace
