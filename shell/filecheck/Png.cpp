// PNG, as libpng reads it for SDL_image 1.2.

#include "shell/filecheck/Walks.hpp"

#include <algorithm>
#include <array>

namespace shell::filecheck {

namespace {

constexpr std::int64_t kSignature = 8;

/// Whether the chunk whose type the stream has just passed holds `length` bytes of data and then
/// their checksum; the stream is left after it.
bool checksumMatches(SDL_RWops* stream, const unsigned char* type, std::uint32_t length) {
    std::uint32_t crc = crc32(0xFFFFFFFFU, type, 4);
    std::array<unsigned char, 4096> block{};
    for (std::uint32_t left = length; left > 0;) {
        const auto part = static_cast<int>(std::min<std::uint32_t>(left, block.size()));
        if (!readExactly(stream, block.data(), part)) {
            return false;
        }
        crc = crc32(crc, block.data(), static_cast<std::size_t>(part));
        left -= static_cast<std::uint32_t>(part);
    }
    std::array<unsigned char, 4> stored{};
    return readExactly(stream, stored.data(), 4) && be32(stored.data()) == (crc ^ 0xFFFFFFFFU);
}

/// The first fault in the file's chunks that stops libpng, or nothing. libpng reports each of
/// these on standard error itself, beside the jukebox's report, and some cost it far more:
/// SDL_image 1.2 ignores short reads, so libpng goes on reading stale bytes for as long as a chunk
/// claims, for ever for an ancillary chunk ahead of the picture data, which it reads again and
/// again, and seconds to minutes for picture data it inflates before its checksum fails.
const char* chunkFault(SDL_RWops* stream, std::int64_t size) {
    std::int64_t at = kSignature;
    std::array<unsigned char, 8> header{};
    while (SDL_RWseek(stream, static_cast<int>(at), RW_SEEK_SET) >= 0 &&
           readExactly(stream, header.data(), 8)) {
        const std::uint32_t length = be32(header.data());
        const std::string_view type = text(&header[4], 4);
        if (at == kSignature && type != "IHDR") {
            return "PNG picture does not begin with its header chunk";
        }
        at += 12 + static_cast<std::int64_t>(length);
        if (at > size) {
            return "PNG chunk runs past the end of the file";
        }
        // libpng stops at a critical chunk whose checksum fails, and skips an ancillary one.
        const bool critical = (header[4] & 0x20U) == 0;
        if (critical && !checksumMatches(stream, &header[4], length)) {
            return "PNG chunk does not match its checksum: the file is damaged";
        }
        if (type == "IEND") {
            break;
        }
    }
    return nullptr;
}

} // namespace

Finding walkPng(SDL_RWops* stream, Head head) {
    if (const char* fault = chunkFault(stream, streamEnd(stream))) {
        return refusal(fault);
    }
    // The size, from IHDR, first by now.
    if (head.size() < 24 || !hasAt(head, 12, "IHDR")) {
        return {};
    }
    return picture(PictureSize{be32(&head[16]), be32(&head[20])});
}

} // namespace shell::filecheck
