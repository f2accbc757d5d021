// AIFF and 8SVX, as SDL_mixer 1.2's Mix_LoadAIFF_RW reads them.

#include "shell/filecheck/Walks.hpp"

#include <array>

namespace shell::filecheck {

namespace {

/// The sample rate of AIFF's COMM chunk, an 80-bit extended float, as SDL_mixer reads it: 0
/// where it gives up.
std::uint32_t aiffRate(const unsigned char* p) {
    if ((p[0] & 0x80U) != 0 || p[0] <= 0x3F || p[0] > 0x40 || (p[0] == 0x40 && p[1] > 0x1C)) {
        return 0;
    }
    const std::uint32_t mantissa = (static_cast<std::uint32_t>(p[2]) << 23U) |
                                   (static_cast<std::uint32_t>(p[3]) << 15U) |
                                   (static_cast<std::uint32_t>(p[4]) << 7U) | (p[5] >> 1U);
    return mantissa >> (29U - p[1]);
}

} // namespace

/// AIFF's COMM and SSND chunks, or 8SVX's VHDR and BODY, walked to as SDL_mixer walks.
Finding walkAiff(SDL_RWops* stream, Head head) {
    if (head.size() < 12) {
        // SDL_mixer reads the rest of the header past the end, where it may find a stale one.
        return refusal("Unrecognized file type (not AIFF nor 8SVX)");
    }
    // SDL_mixer takes a length that reads "AIFF" the other way round for the magic, and then the
    // chunks start right after it.
    const bool magicForLength = hasAt(head, 4, "FFIA");
    const bool svx = !magicForLength && hasAt(head, 8, "8SVX");
    if (!svx && !magicForLength && !hasAt(head, 8, "AIFF")) {
        return {};
    }
    const std::int64_t end = streamEnd(stream);
    SDL_RWseek(stream, magicForLength ? 8 : 12, RW_SEEK_SET);
    constexpr unsigned kComm = 1, kSsnd = 2, kVhdr = 4, kBody = 8;
    const unsigned needed = svx ? kVhdr | kBody : kComm | kSsnd;
    unsigned found = 0;
    std::optional<SoundFormat> format;
    // SDL_mixer 1.2's walk reads on past the end of the file until it has both chunks, and there
    // it reads stale values that never stop it.
    const auto stopsHere = [&] {
        if (svx) {
            return refusal((found & kBody) == 0 ? "Bad 8SVX (no BODY chunk)"
                                                : "Bad 8SVX (no VHDR chunk)");
        }
        return refusal((found & kSsnd) == 0 ? "Bad AIFF (no SSND chunk)"
                                            : "Bad AIFF (no COMM chunk)");
    };
    for (;;) {
        std::array<unsigned char, 8> header{};
        if (!readExactly(stream, header.data(), 8)) {
            return stopsHere();
        }
        const std::string_view id = text(header.data(), 4);
        const std::uint32_t length = be32(header.data() + 4);
        if (length == 0) {
            return {}; // where SDL_mixer stops and reports the missing chunk itself
        }
        const std::int64_t next = SDL_RWtell(stream) + std::int64_t{length} + (length & 1U);
        std::array<unsigned char, 18> body{};
        if (id == "COMM") {
            if (!readExactly(stream, body.data(), 18)) {
                return stopsHere();
            }
            const std::uint32_t rate = aiffRate(body.data() + 8);
            if (rate == 0) {
                return {}; // SDL_mixer refuses it itself
            }
            const auto bits = be16(body.data() + 6);
            const auto channels = be16(body.data());
            const std::uint32_t bytes = channels * be32(body.data() + 2) * (bits / 8);
            format = SoundFormat{
                .sdlFormat = static_cast<std::uint16_t>(bits == 8 ? AUDIO_S8 : AUDIO_S16MSB),
                .channels = channels,
                .rate = rate,
                .aiffBytes = bytes,
                .decodedBytes = bytes};
            found |= kComm;
        } else if (id == "VHDR") {
            if (!readExactly(stream, body.data(), 14)) {
                return stopsHere();
            }
            format = SoundFormat{.sdlFormat = AUDIO_S8,
                                 .channels = 1,
                                 .rate = be16(body.data() + 12),
                                 .decodedBytes = static_cast<std::uint64_t>(end)};
            found |= kVhdr;
        } else if (id == "SSND") {
            found |= kSsnd;
        } else if (id == "BODY") {
            found |= kBody;
        }
        if ((found & needed) == needed) {
            return sound(format);
        }
        if (next + 8 > end || SDL_RWseek(stream, static_cast<int>(next), RW_SEEK_SET) < 0) {
            return stopsHere();
        }
    }
}

} // namespace shell::filecheck
