// Creative Voice files, as SDL_mixer 1.2's Mix_LoadVOC_RW reads them: under any name, by their
// signature.

#include "shell/filecheck/Walks.hpp"

#include <array>

namespace shell::filecheck {

namespace {

/// The format of a Creative Voice file's first sound block, as SDL_mixer 1.2 reads it: an
/// extended block (8) sets stereo and the rate for the data block (1) after it; a block of the
/// newer kind (9) carries its own rate, sample size and channels.
Finding vocFormat(const std::optional<SoundFormat>& extended, unsigned char type,
                  const unsigned char* body) {
    if (type == 9) {
        const auto format = static_cast<std::uint16_t>(body[4] == 16 ? AUDIO_S16LSB : AUDIO_U8);
        return sound(SoundFormat{.sdlFormat = format, .channels = body[5], .rate = le32(body)});
    }
    if (extended || body[0] == 0) {
        return sound(extended); // a rate code of 0 is SDL_mixer's own refusal
    }
    const auto rate = static_cast<std::uint32_t>(1000000.0 / (256 - body[0]));
    return sound(SoundFormat{.sdlFormat = AUDIO_U8, .channels = 1, .rate = rate});
}

} // namespace

/// Walked block by block to its end.
Finding walkVoc(SDL_RWops* stream, Head head) {
    constexpr std::string_view kSignature("Creative Voice File\x1A", 20);
    if (head.size() < 22 || !hasAt(head, 0, kSignature) ||
        SDL_RWseek(stream, static_cast<int>(le16(&head[20])), RW_SEEK_SET) < 0) {
        return {};
    }
    const std::int64_t end = streamEnd(stream);
    // SDL_mixer 1.2 trusts every block's length: one longer than the file makes it read or
    // allocate past the end, copy past its buffer or never finish.
    const Finding cutShort{"VOC block runs past the end of the file"};
    const Finding noData{"VOC sound starts without a data block"};
    std::optional<SoundFormat> extended;
    Finding first;
    std::array<unsigned char, 4> header{};
    std::array<unsigned char, 12> body{};
    // The end block, or the end of the file, ends the walk; every block moves it on.
    while (readExactly(stream, header.data(), 1) && header[0] != 0) {
        if (!readExactly(stream, header.data() + 1, 3)) {
            return cutShort;
        }
        const std::uint32_t length =
            header[1] | (std::uint32_t{header[2]} << 8U) | (std::uint32_t{header[3]} << 16U);
        // SDL_mixer reads an extended block's four bytes whatever its length says, and a
        // marker's two before skipping its length.
        const std::uint32_t size = header[0] == 8 ? 4 : header[0] == 4 ? length + 2 : length;
        const std::uint32_t least = header[0] == 9 ? 12 : header[0] == 1 ? 2 : 0;
        const std::int64_t next = SDL_RWtell(stream) + std::int64_t{size};
        if (next > end || size < least) {
            return cutShort;
        }
        // SDL_mixer's search for the first sound stops at any block that carries sound; unless
        // that is a data block, it goes on with a format it never set.
        const bool stops = header[0] == 1 || header[0] == 2 || header[0] == 3 || header[0] == 9;
        if (!first.sound && stops && header[0] != 1 && (header[0] != 9 || extended)) {
            return noData;
        }
        if (!first.sound && (least > 0 || header[0] == 8)) {
            if (!readExactly(stream, body.data(), header[0] == 8 ? 4 : static_cast<int>(least))) {
                return cutShort;
            }
            if (header[0] == 8) {
                // SDL_mixer 1.2 divides by the channels of an extended block, which it leaves
                // at 0 for mono.
                const std::uint32_t period = le16(body.data());
                if (body[3] == 0 && period != 0) {
                    return refusal("Mono extended VOC blocks are not supported");
                }
                extended = SoundFormat{.sdlFormat = AUDIO_U8,
                                       .channels = 2,
                                       .rate = 256000000U / (65536U - period) / 2};
            } else {
                first = vocFormat(extended, header[0], body.data());
            }
        }
        if (SDL_RWseek(stream, static_cast<int>(next), RW_SEEK_SET) < 0) {
            return cutShort;
        }
    }
    // SDL_mixer reads one block past the end block, into the buffer it has not grown for it.
    if (header[0] == 0 && readExactly(stream, header.data(), 1) && header[0] != 0) {
        return refusal("VOC data after its end block");
    }
    if (!first.sound && extended) {
        return noData;
    }
    // Its samples are what the file holds, at most.
    if (first.sound) {
        first.sound->decodedBytes = static_cast<std::uint64_t>(end);
    }
    return first;
}

} // namespace shell::filecheck
