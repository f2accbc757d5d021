#include "shell/FileCheck.hpp"

#include "shell/Failure.hpp"
#include "shell/SdlHandles.hpp"
#include "shell/filecheck/Walks.hpp"

#include <array>
#include <filesystem>
#include <string>
#include <system_error>

namespace shell {

namespace {

using filecheck::Finding;
using filecheck::hasAt;
using filecheck::Head;

enum class Load { Picture, Effect, Music };

/// One format a library recognises by its first bytes.
struct Format {
    Load load;
    const char* article; ///< "a" or "an", before the name in a refusal
    const char* name;
    bool (*matches)(Head head);
    filecheck::Walk walk; ///< null: refused
};

// clang-format off
/// The formats each load recognises, in the order its library tries them. A format with a walk
/// is read; the rest are refused, as their decoders have crashed, hung or never been fuzzed
/// here. IMG_Load also tries TGA, but only for a file named .tga.
constexpr std::array kFormats{
    Format{Load::Picture, "an", "ICO",  [](Head h) { return hasAt(h, 0, std::string_view("\0\0\1\0", 4)); }, nullptr},
    Format{Load::Picture, "a",  "CUR",  [](Head h) { return hasAt(h, 0, std::string_view("\0\0\2\0", 4)); }, nullptr},
    Format{Load::Picture, "a",  "BMP",  [](Head h) { return hasAt(h, 0, "BM"); }, filecheck::walkBmp},
    Format{Load::Picture, "a",  "GIF",  [](Head h) { return hasAt(h, 0, "GIF8"); }, nullptr},
    Format{Load::Picture, "a",  "JPEG", [](Head h) { return hasAt(h, 0, "\xFF\xD8"); }, filecheck::walkJpeg},
    Format{Load::Picture, "an", "ILBM", [](Head h) { return hasAt(h, 0, "FORM"); }, nullptr},
    Format{Load::Picture, "a",  "PCX",  [](Head h) { return hasAt(h, 0, "\x0A"); }, nullptr},
    Format{Load::Picture, "a",  "PNG",  [](Head h) { return hasAt(h, 0, "\x89PNG\r\n\x1A\n"); }, filecheck::walkPng},
    Format{Load::Picture, "a",  "PNM",  [](Head h) { return h.size() >= 2 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6'; }, nullptr},
    Format{Load::Picture, "a",  "TIFF", [](Head h) { return hasAt(h, 0, "II*") || hasAt(h, 0, std::string_view("MM\0*", 4)); }, nullptr},
    Format{Load::Picture, "an", "XCF",  [](Head h) { return hasAt(h, 0, "gimp xcf"); }, nullptr},
    Format{Load::Picture, "an", "XPM",  [](Head h) { return hasAt(h, 0, "/* XPM */"); }, nullptr},
    Format{Load::Picture, "an", "XV",   [](Head h) { return hasAt(h, 0, "P7"); }, nullptr},
    Format{Load::Picture, "a",  "WebP", [](Head h) { return hasAt(h, 0, "RIFF") && hasAt(h, 8, "WEBP"); }, nullptr},
    Format{Load::Effect,  "a",  "WAV",  [](Head h) { return hasAt(h, 0, "RIFF") || hasAt(h, 0, "WAVE"); }, filecheck::walkWave},
    Format{Load::Effect,  "an", "AIFF", [](Head h) { return hasAt(h, 0, "FORM"); }, filecheck::walkAiff},
    Format{Load::Effect,  "an", "Ogg Vorbis", [](Head h) { return hasAt(h, 0, "OggS"); }, filecheck::walkOgg},
    Format{Load::Effect,  "a",  "FLAC", [](Head h) { return hasAt(h, 0, "fLaC"); }, nullptr},
    Format{Load::Effect,  "a",  "Creative Voice", [](Head h) { return hasAt(h, 0, "Crea"); }, filecheck::walkVoc},
    // A track's name picks its reader: whatever a .ogg file holds, libvorbisfile reads it.
    Format{Load::Music,   "an", "Ogg Vorbis", [](Head h) { return hasAt(h, 0, "OggS"); }, filecheck::walkOgg},
};
// clang-format on

constexpr std::array kWhat{"picture", "sound", "track"};

/// "BMP, JPEG or PNG": the formats `load` reads, from the table.
std::string formatsRead(Load load) {
    std::string names;
    std::string last;
    for (const Format& format : kFormats) {
        if (format.load == load && format.walk != nullptr) {
            if (!last.empty()) {
                names += names.empty() ? "" : ", ";
                names += last;
            }
            last = format.name;
        }
    }
    return names.empty() ? last : names + " or " + last;
}

bool refuseFormat(const Format& format, const char* path) {
    const auto load = static_cast<std::size_t>(format.load);
    const std::string what = std::string(format.article) + " " + format.name + " " + kWhat[load] +
                             "; " + kWhat[load] + "s are read as " + formatsRead(format.load);
    return filecheck::refuse(path, what.c_str());
}

/// The first bytes of the stream at its start: the magic, the usual headers, an Ogg stream's
/// first page, a picture's size.
using HeadBytes = std::array<unsigned char, 64>;

/// The format the library would pick for the stream at its start, walked and held to the limits.
bool checkStream(SDL_RWops* stream, Load load, const char* path) {
    HeadBytes bytes{};
    const int got = SDL_RWread(stream, bytes.data(), 1, static_cast<int>(bytes.size()));
    const Head head(bytes.data(), static_cast<std::size_t>(got > 0 ? got : 0));
    for (const Format& format : kFormats) {
        if (format.load != load || !format.matches(head)) {
            continue;
        }
        if (format.walk == nullptr) {
            return refuseFormat(format, path);
        }
        const Finding found = format.walk(stream, head);
        if (found.fault != nullptr) {
            return filecheck::refuse(path, found.fault);
        }
        if (found.sound) {
            return filecheck::soundWithinLimits(*found.sound, load == Load::Music, path);
        }
        return !found.picture || filecheck::pictureWithinLimits(*found.picture, path);
    }
    return true;
}

/// Opens `path` for a check of its own; one that cannot be opened passes, for the library to
/// report.
bool checkFile(const char* path, Load load) {
    if (!checkOrdinaryFile(path)) {
        return false;
    }
    const RwPtr stream(SDL_RWFromFile(path, "rb"));
    return !stream || checkStream(stream.get(), load, path);
}

} // namespace

bool checkOrdinaryFile(const char* path) {
    std::error_code error;
    const auto type = std::filesystem::status(path, error).type();
    using std::filesystem::file_type;
    if (error || type == file_type::regular) {
        return true;
    }
    const char* what = type == file_type::directory ? "a directory"
                       : type == file_type::fifo    ? "a FIFO"
                       : type == file_type::socket  ? "a socket"
                                                    : "a device";
    return filecheck::refuse(path, (std::string(what) + ", not an ordinary file").c_str());
}

bool checkEffectFile(SDL_RWops* stream, const char* path) {
    const bool passes = checkStream(stream, Load::Effect, path);
    SDL_RWseek(stream, 0, RW_SEEK_SET);
    return passes;
}

bool checkMusicFile(const char* path) {
    return checkFile(path, Load::Music);
}

bool checkPictureFile(const char* path) {
    return checkFile(path, Load::Picture);
}

void failLoad(const char* function, const char* path) {
    const char* error = SDL_GetError();
    if (error == nullptr || *error == '\0') {
        SDL_SetError("Couldn't load %s: it could not be read, and the library gave no reason",
                     path);
    }
    failWithSdlError(function);
}

} // namespace shell
