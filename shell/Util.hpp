#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace shell {

/// The UTF-8 bytes of `text`; every code point is encoded, none is rejected or replaced.
[[nodiscard]] std::string encodeUtf8(std::u32string_view text);

/// An integer from lo to hi inclusive (the bounds may come in either order), drawn from the
/// process-wide generator, which is created and seeded from the clocks on the first call.
[[nodiscard]] std::int32_t randomInRange(std::int32_t lo, std::int32_t hi);

} // namespace shell
