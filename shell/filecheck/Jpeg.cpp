// JPEG, as libjpeg-turbo reads it for SDL_image 1.2.

#include "shell/filecheck/Walks.hpp"

#include <array>

namespace shell::filecheck {

namespace {

/// The start-of-frame markers, which carry the picture's size; C4, C8 and CC are others.
bool startsFrame(unsigned marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

/// The markers walked from the start to the frame's header, by their lengths.
Finding walkJpeg(SDL_RWops* stream, Head) {
    SDL_RWseek(stream, 2, RW_SEEK_SET);
    std::array<unsigned char, 9> segment{};
    for (int markers = 0; markers < 1024; ++markers) {
        if (!readExactly(stream, segment.data(), 4)) {
            return {};
        }
        if (segment[0] != 0xFF) {
            return {}; // libjpeg reports what is not a marker itself
        }
        if (segment[1] == 0xFF) {
            SDL_RWseek(stream, -3, RW_SEEK_CUR); // padding before a marker
            continue;
        }
        const std::uint32_t length = be16(&segment[2]);
        if (startsFrame(segment[1])) {
            if (!readExactly(stream, &segment[4], 5)) {
                return {};
            }
            return picture(PictureSize{be16(&segment[7]), be16(&segment[5])});
        }
        if (segment[1] == 0xDA || length < 2 || !skip(stream, length - 2)) {
            return {}; // the scan, without a frame before it: libjpeg refuses it
        }
    }
    return {};
}

} // namespace shell::filecheck
