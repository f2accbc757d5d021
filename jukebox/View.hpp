#pragma once

#include "shell/SdlHandles.hpp"

namespace jukebox {

/// Loads "data/b.png", blits it once onto the screen's top-left corner and flips; the caller
/// keeps the returned picture until releaseBackground.
[[nodiscard]] shell::SurfacePtr showBackground();

/// Flips the screen as it is; nothing is drawn.
void presentScreen();

/// Frees the background picture.
void releaseBackground(shell::SurfacePtr background);

} // namespace jukebox
