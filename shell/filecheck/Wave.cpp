// WAV, as classic SDL 1.2's SDL_LoadWAV_RW reads it.

#include "shell/filecheck/Walks.hpp"

#include <array>

namespace shell::filecheck {

namespace {

/// ADPCM's four bits a sample decode to sixteen.
constexpr std::uint64_t kAdpcmGrowth = 4;

/// The samples' format from the first 16 bytes of a "fmt " chunk, and the size of their data.
SoundFormat waveFormat(const unsigned char* fmt, std::uint64_t dataBytes) {
    const std::uint32_t bits = le16(fmt + 14);
    const std::uint32_t encoding = le16(fmt);
    const bool adpcm = encoding == kMsAdpcm || encoding == kImaAdpcm;
    return SoundFormat{.sdlFormat = static_cast<std::uint16_t>(bits == 8 ? AUDIO_U8 : AUDIO_S16LSB),
                       .channels = le16(fmt + 2),
                       .rate = le32(fmt + 4),
                       .encoding = encoding,
                       .blockAlign = le16(fmt + 12),
                       .decodedBytes = dataBytes * (adpcm ? kAdpcmGrowth : 1)};
}

/// The usual WAV: "fmt " right after the header, its 16 bytes, then "data" and its length.
std::optional<SoundFormat> plainWaveFormat(Head head) {
    if (head.size() < 44 || !hasAt(head, 0, "RIFF") || !hasAt(head, 8, "WAVEfmt ") ||
        le32(&head[16]) != 16 || !hasAt(head, 36, "data")) {
        return std::nullopt;
    }
    return waveFormat(&head[20], le32(&head[40]));
}

} // namespace

/// The "fmt " chunk as SDL finds it: "RIFF", a length, "WAVE" (or "WAVE" right after "RIFF"),
/// then any FACT and LIST chunks; what follows them must be "fmt ".
Finding walkWave(SDL_RWops* stream, Head head) {
    if (const auto plain = plainWaveFormat(head)) {
        return sound(plain);
    }
    if (hasAt(head, 4, "WAVE")) {
        SDL_RWseek(stream, 8, RW_SEEK_SET);
    } else if (hasAt(head, 8, "WAVE")) {
        SDL_RWseek(stream, 12, RW_SEEK_SET);
    } else {
        return {};
    }
    for (int chunks = 0; chunks < 64; ++chunks) {
        std::array<unsigned char, 8> header{};
        if (!readExactly(stream, header.data(), 8)) {
            return {};
        }
        const std::string_view id = text(header.data(), 4);
        const std::uint32_t length = le32(header.data() + 4);
        if (id == "fact" || id == "LIST") {
            if (!skip(stream, length)) {
                return {};
            }
            continue;
        }
        std::array<unsigned char, 16> fmt{};
        if (id != "fmt " || length < fmt.size() || !readExactly(stream, fmt.data(), 16)) {
            return {}; // SDL refuses these itself
        }
        // The data lies somewhere after the format: the file's end bounds it.
        const std::int64_t end = streamEnd(stream);
        return sound(waveFormat(fmt.data(), static_cast<std::uint64_t>(end > 0 ? end : 0)));
    }
    return {};
}

} // namespace shell::filecheck
