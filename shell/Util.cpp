#include "shell/Util.hpp"

#include <chrono>
#include <ctime>
#include <mutex>
#include <random>
#include <utility>

namespace shell {

namespace {

void appendByte(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(static_cast<unsigned char>(value & 0xFFU)));
}

std::uint64_t clockSeed() {
    const auto wall = std::chrono::system_clock::now().time_since_epoch().count();
    const auto cpu = std::clock();
    return static_cast<std::uint64_t>(wall) ^ (static_cast<std::uint64_t>(cpu) << 32U);
}

} // namespace

std::string encodeUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size() * 4);
    for (const char32_t c : text) {
        const std::uint32_t cp = c;
        if (cp <= 0x7F) {
            appendByte(out, cp);
        } else if (cp <= 0x7FF) {
            appendByte(out, 0xC0 + (cp >> 6));
            appendByte(out, 0x80 + (cp & 0x3F));
        } else if (cp <= 0xFFFF) {
            appendByte(out, 0xE0 + (cp >> 12));
            appendByte(out, 0x80 + ((cp >> 6) & 0x3F));
            appendByte(out, 0x80 + (cp & 0x3F));
        } else {
            appendByte(out, 0xF0 + (cp >> 18));
            appendByte(out, 0x80 + ((cp >> 12) & 0x3F));
            appendByte(out, 0x80 + ((cp >> 6) & 0x3F));
            appendByte(out, 0x80 + (cp & 0x3F));
        }
    }
    return out;
}

std::int32_t randomInRange(std::int32_t lo, std::int32_t hi) {
    // The one piece of process-wide mutable state: created on first use, each draw under the lock.
    static std::mutex mutex;
    static std::mt19937_64 generator(clockSeed());

    if (lo > hi) {
        std::swap(lo, hi);
    }
    const auto span = static_cast<std::uint64_t>(std::int64_t{hi} - std::int64_t{lo}) + 1U;
    std::uint64_t v = 0;
    {
        const std::lock_guard lock(mutex);
        v = generator();
    }
    return static_cast<std::int32_t>(std::int64_t{lo} + static_cast<std::int64_t>(v % span));
}

} // namespace shell
