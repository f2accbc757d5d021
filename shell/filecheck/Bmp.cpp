// BMP, as SDL_image 1.2's own reader takes it.

#include "shell/filecheck/Walks.hpp"

#include <cstdlib>

namespace shell::filecheck {

Finding walkBmp(SDL_RWops*, Head head) {
    // The size from the info header: 16-bit in OS/2's 12-byte one, else signed 32-bit, a
    // negative height meaning the rows run top down.
    if (head.size() < 26) {
        return {};
    }
    if (le32(&head[14]) == 12) {
        return picture(PictureSize{le16(&head[18]), le16(&head[20])});
    }
    if (head.size() < 30) {
        return {};
    }
    const auto height = static_cast<std::int32_t>(le32(&head[22]));
    return picture(PictureSize{le32(&head[18]), height < 0 ? 0U - static_cast<std::uint32_t>(height)
                                                           : static_cast<std::uint32_t>(height)});
}

} // namespace shell::filecheck
