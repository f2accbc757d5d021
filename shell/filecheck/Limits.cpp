// What no walk is about: the limits of SDL 1.2's converter and of memory on a sound, and of SDL
// 1.2's surfaces on a picture.

#include "shell/filecheck/Walks.hpp"

#include <SDL_mixer.h>

#include <algorithm>
#include <climits>
#include <string>

namespace shell::filecheck {

namespace {

/// How classic SDL 1.2's SDL_BuildAudioCVT turns one format into the device's, as it works it out.
struct Conversion {
    int steps = 0;      ///< its table has ten entries, the last one null; more write past it
    bool fails = false; ///< it fails, and says nothing: no rate conversion for these channels
};

Conversion conversion(const SoundFormat& from, std::uint16_t format, std::uint32_t channels,
                      std::uint32_t rate) {
    Conversion plan;
    const unsigned source = from.sdlFormat;
    plan.steps += (source & 0x1000U) != (format & 0x1000U) && (source & 0xFFU) == 16 &&
                  (format & 0xFFU) == 16;
    plan.steps += (source & 0x8000U) != (format & 0x8000U);
    plan.steps += (source & 0xFFU) != (format & 0xFFU);
    std::uint32_t have = from.channels & 0xFFU;
    if (have != channels) {
        if (have == 1 && channels > 1) {
            ++plan.steps, have = 2;
        }
        if (have == 2 && (channels == 6 || channels == 4)) {
            ++plan.steps, have = channels;
        }
        for (; have * 2 <= channels; have *= 2) {
            ++plan.steps;
        }
        if (have == 6 && (channels <= 2 || channels == 4)) {
            ++plan.steps, have = channels <= 2 ? 2 : 4;
        }
        for (; have % 2 == 0 && have / 2 >= channels; have /= 2) {
            ++plan.steps;
        }
    }
    // The rates as it takes them, in an int: 2^31 Hz is negative there.
    const auto sourceRate = static_cast<std::int32_t>(from.rate);
    const auto deviceRate = static_cast<std::int32_t>(rate);
    if (sourceRate / 100 == deviceRate / 100) {
        return plan;
    }
    if (have != 1 && have != 2 && have != 4 && have != 6) {
        plan.fails = true;
        return plan;
    }
    auto lo = static_cast<std::uint32_t>(sourceRate > deviceRate ? deviceRate : sourceRate);
    const auto hi = static_cast<std::uint32_t>(sourceRate > deviceRate ? sourceRate : deviceRate);
    for (; (lo * 2) / 100 <= hi / 100 && plan.steps < 10; lo *= 2) {
        ++plan.steps;
    }
    plan.steps += lo / 100 != hi / 100; // the slow step that finishes it
    return plan;
}

/// How much larger a sound grows converted to the device's format, as SDL_mixer 1.2 sizes the
/// buffer for it: the frame's growth, times the rate's in steps of two and a last step.
std::uint64_t growth(const SoundFormat& from, std::uint16_t format, std::uint32_t channels,
                     std::uint32_t rate) {
    const std::uint64_t sourceFrame = std::max(1U, (from.sdlFormat & 0xFFU) / 8 * from.channels);
    const std::uint64_t deviceFrame = (format & 0xFFU) / 8U * channels;
    std::uint64_t grown = (deviceFrame + sourceFrame - 1) / sourceFrame;
    if (from.rate < rate && from.rate / 100 != rate / 100) {
        std::uint64_t lo = from.rate;
        for (; (lo * 2) / 100 <= rate / 100; lo *= 2) {
            grown *= 2;
        }
        grown *= lo / 100 != rate / 100 ? 2 : 1;
    }
    return grown;
}

/// The faults of the libraries under a sound's format, SDL 2's words for each.
const char* formatFault(const SoundFormat& sound) {
    // SDL_BuildAudioCVT of classic SDL 1.2 recurses without end on 0 channels (256 is 0 there).
    if (sound.channels == 0) {
        return "Invalid number of channels";
    }
    if (sound.channels > 255) {
        return "Number of channels exceeds limit of 255";
    }
    // ... and on a rate of 0. Both SDL 1.2s take the rate as an int, and over SDL 2 a track's
    // rate it cannot take corrupts the mixer's heap as it plays.
    if (sound.rate == 0 || sound.rate > INT_MAX) {
        return "Invalid sample rate";
    }
    // SDL_mixer 1.2 copies all of an AIFF's samples into a buffer it rounds down with a mask
    // that fits whole frames only when a frame's size is a power of two.
    const std::uint32_t frame = (sound.sdlFormat & 0xFFU) / 8 * sound.channels;
    if ((sound.aiffBytes & (frame - 1)) != 0) {
        return "Unsupported number of AIFF channels";
    }
    // Classic SDL 1.2's ADPCM decoders divide by the block alignment.
    if ((sound.encoding == kMsAdpcm || sound.encoding == kImaAdpcm) && sound.blockAlign == 0) {
        return "Invalid block alignment";
    }
    return nullptr;
}

} // namespace

bool refuse(const char* path, const char* what) {
    SDL_SetError("Couldn't load %s: %s", path, what);
    return false;
}

bool soundWithinLimits(const SoundFormat& sound, bool music, const char* path) {
    if (const char* fault = formatFault(sound)) {
        return refuse(path, fault);
    }
    int deviceRate = 0;
    Uint16 deviceFormat = 0;
    int deviceChannels = 0;
    if (Mix_QuerySpec(&deviceRate, &deviceFormat, &deviceChannels) == 0) {
        return true;
    }
    const auto channels = static_cast<std::uint32_t>(deviceChannels);
    const auto rate = static_cast<std::uint32_t>(deviceRate);
    const Conversion plan = conversion(sound, deviceFormat, channels, rate);
    const bool classic = SDL_Linked_Version()->patch < 50;
    // Classic SDL_BuildAudioCVT writes past its ten-step table for rates far from the device's,
    // and converts no rate of three, five or seven channels.
    if (classic && plan.steps > 9) {
        return refuse(path,
                      sound.rate > rate ? "Source rate is too high" : "Source rate is too low");
    }
    if (classic && plan.fails) {
        const std::string what =
            std::to_string(sound.channels) + " channels at " + std::to_string(sound.rate) +
            " Hz cannot be converted to the sound device's " + std::to_string(deviceRate) + " Hz";
        return refuse(path, what.c_str());
    }
    // SDL_mixer 1.2 sizes an effect's converted buffer as an int product, which overflows past
    // 2 GiB.
    if (!music && sound.decodedBytes > static_cast<std::uint64_t>(INT_MAX) /
                                           growth(sound, deviceFormat, channels, rate)) {
        return refuse(path, "the sound would take more than 2 GiB once converted for the sound "
                            "device");
    }
    return true;
}

bool pictureWithinLimits(const PictureSize& size, const char* path) {
    // SDL 1.2 keeps a surface's row length in 16 bits: 16384 pixels of four bytes overflow it.
    // The area's bound keeps a picture's decoding within a second or two.
    constexpr std::uint32_t kLongestSide = 16383;
    constexpr std::uint64_t kMostPixels = std::uint64_t{1} << 26U;
    if (size.width > kLongestSide || size.height > kLongestSide ||
        std::uint64_t{size.width} * size.height > kMostPixels) {
        const std::string what = "a picture of " + std::to_string(size.width) + " × " +
                                 std::to_string(size.height) + " pixels; pictures are read up to " +
                                 std::to_string(kLongestSide) + " pixels a side and " +
                                 std::to_string(kMostPixels) + " in all";
        return refuse(path, what.c_str());
    }
    return true;
}

} // namespace shell::filecheck
