#pragma once

// One walk per format the jukebox reads, each in a file of its own beside this one. A walk reads
// headers or chunk lengths, never decodes: it finds the shapes that crash or hang the library
// behind that format, and what the limits need to know (the samples' format, the picture's size).
// It seeks to what it reads (the stream is past the head) and may leave the stream anywhere.

#include "shell/filecheck/Bytes.hpp"

#include <cstdint>
#include <optional>

namespace shell::filecheck {

/// WAV's ADPCM encodings, which SDL 1.2 decodes with a block alignment.
constexpr std::uint32_t kMsAdpcm = 0x0002;
constexpr std::uint32_t kImaAdpcm = 0x0011;

/// What a sound file tells the mixer about its samples.
struct SoundFormat {
    std::uint16_t sdlFormat; ///< AUDIO_U8, AUDIO_S16LSB, ...
    std::uint32_t channels;
    std::uint32_t rate;
    std::uint32_t encoding = 0;     ///< the WAV format code; 0 elsewhere
    std::uint32_t blockAlign = 0;   ///< for WAV's ADPCM encodings
    std::uint32_t aiffBytes = 0;    ///< AIFF's sample bytes, as SDL_mixer works them out
    std::uint64_t decodedBytes = 0; ///< the samples once decoded, at most; 0 when not known
};

struct PictureSize {
    std::uint32_t width;
    std::uint32_t height;
};

/// What a walk found: a fault that stops the library's own reader, or what the limits check.
struct Finding {
    const char* fault = nullptr;
    std::optional<SoundFormat> sound = std::nullopt;
    std::optional<PictureSize> picture = std::nullopt;
};

inline Finding refusal(const char* fault) {
    return Finding{.fault = fault};
}
inline Finding sound(std::optional<SoundFormat> format) {
    return Finding{.sound = format};
}
inline Finding picture(PictureSize size) {
    return Finding{.picture = size};
}

using Walk = Finding (*)(SDL_RWops* stream, Head head);

Finding walkWave(SDL_RWops* stream, Head head);
Finding walkAiff(SDL_RWops* stream, Head head);
Finding walkVoc(SDL_RWops* stream, Head head);
Finding walkOgg(SDL_RWops* stream, Head head);
Finding walkPng(SDL_RWops* stream, Head head);
Finding walkJpeg(SDL_RWops* stream, Head head);
Finding walkBmp(SDL_RWops* stream, Head head);

/// The limits of the converter and of memory on a sound the walk found: SDL's error text set and
/// false when `sound` is refused. `music` is streamed, so only the converter's limits apply.
bool soundWithinLimits(const SoundFormat& sound, bool music, const char* path);

/// The limits on a picture's size: SDL 1.2 keeps a row's length in 16 bits.
bool pictureWithinLimits(const PictureSize& size, const char* path);

/// Sets SDL's error to "Couldn't load <path>: <what>" and returns false.
bool refuse(const char* path, const char* what);

} // namespace shell::filecheck
