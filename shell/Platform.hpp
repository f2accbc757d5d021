#pragma once

// What differs between the platforms the program runs on: one declaration each, one small file
// per platform behind it (platform/), chosen by the build.

#include "shell/Failure.hpp"

#include <string_view>

namespace shell {

/// Shows the report of the failure that ends the program to the person at it: a line on
/// standard error, or an error box in a windowed Windows program. Runs after SDL_Quit.
void showFatalReport(std::string_view program, const Failure& failure);

/// Makes the window's title read `caption` where the platform's SDL cannot set it from UTF-8;
/// called right after SDL_WM_SetCaption.
void mendWindowTitle(std::u32string_view caption);

/// Confines the process for the rest of its life to what the jukebox needs once SDL is up:
/// reading data/ and the libraries' own files, drawing and playing. Does nothing when
/// JUKEBOX_UNCONFINED is set, and as much as the system allows elsewhere; never fails.
void confineProcess();

/// The pause between two polls that found no event: the shortest that lets the processor idle.
void pauseBetweenPolls();

} // namespace shell
