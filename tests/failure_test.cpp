#include "shell/Failure.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <sstream>

namespace {

using shell::Failure;
using shell::FailureKind;

TEST(Failure, SdlMessageIsNameLineFeedAndDetail) {
    EXPECT_EQ(shell::sdlFailureMessage("Mix_OpenAudio", "No available audio device"),
              "Mix_OpenAudio\nSDL message: No available audio device");
    EXPECT_EQ(shell::sdlFailureMessage("SDL_Flip", ""), "SDL_Flip\nSDL message: No SDL error");
    EXPECT_EQ(shell::sdlFailureMessage("SDL_Flip", nullptr), "SDL_Flip\nSDL message: No SDL error");
}

TEST(Failure, FailWithSdlErrorReadsSdlsTextAtTheThrow) {
    SDL_SetError("Couldn't open %s", "data/b.png");
    try {
        shell::failWithSdlError("IMG_Load");
        FAIL() << "failWithSdlError returned";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), FailureKind::Sdl);
        EXPECT_STREQ(failure.what(), "IMG_Load\nSDL message: Couldn't open data/b.png");
    }
    SDL_ClearError();
    EXPECT_THROW(
        {
            try {
                shell::failWithSdlError("SDL_Init");
            } catch (const Failure& failure) {
                EXPECT_STREQ(failure.what(), "SDL_Init\nSDL message: No SDL error");
                throw;
            }
        },
        Failure);
}

TEST(Failure, ReportWrapsSdlFailuresOnlyAndEndsInALineFeed) {
    std::ostringstream out;
    shell::reportFailure(out, "jukebox", Failure(FailureKind::Sdl, "IMG_Load\nSDL message: x"));
    EXPECT_EQ(out.str(), "jukebox: user error (IMG_Load\nSDL message: x)\n");

    out.str("");
    shell::reportFailure(out, "jukebox",
                         Failure(FailureKind::Plain, "Plinkar:(202,0)-(206,32): oops"));
    EXPECT_EQ(out.str(), "jukebox: Plinkar:(202,0)-(206,32): oops\n");
}

TEST(Failure, ProgramNameIsTheLastPathComponent) {
    EXPECT_EQ(shell::programName("./build/jukebox"), "jukebox");
    EXPECT_EQ(shell::programName("/usr/local/bin/jukebox"), "jukebox");
    EXPECT_EQ(shell::programName("box"), "box");
    EXPECT_EQ(shell::programName("dir/"), "jukebox");
    EXPECT_EQ(shell::programName(""), "jukebox");
    EXPECT_EQ(shell::programName(nullptr), "jukebox");
}

} // namespace
