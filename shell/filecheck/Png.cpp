// PNG, as libpng reads it for SDL_image 1.2.

#include "shell/filecheck/Walks.hpp"

#include <array>

namespace shell::filecheck {

namespace {

constexpr std::int64_t kSignature = 8;

/// Whether the picture data or an ancillary chunk claims more bytes than the file has left.
/// SDL_image 1.2 ignores short reads, so libpng goes on reading stale bytes for as long as the
/// claim: for ever for an ancillary chunk ahead of the data, which it reads again and again, and
/// seconds to minutes for picture data it inflates before its checksum fails. Other critical
/// chunks have lengths libpng checks at once.
bool chunkOverruns(SDL_RWops* stream, std::int64_t size) {
    constexpr std::uint32_t kLongestChunk = 0x7FFFFFFF; // libpng refuses longer ones itself
    std::int64_t at = kSignature;
    std::array<unsigned char, 8> header{};
    while (SDL_RWseek(stream, static_cast<int>(at), RW_SEEK_SET) >= 0 &&
           readExactly(stream, header.data(), 8)) {
        const std::uint32_t length = be32(header.data());
        const std::string_view id = text(&header[4], 4);
        if (id == "IEND" || length > kLongestChunk) {
            return false;
        }
        at += 12 + static_cast<std::int64_t>(length);
        const bool ancillary = (header[4] & 0x20U) != 0;
        if (at > size) {
            return ancillary || id == "IDAT";
        }
    }
    return false;
}

} // namespace

Finding walkPng(SDL_RWops* stream, Head head) {
    if (chunkOverruns(stream, streamEnd(stream))) {
        return refusal("PNG chunk runs past the end of the file");
    }
    // The size, from IHDR, which libpng requires first.
    if (head.size() < 24 || !hasAt(head, 12, "IHDR")) {
        return {};
    }
    return picture(PictureSize{be32(&head[16]), be32(&head[20])});
}

} // namespace shell::filecheck
