#include "shell/FileCheck.hpp"

#include "shell/SdlHandles.hpp"

#include <SDL_mixer.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace shell {

namespace {

/// A sound file's first bytes, read once: the magic SDL_mixer picks its reader by, the WAV and
/// AIFF headers, the usual WAV's format, a Creative Voice file's header.
using Head = std::array<unsigned char, 36>;
/// The bytes every reader needs at least; they go on from there.
constexpr int kHeadLeast = 12;

std::string_view text(const unsigned char* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

std::uint32_t le16(const unsigned char* p) {
    return p[0] | (std::uint32_t{p[1]} << 8U);
}
std::uint32_t le32(const unsigned char* p) {
    return le16(p) | (le16(p + 2) << 16U);
}
std::uint32_t be16(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 8U) | p[1];
}
std::uint32_t be32(const unsigned char* p) {
    return (be16(p) << 16U) | be16(p + 2);
}

bool readExactly(SDL_RWops* stream, void* to, int size) {
    return SDL_RWread(stream, to, 1, size) == size;
}

bool skip(SDL_RWops* stream, std::uint32_t bytes) {
    // SDL 1.2 seeks with an int offset; a length beyond it is read past in two steps.
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
std::int64_t streamEnd(SDL_RWops* stream) {
    const int here = SDL_RWtell(stream);
    const std::int64_t end = SDL_RWseek(stream, 0, RW_SEEK_END);
    SDL_RWseek(stream, here, RW_SEEK_SET);
    return end;
}

/// What a sound file tells the mixer about its samples.
struct SoundFormat {
    std::uint16_t sdlFormat; ///< AUDIO_U8, AUDIO_S16LSB, ...
    std::uint32_t channels;
    std::uint32_t rate;
    std::uint32_t encoding;   ///< the WAV format code; 0 elsewhere
    std::uint32_t blockAlign; ///< for WAV's ADPCM encodings
    std::uint32_t length = 0; ///< AIFF's sample bytes, as SDL_mixer works them out
};

/// What a reader found: the samples' format, or a fault that stops the mixer's own reader.
struct Reading {
    std::optional<SoundFormat> format;
    const char* fault = nullptr;
};

constexpr std::uint32_t kMsAdpcm = 0x0002;
constexpr std::uint32_t kImaAdpcm = 0x0011;

/// The samples' format from the first 16 bytes of a WAV's "fmt " chunk.
SoundFormat waveFormat(const unsigned char* fmt) {
    const std::uint32_t bits = le16(fmt + 14);
    return SoundFormat{static_cast<std::uint16_t>(bits == 8 ? AUDIO_U8 : AUDIO_S16LSB),
                       le16(fmt + 2), le32(fmt + 4), le16(fmt), le16(fmt + 12)};
}

/// The "fmt " chunk as classic SDL 1.2 finds it: "RIFF", a length, "WAVE" (or "WAVE" right after
/// "RIFF"), then any FACT and LIST chunks; what follows them must be "fmt ".
Reading readWaveFormat(SDL_RWops* stream, const Head& head) {
    const std::string_view magic = text(head.data(), kHeadLeast);
    if (magic.substr(4, 4) == "WAVE") {
        SDL_RWseek(stream, -4, RW_SEEK_CUR);
    } else if (magic.substr(8, 4) != "WAVE") {
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
            return {}; // the reader refuses these itself
        }
        return Reading{waveFormat(fmt.data())};
    }
    return {};
}

/// The usual WAV, its "fmt " chunk right after the header, from the file's first 36 bytes.
std::optional<SoundFormat> plainWaveFormat(const Head& head, int size) {
    const std::string_view bytes = text(head.data(), 20);
    if (size < static_cast<int>(head.size()) || bytes.substr(0, 4) != "RIFF" ||
        bytes.substr(8, 4) != "WAVE" || bytes.substr(12, 4) != "fmt " || le32(&head[16]) < 16) {
        return std::nullopt;
    }
    return waveFormat(&head[20]);
}

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

/// AIFF's COMM and SSND chunks, or 8SVX's VHDR and BODY, walked to as SDL_mixer walks.
Reading readAiffFormat(SDL_RWops* stream, const Head& head, std::int64_t end) {
    const std::string_view magic = text(&head[8], 4);
    if (magic != "AIFF" && magic != "8SVX") {
        return {};
    }
    const bool svx = magic == "8SVX";
    constexpr unsigned kComm = 1, kSsnd = 2, kVhdr = 4, kBody = 8;
    const unsigned needed = svx ? kVhdr | kBody : kComm | kSsnd;
    unsigned found = 0;
    std::optional<SoundFormat> format;
    // SDL_mixer 1.2's walk reads on past the end of the file until it has both chunks, and there
    // it reads stale values that never stop it.
    const auto stopsHere = [&] {
        if (svx) {
            return Reading{
                {}, (found & kBody) == 0 ? "Bad 8SVX (no BODY chunk)" : "Bad 8SVX (no VHDR chunk)"};
        }
        return Reading{
            {}, (found & kSsnd) == 0 ? "Bad AIFF (no SSND chunk)" : "Bad AIFF (no COMM chunk)"};
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
            format = SoundFormat{static_cast<std::uint16_t>(bits == 8 ? AUDIO_S8 : AUDIO_S16MSB),
                                 channels,
                                 rate,
                                 0,
                                 0,
                                 channels * be32(body.data() + 2) * (bits / 8)};
            found |= kComm;
        } else if (id == "VHDR") {
            if (!readExactly(stream, body.data(), 14)) {
                return stopsHere();
            }
            format = SoundFormat{AUDIO_S8, 1, be16(body.data() + 12), 0, 0};
            found |= kVhdr;
        } else if (id == "SSND") {
            found |= kSsnd;
        } else if (id == "BODY") {
            found |= kBody;
        }
        if ((found & needed) == needed) {
            return Reading{format};
        }
        if (next + 8 > end || SDL_RWseek(stream, static_cast<int>(next), RW_SEEK_SET) < 0) {
            return stopsHere();
        }
    }
}

