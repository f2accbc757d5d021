#include "SDL_image.h"

#include <png.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct RwCloser {
    void operator()(SDL_RWops* stream) const noexcept { SDL_RWclose(stream); }
};
using RwPtr = std::unique_ptr<SDL_RWops, RwCloser>;

struct PngImageFreer {
    void operator()(png_image* image) const noexcept { png_image_free(image); }
};

constexpr std::array<unsigned char, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::vector<unsigned char> readAll(SDL_RWops* stream) {
    std::vector<unsigned char> bytes;
    std::array<unsigned char, 4096> block{};
    for (;;) {
        const int read = SDL_RWread(stream, block.data(), 1, static_cast<int>(block.size()));
        if (read <= 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), block.begin(), block.begin() + read);
    }
}

/// 24-bit RGB, or 32-bit RGBA when the picture has alpha, as SDL_image makes them of a true
/// colour PNG; bytes in memory order R, G, B(, A) on this little-endian platform.
SDL_Surface* loadPng(const std::vector<unsigned char>& bytes) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const std::unique_ptr<png_image, PngImageFreer> reading(&image);
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
        SDL_SetError("%s", image.message);
        return nullptr;
    }
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    SDL_Surface* surface = SDL_CreateRGBSurface(
        SDL_SWSURFACE, static_cast<int>(image.width), static_cast<int>(image.height),
        alpha ? 32 : 24, 0x000000FF, 0x0000FF00, 0x00FF0000, alpha ? 0xFF000000 : 0);
    if (surface == nullptr) {
        return nullptr;
    }
    if (png_image_finish_read(&image, nullptr, surface->pixels, surface->pitch, nullptr) == 0) {
        SDL_SetError("%s", image.message);
        SDL_FreeSurface(surface);
        return nullptr;
    }
    return surface;
}

} // namespace

extern "C" SDL_Surface* IMG_Load(const char* file) {
    const RwPtr stream(SDL_RWFromFile(file, "rb"));
    if (!stream) {
        return nullptr; // SDL_RWFromFile has said "Couldn't open <file>"
    }
    std::array<unsigned char, 8> head{};
    const int read = SDL_RWread(stream.get(), head.data(), 1, static_cast<int>(head.size()));
    SDL_RWseek(stream.get(), 0, RW_SEEK_SET);
    if (read >= 2 && head[0] == 'B' && head[1] == 'M') {
        return SDL_LoadBMP_RW(stream.get(), 0);
    }
    if (read == static_cast<int>(head.size()) && head == kPngSignature) {
        return loadPng(readAll(stream.get()));
    }
    SDL_SetError("Unsupported image format");
    return nullptr;
}
