// Whole runs of the real program, headless, with the recording library preloaded.
#include "support/Capture.hpp"
#include "support/Session.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <sstream>

namespace {

using namespace testing_support;

const char* const kCaptionHex = "E382B8E383A5E383BCE382AFE3839CE38383E382AFE382B9";

TEST(Session, StartUpRunAndShutdownMakeTheirCallsInOrder) {
    const Scratch scratch;
    const auto run = runSession(scratch, SessionOptions("wait:100 quit"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");

    const auto& log = run.log;
    const std::size_t iconLoad = findLine(log, "IMG_Load data/images/icon.bmp");
    ASSERT_LT(iconLoad, log.size());
    const std::string icon = lastWord(log[iconLoad]);
    const std::size_t backgroundLoad = findLine(log, "IMG_Load data/b.png");
    ASSERT_LT(backgroundLoad, log.size());
    const std::string background = lastWord(log[backgroundLoad]);

    const std::vector<std::string> expected{
        "SDL_Init 0x231",
        // Window managers read the icon when the window is mapped, so it goes first.
        "IMG_Load data/images/icon.bmp",
        "SDL_LockSurface " + icon,
        "SDL_SetColorKey " + icon + " 0x1000 15",
        "SDL_UnlockSurface " + icon,
        "SDL_WM_SetIcon " + icon + " (null)",
        "SDL_FreeSurface " + icon,
        "SDL_SetVideoMode 320 240 0 0x40000000",
        std::string("SDL_WM_SetCaption ") + kCaptionHex + " (empty)",
        "SDL_EnableUNICODE 1",
        "Mix_OpenAudio 44100 0x8010 2 4096",
        "IMG_Load data/b.png",
        "SDL_UpperBlit " + background + " (null) (null)",
        "SDL_Flip",
        "SDL_Flip",
        "event quit",
        "SDL_FreeSurface " + background,
        "Mix_CloseAudio",
        "SDL_Quit",
    };
    std::size_t at = 0;
    for (const auto& step : expected) {
        at = findLine(log, step, at);
        ASSERT_LT(at, log.size()) << "missing or out of order: " << step;
        ++at;
    }
    EXPECT_EQ(countLines(log, "SDL_Quit"), 1U);
    EXPECT_EQ(countLines(log, "Mix_CloseAudio"), 1U);
    EXPECT_EQ(countLines(log, "SDL_UpperBlit"), 1U) << "the picture is blitted once";
    EXPECT_EQ(countLines(log, "SDL_Flip"), 2U) << "two flips before the first event";
    // Addresses are reused (the picture may take the icon's), and SDL_Quit frees SDL's own
    // surfaces.
    const std::vector<std::string> running(log.begin() + static_cast<long>(backgroundLoad),
                                           log.begin() +
                                               static_cast<long>(findLine(log, "SDL_Quit")));
    EXPECT_EQ(countLines(running, "SDL_FreeSurface"), 1U) << "the picture, once";
}

TEST(Session, ScreenIsFlippedOnceAfterEveryEvent) {
    const Scratch scratch;
    const auto run =
        runSession(scratch, SessionOptions("key:s key:a motion key:f key:F4:0x1100 up:s quit"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Only s and f are jukebox events (a, motion, Num Lock+Alt+F4 and the release are dropped).
    EXPECT_EQ(countLines(run.log, "SDL_Flip"), 4U);
}

TEST(Session, TerminationSignalsQuitLikeTheCloseButton) {
    for (const int signal : {SIGTERM, SIGINT}) {
        const Scratch scratch;
        SessionOptions options("key:1 key:s");
        options.signal = signal;
        options.signalAfter = std::chrono::milliseconds(500);
        const auto run = runSession(scratch, options);
        EXPECT_EQ(run.exitCode, 0) << "signal " << signal << ": " << run.err;
        EXPECT_EQ(run.err, "");
        const std::string track = lastWord(run.log[findLine(run.log, "Mix_LoadMUS")]);
        const std::string picture = lastWord(run.log[findLine(run.log, "IMG_Load data/b.png")]);
        const std::size_t music = findLine(run.log, "Mix_FreeMusic " + track);
        EXPECT_LT(music, findLine(run.log, "SDL_FreeSurface " + picture, music));
        EXPECT_EQ(countLines(run.log, "Mix_CloseAudio"), 1U);
        EXPECT_EQ(countLines(run.log, "SDL_Quit"), 1U);
    }
}

TEST(Session, InitResultOtherThanMinusOneIsSuccess) {
    const Scratch scratch;
    const auto run = runSession(scratch, SessionOptions("quit", {"SHIM_INIT_RESULT=-2"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(countLines(run.log, "SDL_Quit"), 1U);
    EXPECT_EQ(countLines(run.log, "Mix_CloseAudio"), 1U);
}

struct FatalCase {
    const char* name;
    std::vector<std::string> env;
    std::vector<std::string> missing;
    std::vector<std::string> corrupt;
    const char* events;
    const char* report;
    std::size_t sdlQuits;
};

void PrintTo(const FatalCase& c, std::ostream* out) {
    *out << c.name;
}

class Fatal : public ::testing::TestWithParam<FatalCase> {};

TEST_P(Fatal, ReportsOnceClosesSdlAndExitsOne) {
    const FatalCase& c = GetParam();
    const Scratch scratch;
    for (const auto& name : c.missing) {
        scratch.remove(name);
    }
    for (const auto& name : c.corrupt) {
        scratch.corrupt(name);
    }
    const auto run = runSession(scratch, SessionOptions(c.events, c.env));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, c.report);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(countLines(run.log, "SDL_Quit"), c.sdlQuits);
    EXPECT_EQ(countLines(run.log, "Mix_CloseAudio"), 0U);
}

const char* const kAllKeys = "key:1 key:2 key:f key:s wait:50 key:m key:m key:m key:m key:m key:m "
                             "key:b key:b key:b key:b key:b key:b wait:500 quit";

INSTANTIATE_TEST_SUITE_P(
    Session, Fatal,
    ::testing::Values(
        FatalCase{"InitFails",
                  {"SHIM_FAIL=SDL_Init"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (SDL_Init\nSDL message: SDL_Init refused by the test)\n",
                  0},
        FatalCase{"NoVideoDevice",
                  {"SDL_VIDEODRIVER=bogus"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (SDL_Init\nSDL message: No available video device)\n",
                  0},
        FatalCase{"VideoModeFails",
                  {"SHIM_FAIL=SDL_SetVideoMode"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (SDL_SetVideoMode\nSDL message: SDL_SetVideoMode refused by "
                  "the test)\n",
                  1},
        FatalCase{
            "IconMissing",
            {},
            {"images/icon.bmp"},
            {},
            "quit",
            "jukebox: user error (IMG_Load\nSDL message: Couldn't open data/images/icon.bmp)\n",
            1},
        FatalCase{"AudioFails",
                  {"SHIM_FAIL=Mix_OpenAudio"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (Mix_OpenAudio\nSDL message: Mix_OpenAudio refused by the "
                  "test)\n",
                  1},
        FatalCase{"EmptySdlError",
                  {"SHIM_FAIL=Mix_OpenAudio", "SHIM_EMPTY_ERROR=1"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (Mix_OpenAudio\nSDL message: No SDL error)\n",
                  1},
        FatalCase{"BackgroundMissing",
                  {},
                  {"b.png"},
                  {},
                  "quit",
                  "jukebox: user error (IMG_Load\nSDL message: Couldn't open data/b.png)\n",
                  1},
        FatalCase{"ScreenMissing",
                  {"SHIM_FAIL=SDL_GetVideoSurface@2"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (SDL_GetVideoSurface\nSDL message: SDL_GetVideoSurface "
                  "refused by the test)\n",
                  1},
        FatalCase{"FlipFailsInTheLoop",
                  {"SHIM_FAIL=SDL_Flip@3"},
                  {},
                  {},
                  "key:s wait:100 quit",
                  "jukebox: user error (SDL_Flip\nSDL message: SDL_Flip refused by the test)\n",
                  1},
        FatalCase{"TrackMissing",
                  {},
                  {"bgm2.ogg"},
                  {},
                  "key:1 wait:200 key:2 wait:5000 quit",
                  "jukebox: user error (Mix_LoadMUS\nSDL message: Couldn't open 'data/bgm2.ogg')\n",
                  1},
        FatalCase{"EffectMissing",
                  {},
                  {"s0.wav"},
                  {},
                  "key:s wait:5000 quit",
                  "jukebox: user error (Mix_LoadWAV\nSDL message: Couldn't open data/s0.wav)\n",
                  1},
        FatalCase{"EffectCorrupt",
                  {},
                  {},
                  {"m0.wav", "m1.wav"},
                  "key:m wait:5000 quit",
                  "jukebox: user error (Mix_LoadWAV\nSDL message: Unrecognized sound file type)\n",
                  1},
        FatalCase{"IconCorrupt",
                  {},
                  {},
                  {"images/icon.bmp"},
                  "quit",
                  "jukebox: user error (IMG_Load\nSDL message: Unsupported image format)\n",
                  1},
        FatalCase{"BackgroundCorrupt",
                  {},
                  {},
                  {"b.png"},
                  "quit",
                  "jukebox: user error (IMG_Load\nSDL message: Unsupported image format)\n",
                  1},
        FatalCase{
            "TrackCorrupt",
            {},
            {},
            {"bgm1.ogg"},
            "key:2 key:1 wait:5000 quit",
            "jukebox: user error (Mix_LoadMUS\nSDL message: Not an Ogg Vorbis audio stream)\n",
            1},
        FatalCase{"NoAudioDevice",
                  {"SDL_AUDIODRIVER=bogus"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (Mix_OpenAudio\nSDL message: No SDL error)\n",
                  1},
        FatalCase{"FirstFlipFails",
                  {"SHIM_FAIL=SDL_Flip@1"},
                  {},
                  {},
                  "quit",
                  "jukebox: user error (SDL_Flip\nSDL message: SDL_Flip refused by the test)\n",
                  1}),
    [](const auto& param) { return std::string(param.param.name); });

/// The n-th space-separated word of a line.
std::string word(const std::string& line, std::size_t n) {
    std::istringstream words(line);
    std::string w;
    for (std::size_t i = 0; i <= n && (words >> w); ++i) {
    }
    return w;
}

// Counts the effect chunks and tracks alive from the recorded loads and releases.
struct Lifetimes {
    std::size_t mostChunks = 0;
    std::size_t mostTracks = 0;
    std::size_t chunksLeft = 0;
    std::size_t tracksLeft = 0;
    std::size_t releasedWhilePlaying = 0;
};

Lifetimes lifetimes(const std::vector<std::string>& log) {
    Lifetimes result;
    std::set<std::string> chunks;
    std::set<std::string> tracks;
    for (const auto& line : log) {
        if (line.ends_with("= (nil)")) {
            continue; // a failed load: nothing to free
        }
        if (line.starts_with("Mix_LoadWAV_RW")) {
            chunks.insert(lastWord(line));
        } else if (line.starts_with("Mix_FreeChunk")) {
            result.releasedWhilePlaying += line.ends_with("PLAYING") ? 1 : 0;
            chunks.erase(word(line, 1));
        } else if (line.starts_with("Mix_LoadMUS")) {
            tracks.insert(lastWord(line));
        } else if (line.starts_with("Mix_FreeMusic")) {
            tracks.erase(lastWord(line));
        }
        result.mostChunks = std::max(result.mostChunks, chunks.size());
        result.mostTracks = std::max(result.mostTracks, tracks.size());
    }
    result.chunksLeft = chunks.size();
    result.tracksLeft = tracks.size();
    return result;
}

TEST(Session, AMissingEffectIsReportedByTheFileThePressDrew) {
    const Scratch scratch;
    scratch.remove("b0.wav");
    scratch.remove("b1.wav");
    const auto run = runSession(scratch, SessionOptions("key:1 key:s key:b wait:5000 quit"));
    EXPECT_EQ(run.exitCode, 1);
    const std::string report =
        "jukebox: user error (Mix_LoadWAV\nSDL message: Couldn't open data/b";
    EXPECT_TRUE(run.err == report + "0.wav)\n" || run.err == report + "1.wav)\n") << run.err;
    EXPECT_EQ(countLines(run.log, "SDL_Quit"), 1U);
    EXPECT_EQ(countLines(run.log, "Mix_CloseAudio"), 0U);
}

TEST(Session, AFailureStopsTheSoundingEffectsBeforeFreeingThem) {
    const Scratch scratch;
    scratch.remove("bgm2.ogg");
    // The effects last 0.3 s: all three still sound when 2 fails.
    const auto run =
        runSession(scratch, SessionOptions("key:1 key:m key:s key:b key:2 wait:5000 quit"));
    ASSERT_EQ(run.exitCode, 1) << run.err;
    const Lifetimes counts = lifetimes(run.log);
    EXPECT_EQ(countLines(run.log, "Mix_LoadWAV_RW"), 3U);
    EXPECT_EQ(counts.releasedWhilePlaying, 0U);
    EXPECT_EQ(counts.chunksLeft, 0U);
    EXPECT_EQ(counts.tracksLeft, 0U);
}

TEST(Session, HandlesStayBoundedOverHundredsOfPresses) {
    std::string events = "key:1 ";
    const char* keys[] = {"key:s", "key:m", "key:b", "key:s", "key:m"};
    for (int press = 0; press < 300; ++press) {
        events += keys[press % 5];
        events += press % 60 == 30 ? " key:2 " : " wait:3 ";
    }
    events += "key:f key:1 wait:100 quit";
    const Scratch scratch;
    const auto run = runSession(scratch, SessionOptions(events));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Lifetimes counts = lifetimes(run.log);
    EXPECT_EQ(countLines(run.log, "Mix_LoadWAV_RW"), 300U);
    EXPECT_LE(counts.mostChunks, 9U) << "eight kept effects plus the one just loaded";
    EXPECT_LE(counts.mostTracks, 2U) << "one kept track plus the one just loaded";
    EXPECT_EQ(counts.releasedWhilePlaying, 0U);
    EXPECT_EQ(counts.chunksLeft, 0U);
    EXPECT_EQ(counts.tracksLeft, 0U);
}

TEST(Session, ShutdownReleasesTheMusicThenTheEffectsThenThePicture) {
    const Scratch scratch;
    const auto run = runSession(scratch, SessionOptions("key:1 key:s wait:100 quit"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto& log = run.log;
    const std::size_t quit = findLine(log, "event quit");
    const std::string track = lastWord(log[findLine(log, "Mix_LoadMUS")]);
    const std::size_t music = findLine(log, "Mix_FreeMusic " + track, quit);
    const std::size_t effect = findLine(log, "Mix_FreeChunk", quit);
    const std::size_t picture = findLine(
        log, "SDL_FreeSurface " + lastWord(log[findLine(log, "IMG_Load data/b.png")]), quit);
    const std::size_t audio = findLine(log, "Mix_CloseAudio", quit);
    EXPECT_LT(quit, music);
    EXPECT_LT(music, effect);
    EXPECT_LT(effect, picture);
    EXPECT_LT(picture, audio);
    EXPECT_LT(audio, findLine(log, "SDL_Quit", quit));
}

TEST(Session, EffectVariantsAreDrawnAtRandomAndPlayedOnFreeChannels) {
    std::string events;
    for (int press = 0; press < 24; ++press) {
        events += "key:m wait:2 key:b wait:2 key:s wait:2 ";
    }
    events += "wait:100 quit";
    const Scratch scratch;
    const auto run = runSession(scratch, SessionOptions(events));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::map<std::string, std::size_t> opened;
    for (const auto& line : run.log) {
        if (line.starts_with("SDL_RWFromFile data/")) {
            ++opened[word(line, 1)];
        }
    }
    EXPECT_GT(opened["data/m0.wav"], 0U);
    EXPECT_GT(opened["data/m1.wav"], 0U);
    EXPECT_GT(opened["data/b0.wav"], 0U);
    EXPECT_GT(opened["data/b1.wav"], 0U);
    EXPECT_EQ(opened["data/m0.wav"] + opened["data/m1.wav"], 24U);
    EXPECT_EQ(opened["data/b0.wav"] + opened["data/b1.wav"], 24U);
    EXPECT_EQ(opened["data/s0.wav"], 24U);
    EXPECT_EQ(countLines(run.log, "SDL_RWFromFile data/s0.wav rb"), 24U);
    EXPECT_EQ(countLines(run.log, "Mix_PlayChannelTimed -1 "), 72U);
    for (const auto& line : run.log) {
        if (line.starts_with("Mix_PlayChannelTimed")) {
            EXPECT_NE(line.find(" 0 -1 = "), std::string::npos) << line;
        }
    }
}

} // namespace
