#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace shell {

/// Which way a failure is shown to the user.
enum class FailureKind {
    Sdl,   ///< a failed SDL, SDL_image or SDL_mixer call: shown as "user error (...)"
    Plain, ///< any other failure: shown as its own text
};

/// The one exception type of the program: a failure that ends it, with the text the user sees.
class Failure : public std::runtime_error {
  public:
    Failure(FailureKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    [[nodiscard]] FailureKind kind() const noexcept { return kind_; }

  private:
    FailureKind kind_;
};

/// The message of a failed SDL call: the name, a line feed, "SDL message: " and SDL's error text.
[[nodiscard]] std::string sdlFailureMessage(std::string_view function, const char* sdlError);

/// Throws the Sdl failure of `function`, reading SDL_GetError() now.
[[noreturn]] void failWithSdlError(std::string_view function);

/// The last component of the program path, `/` and `\` both separators, or "jukebox" when
/// there is none.
[[nodiscard]] std::string programName(const char* argv0);

/// The text shown for a failure, ending in a line feed.
[[nodiscard]] std::string failureText(const Failure& failure);

/// Writes "<program>: <text>" to `out` in one formatted write, the one report of a fatal failure:
/// standard error is unbuffered, and a line written in pieces can be split by another writer's.
void reportFailure(std::FILE* out, std::string_view program, const Failure& failure);

/// Whether an error box shows `text`: only one of 1 to 511 bytes.
[[nodiscard]] bool fitsMessageBox(std::string_view text);

} // namespace shell
