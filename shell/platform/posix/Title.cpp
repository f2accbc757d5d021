#include "shell/Platform.hpp"

namespace shell {

// SDL hands the UTF-8 caption on to the window manager as it is.
void mendWindowTitle(std::u32string_view /*caption*/) {}

} // namespace shell
