// PNG, as libpng reads it for SDL_image 1.2.

#include "shell/filecheck/Walks.hpp"

#include <array>

namespace shell::filecheck {

namespace {

constexpr std::int64_t kSignature = 8;

/// Whether an ancillary chunk ahead of the picture data claims more bytes than the file has left
/// (a critical one fails libpng's checksum, and that ends the read).
bool headerChunkOverruns(SDL_RWops* stream, std::int64_t size) {
    constexpr std::uint32_t kLongestChunk = 0x7FFFFFFF; // libpng refuses longer ones itself
    std::int64_t at = kSignature;
    std::array<unsigned char, 8> header{};
    while (SDL_RWseek(stream, static_cast<int>(at), RW_SEEK_SET) >= 0 &&
           readExactly(stream, header.data(), 8)) {
        const std::uint32_t length = be32(header.data());
        if (text(&header[4], 4) == "IDAT" || length > kLongestChunk) {
            return false;
        }
        at += 12 + static_cast<std::int64_t>(length);
        const bool ancillary = (header[4] & 0x20U) != 0;
        if (at > size) {
            return ancillary;
        }
    }
    return false;
}

} // namespace

Finding walkPng(SDL_RWops* stream, Head head) {
    // SDL_image 1.2 ignores short reads: past the end of the file libpng finds the same stale
    // ancillary chunk again and again and never returns.
    if (headerChunkOverruns(stream, streamEnd(stream))) {
        return refusal("PNG chunk runs past the end of the file");
    }
    // The size, from IHDR, which libpng requires first.
    if (head.size() < 24 || !hasAt(head, 12, "IHDR")) {
        return {};
    }
    return picture(PictureSize{be32(&head[16]), be32(&head[20])});
}

} // namespace shell::filecheck
