#include "shell/Failure.hpp"

#include <SDL.h>

namespace shell {

std::string sdlFailureMessage(std::string_view function, const char* sdlError) {
    const std::string_view detail =
        sdlError != nullptr && *sdlError != '\0' ? std::string_view(sdlError) : "No SDL error";
    std::string message(function);
    message += "\nSDL message: ";
    message += detail;
    return message;
}

void failWithSdlError(std::string_view function) {
    throw Failure(FailureKind::Sdl, sdlFailureMessage(function, SDL_GetError()));
}

std::string programName(const char* argv0) {
    std::string_view path = argv0 != nullptr ? argv0 : "";
    if (const auto slash = path.find_last_of("/\\"); slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    return path.empty() ? "jukebox" : std::string(path);
}

std::string failureText(const Failure& failure) {
    if (failure.kind() == FailureKind::Sdl) {
        return "user error (" + std::string(failure.what()) + ")\n";
    }
    return std::string(failure.what()) + "\n";
}

void reportFailure(std::FILE* out, std::string_view program, const Failure& failure) {
    std::fprintf(out, "%.*s: %s", static_cast<int>(program.size()), program.data(),
                 failureText(failure).c_str());
    std::fflush(out);
}

bool fitsMessageBox(std::string_view text) {
    constexpr std::size_t kLongestText = 511;
    return !text.empty() && text.size() <= kLongestText;
}

} // namespace shell