/// The format of a Creative Voice file's first sound block, as SDL_mixer 1.2 reads it: an
/// extended block (8) sets stereo and the rate for the data block (1) after it; a block of the
/// newer kind (9) carries its own rate, sample size and channels.
Reading vocFormat(const std::optional<SoundFormat>& extended, unsigned char type,
                  const unsigned char* body) {
    if (type == 9) {
        const auto format = static_cast<std::uint16_t>(body[4] == 16 ? AUDIO_S16LSB : AUDIO_U8);
        return Reading{SoundFormat{format, body[5], le32(body), 0, 0}};
    }
    if (extended || body[0] == 0) {
        return Reading{extended}; // a rate code of 0 is SDL_mixer's own refusal
    }
    const auto rate = static_cast<std::uint32_t>(1000000.0 / (256 - body[0]));
    return Reading{SoundFormat{AUDIO_U8, 1, static_cast<std::uint16_t>(rate), 0, 0}};
}

/// A Creative Voice file, walked block by block to its end.
Reading readVocFormat(SDL_RWops* stream, const Head& head, int got, std::int64_t end) {
    constexpr std::string_view kSignature("Creative Voice File\x1A", 20);
    if (got < 22 || text(head.data(), kSignature.size()) != kSignature ||
        SDL_RWseek(stream, static_cast<int>(le16(&head[20])), RW_SEEK_SET) < 0) {
        return {};
    }
    // SDL_mixer 1.2 trusts every block's length: one longer than the file makes it read or
    // allocate past the end, copy past its buffer or never finish.
    const Reading cutShort{{}, "VOC block runs past the end of the file"};
    const Reading noData{{}, "VOC sound starts without a data block"};
    std::optional<SoundFormat> extended;
    Reading first;
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
        if (!first.format && stops && header[0] != 1 && (header[0] != 9 || extended)) {
            return noData;
        }
        if (!first.format && (least > 0 || header[0] == 8)) {
            if (!readExactly(stream, body.data(), header[0] == 8 ? 4 : static_cast<int>(least))) {
                return cutShort;
            }
            if (header[0] == 8) {
                // SDL_mixer 1.2 divides by the channels of an extended block, which it leaves
                // at 0 for mono.
                const std::uint32_t period = le16(body.data());
                if (body[3] == 0 && period != 0) {
                    return Reading{{}, "Mono extended VOC blocks are not supported"};
                }
                extended = SoundFormat{AUDIO_U8, 2, 256000000U / (65536U - period) / 2, 0, 0};
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
        return Reading{{}, "VOC data after its end block"};
    }
    return !first.format && extended ? noData : first;
}

/// How many steps classic SDL 1.2's SDL_BuildAudioCVT chains to turn `from` into the device's
/// format, counted as it counts them; 10 or more overflow its table of ten.
int conversionSteps(const SoundFormat& from, std::uint16_t format, std::uint32_t channels,
                    std::uint32_t rate) {
    int steps = 0;
    const unsigned source = from.sdlFormat;
    steps += (source & 0x1000U) != (format & 0x1000U) && (source & 0xFFU) == 16 &&
             (format & 0xFFU) == 16;
    steps += (source & 0x8000U) != (format & 0x8000U);
    steps += (source & 0xFFU) != (format & 0xFFU);
    std::uint32_t have = from.channels & 0xFFU;
    if (have != channels) {
        if (have == 1 && channels > 1) {
            ++steps, have = 2;
        }
        if (have == 2 && (channels == 6 || channels == 4)) {
            ++steps, have = channels;
        }
        for (; have * 2 <= channels; have *= 2) {
            ++steps;
        }
        if (have == 6 && (channels <= 2 || channels == 4)) {
            ++steps, have = channels <= 2 ? 2 : 4;
        }
        for (; have % 2 == 0 && have / 2 >= channels; have /= 2) {
            ++steps;
        }
    }
    const auto sourceRate = static_cast<std::int32_t>(from.rate);
    const auto deviceRate = static_cast<std::int32_t>(rate);
    const bool rateConverts = have == 1 || have == 2 || have == 4 || have == 6;
    if (sourceRate / 100 != deviceRate / 100 && rateConverts) {
        auto lo = static_cast<std::uint32_t>(sourceRate > deviceRate ? deviceRate : sourceRate);
        const auto hi =
            static_cast<std::uint32_t>(sourceRate > deviceRate ? sourceRate : deviceRate);
        for (; (lo * 2) / 100 <= hi / 100 && steps < 10; lo *= 2) {
            ++steps;
        }
    }
    return steps;
}

bool refuse(const char* path, const char* what) {
    SDL_SetError("Couldn't load %s: %s", path, what);
    return false;
}

/// The faults of the libraries under an effect's format, SDL 2's words for each.
bool checkSoundFormat(const SoundFormat& sound, const char* path) {
    // SDL_BuildAudioCVT of classic SDL 1.2 recurses without end on 0 channels (256 is 0 there).
    if (sound.channels == 0) {
        return refuse(path, "Invalid number of channels");
    }
    if (sound.channels > 255) {
        return refuse(path, "Number of channels exceeds limit of 255");
    }
    // ... and on a rate of 0.
    if (sound.rate == 0) {
        return refuse(path, "Invalid sample rate");
    }
    // SDL_mixer 1.2 copies all of an AIFF's samples into a buffer it rounds down with a mask
    // that fits whole frames only when a frame's size is a power of two.
    const std::uint32_t frame = (sound.sdlFormat & 0xFFU) / 8 * sound.channels;
    if ((sound.length & (frame - 1)) != 0) {
        return refuse(path, "Unsupported number of AIFF channels");
    }
    // Classic SDL 1.2's ADPCM decoders divide by the block alignment.
    if ((sound.encoding == kMsAdpcm || sound.encoding == kImaAdpcm) && sound.blockAlign == 0) {
        return refuse(path, "Invalid block alignment");
    }
    // Classic SDL_BuildAudioCVT writes past its ten-step table for rates far from the device's.
    int deviceRate = 0;
    Uint16 deviceFormat = 0;
    int deviceChannels = 0;
    const bool classic = SDL_Linked_Version()->patch < 50;
    if (classic && Mix_QuerySpec(&deviceRate, &deviceFormat, &deviceChannels) != 0 &&
        conversionSteps(sound, deviceFormat, static_cast<std::uint32_t>(deviceChannels),
                        static_cast<std::uint32_t>(deviceRate)) > 9) {
        return refuse(path, sound.rate > static_cast<std::uint32_t>(deviceRate)
                                ? "Source rate is too high"
                                : "Source rate is too low");
    }
    return true;
}

constexpr std::array<unsigned char, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

/// Whether an ancillary chunk ahead of the picture data claims more bytes than the file has left
/// (a critical one fails libpng's checksum, and that ends the read).
bool pngHeaderChunkOverruns(SDL_RWops* stream, std::int64_t size) {
    constexpr std::uint32_t kLongestChunk = 0x7FFFFFFF; // libpng refuses longer ones itself
    std::int64_t at = static_cast<std::int64_t>(kPngSignature.size());
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

bool checkEffectFile(SDL_RWops* stream, const char* path) {
    const int start = SDL_RWtell(stream);
    // One read holds the usual WAV's header and format; the walks of the others go on from the
    // twelfth byte.
    Head head{};
    const int got = SDL_RWread(stream, head.data(), 1, static_cast<int>(head.size()));
    const std::string_view magic = text(head.data(), 4);
    Reading sound;
    if (got < kHeadLeast) {
        // SDL_mixer reads the rest of an AIFF header past the end, where it may find a stale
        // one; it refuses the others itself.
        sound.fault = magic == "FORM" ? "Unrecognized file type (not AIFF nor 8SVX)" : nullptr;
    } else if (const auto plain = plainWaveFormat(head, got)) {
        sound.format = plain;
    } else {
        SDL_RWseek(stream, start + kHeadLeast, RW_SEEK_SET);
        if (magic == "RIFF" || magic == "WAVE") {
            sound = readWaveFormat(stream, head);
        } else if (magic == "FORM") {
            sound = readAiffFormat(stream, head, streamEnd(stream));
        } else if (magic == "Crea") {
            sound = readVocFormat(stream, head, got, streamEnd(stream));
        }
    }
    SDL_RWseek(stream, start, RW_SEEK_SET);
    if (sound.fault != nullptr) {
        return refuse(path, sound.fault);
    }
    return !sound.format || checkSoundFormat(*sound.format, path);
}

bool checkPictureFile(const char* path) {
    const RwPtr stream(SDL_RWFromFile(path, "rb"));
    if (!stream) {
        return true;
    }
    std::array<unsigned char, 8> head{};
    if (!readExactly(stream.get(), head.data(), 8) || head != kPngSignature) {
        return true;
    }
    const std::int64_t size = SDL_RWseek(stream.get(), 0, RW_SEEK_END);
    // SDL_image 1.2 ignores short reads: past the end of the file libpng finds the same stale
    // ancillary chunk again and again and never returns.
    if (pngHeaderChunkOverruns(stream.get(), size)) {
        return refuse(path, "PNG chunk runs past the end of the file");
    }
    return true;
}

} // namespace shell
