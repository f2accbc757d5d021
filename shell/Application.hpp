#pragma once

#include "shell/SdlHandles.hpp"

#include <cstdint>
#include <functional>
#include <string_view>

namespace shell {

/// Starts SDL, the window and the audio device, runs `application` once, then closes audio and SDL.
/// Throws Failure; SDL_Quit has run by then whenever SDL_Init succeeded.
void runApplication(std::int32_t screenWidth, std::int32_t screenHeight,
                    std::u32string_view caption, const char* iconPath, std::uint32_t iconColorKey,
                    std::int32_t audioFrequency, const std::function<void()>& application);

/// Installs the image at `path` as the window icon, pixels equal to `colorKey` transparent.
void setWindowIcon(const char* path, std::uint32_t colorKey);

/// Loads the picture at `path` with IMG_Load, first refusing a file known to hang it; throws the
/// "IMG_Load" failure.
[[nodiscard]] SurfacePtr loadImage(const char* path);

/// Loads an image with IMG_Load and gives it the source colour key `colorKey`.
[[nodiscard]] SurfacePtr loadColorKeyedImage(const char* path, std::uint32_t colorKey);

} // namespace shell
