#pragma once

// Reading a file's headers without decoding it: the numbers in their byte orders, and short
// reads and seeks on SDL's streams.

#include <SDL.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace shell::filecheck {

/// A file's first bytes, as far as it has them.
using Head = std::span<const unsigned char>;

inline std::string_view text(const unsigned char* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

/// Whether `head` holds `magic` at `at`.
inline bool hasAt(Head head, std::size_t at, std::string_view magic) {
    return head.size() >= at + magic.size() && text(head.data() + at, magic.size()) == magic;
}

inline std::uint32_t le16(const unsigned char* p) {
    return p[0] | (std::uint32_t{p[1]} << 8U);
}
inline std::uint32_t le32(const unsigned char* p) {
    return le16(p) | (le16(p + 2) << 16U);
}
inline std::uint32_t be16(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 8U) | p[1];
}
inline std::uint32_t be32(const unsigned char* p) {
    return (be16(p) << 16U) | be16(p + 2);
}

/// The CRC-32 of PNG and zlib: `crc` starts at 0xFFFFFFFF, and the checksum is the end result
/// with every bit flipped.
inline std::uint32_t crc32(std::uint32_t crc, const unsigned char* bytes, std::size_t size) {
    static constexpr auto kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit) {
                c = (c >> 1U) ^ (0xEDB88320U & (0U - (c & 1U)));
            }
            table[n] = c;
        }
        return table;
    }();
    for (std::size_t i = 0; i < size; ++i) {
        crc = kTable[(crc ^ bytes[i]) & 0xFFU] ^ (crc >> 8U);
    }
    return crc;
}

inline bool readExactly(SDL_RWops* stream, void* to, int size) {
    return SDL_RWread(stream, to, 1, size) == size;
}

/// Moves `bytes` on; SDL 1.2 seeks with an int offset, so a longer length takes several steps.
inline bool skip(SDL_RWops* stream, std::uint32_t bytes) {
    constexpr std::uint32_t kStep = 0x40000000;
    for (; bytes > kStep; bytes -= kStep) {
        if (SDL_RWseek(stream, static_cast<int>(kStep), RW_SEEK_CUR) < 0) {
            return false;
        }
    }
    return SDL_RWseek(stream, static_cast<int>(bytes), RW_SEEK_CUR) >= 0;
}

/// Where the stream ends, the stream left where it was. Only the walks that need it ask: seeking
/// to the end costs a WAV's check more than the rest of it.
inline std::int64_t streamEnd(SDL_RWops* stream) {
    const int here = SDL_RWtell(stream);
    const std::int64_t end = SDL_RWseek(stream, 0, RW_SEEK_END);
    SDL_RWseek(stream, here, RW_SEEK_SET);
    return end;
}

} // namespace shell::filecheck
