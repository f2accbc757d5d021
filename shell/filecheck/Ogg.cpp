// Ogg Vorbis, as libvorbisfile opens it for SDL_mixer 1.2 (Mix_LoadMUS for the tracks,
// Mix_LoadWAV_RW for an effect).

#include "shell/filecheck/Walks.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace shell::filecheck {

namespace {

/// An Ogg page's header before its segment table, and the longest page there is.
constexpr std::size_t kPageHeader = 27;
constexpr std::int64_t kLongestPage = 27 + 255 + 255 * 255;
/// The tail read first: most streams' last page is shorter.
constexpr std::int64_t kShortTail = 4096;

/// The identification header at the start of the first page's first packet: channels and rate.
std::optional<SoundFormat> vorbisFormat(std::span<const unsigned char> page) {
    if (page.size() < kPageHeader || page[4] != 0) {
        return std::nullopt;
    }
    const std::size_t packet = kPageHeader + page[26];
    if (page.size() < packet + 16 || !hasAt(page, packet, "\x01vorbis")) {
        return std::nullopt;
    }
    return SoundFormat{
        .sdlFormat = AUDIO_S16LSB, .channels = page[packet + 11], .rate = le32(&page[packet + 12])};
}

/// Where the last page begins among `tail`, the file's last bytes.
std::optional<std::size_t> lastPage(const std::vector<unsigned char>& tail) {
    constexpr std::string_view kCapture = "OggS";
    const auto found = std::find_end(tail.begin(), tail.end(), kCapture.begin(), kCapture.end());
    if (found == tail.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - tail.begin());
}

/// The file's last `bytes` (or all of it).
std::vector<unsigned char> readTail(SDL_RWops* stream, std::int64_t end, std::int64_t bytes) {
    const std::int64_t from = std::max<std::int64_t>(0, end - bytes);
    std::vector<unsigned char> tail(static_cast<std::size_t>(end - from));
    if (SDL_RWseek(stream, static_cast<int>(from), RW_SEEK_SET) < 0 ||
        !readExactly(stream, tail.data(), static_cast<int>(tail.size()))) {
        tail.clear();
    }
    return tail;
}

} // namespace

Finding walkOgg(SDL_RWops* stream, Head head) {
    std::array<unsigned char, kPageHeader + 255 + 16> first{};
    std::span<const unsigned char> page = head;
    if (head.size() >= kPageHeader && head.size() < kPageHeader + head[26] + 16 &&
        SDL_RWseek(stream, 0, RW_SEEK_SET) == 0) {
        const int got = SDL_RWread(stream, first.data(), 1, static_cast<int>(first.size()));
        page = std::span<const unsigned char>(first.data(),
                                              static_cast<std::size_t>(got > 0 ? got : 0));
    }
    auto format = vorbisFormat(page);
    if (!format) {
        return {}; // libvorbisfile refuses what is not Vorbis itself
    }
    // To find the stream's length libvorbisfile looks for its last page backwards from the end,
    // reading all of the rest again for each step back: a tail of anything else (the zeros a
    // download leaves) costs it time that grows with the square of its length.
    const std::int64_t end = streamEnd(stream);
    std::vector<unsigned char> tail = readTail(stream, end, kShortTail);
    auto at = lastPage(tail);
    if (!at && end > kShortTail) {
        tail = readTail(stream, end, kLongestPage);
        at = lastPage(tail);
    }
    if (!at) {
        return refusal("it ends in more than 64 KiB that are not Ogg pages, which would take "
                       "minutes to open");
    }
    // The last page's granule position counts the stream's samples.
    if (*at + 14 <= tail.size()) {
        const std::uint64_t samples =
            le32(&tail[*at + 6]) | (std::uint64_t{le32(&tail[*at + 10])} << 32U);
        constexpr std::uint64_t kNoStreamHasMore = std::uint64_t{1} << 48U;
        format->decodedBytes =
            samples > kNoStreamHasMore ? UINT64_MAX : samples * format->channels * 2;
    }
    return sound(format);
}

} // namespace shell::filecheck
