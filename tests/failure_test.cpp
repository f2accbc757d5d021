#include "shell/Failure.hpp"
#include "shell/FileCheck.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

// A library's load that fails without a word is reported in the program's words, never as "No
// SDL error"; one that says why keeps its text.
TEST(Failure, ALoadThatGivesNoReasonSaysWhatCouldNotBeRead) {
    SDL_ClearError();
    try {
        shell::failLoad("Mix_LoadWAV", "data/s0.wav");
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(),
                     "Mix_LoadWAV\nSDL message: Couldn't load data/s0.wav: it could "
                     "not be read, and the library gave no reason");
    }
    SDL_SetError("Not an Ogg Vorbis audio stream");
    EXPECT_THROW(shell::failLoad("Mix_LoadMUS", "data/bgm1.ogg"), Failure);
    EXPECT_STREQ(SDL_GetError(), "Not an Ogg Vorbis audio stream");
}

/// What reportFailure writes, read back from a scratch file.
std::string reported(std::string_view program, const Failure& failure) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        return "no scratch file";
    }
    shell::reportFailure(file, program, failure);
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text.push_back(static_cast<char>(c));
    }
    std::fclose(file);
    return text;
}

TEST(Failure, ReportWrapsSdlFailuresOnlyAndEndsInALineFeed) {
    EXPECT_EQ(reported("jukebox", Failure(FailureKind::Sdl, "IMG_Load\nSDL message: x")),
              "jukebox: user error (IMG_Load\nSDL message: x)\n");
    EXPECT_EQ(reported("jukebox", Failure(FailureKind::Plain, "Plinkar:(202,0)-(206,32): oops")),
              "jukebox: Plinkar:(202,0)-(206,32): oops\n");
    // A report with a NUL-free program name of any length, as the name of the program file.
    EXPECT_EQ(
        reported(std::string_view("jukebox-console.exe!", 19), Failure(FailureKind::Plain, "x")),
        "jukebox-console.exe: x\n");
}

TEST(Failure, ProgramNameIsTheLastPathComponent) {
    EXPECT_EQ(shell::programName("./build/jukebox"), "jukebox");
    EXPECT_EQ(shell::programName("/usr/local/bin/jukebox"), "jukebox");
    EXPECT_EQ(shell::programName("box"), "box");
    EXPECT_EQ(shell::programName("dir/"), "jukebox");
    EXPECT_EQ(shell::programName(""), "jukebox");
    EXPECT_EQ(shell::programName(nullptr), "jukebox");
    // A Windows command line may name the program either way.
    EXPECT_EQ(shell::programName("C:\\Program Files\\Jukebox\\jukebox.exe"), "jukebox.exe");
    EXPECT_EQ(shell::programName("..\\dist/jukebox-console.exe"), "jukebox-console.exe");
    EXPECT_EQ(shell::programName("dir\\"), "jukebox");
}

TEST(Failure, AnErrorBoxShowsOnlyTextsOf1To511Bytes) {
    EXPECT_FALSE(shell::fitsMessageBox(""));
    EXPECT_TRUE(shell::fitsMessageBox("\n"));
    EXPECT_TRUE(shell::fitsMessageBox(std::string(511, 'x')));
    EXPECT_FALSE(shell::fitsMessageBox(std::string(512, 'x')));
    // Counted in bytes, not characters: 170 three-byte characters and a line feed are 511.
    std::string japanese;
    for (int i = 0; i < 170; ++i) {
        japanese += "\xE3\x82\xB8";
    }
    EXPECT_TRUE(shell::fitsMessageBox(japanese + "\n"));
    EXPECT_FALSE(shell::fitsMessageBox(japanese + "\n\n"));
}

} // namespace
