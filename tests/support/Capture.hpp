#pragma once

#include <filesystem>
#include <vector>

namespace testing_support {

inline constexpr int kSampleRate = 44100;

/// A mix recorded by the disk audio driver, folded to mono, samples in -1..1.
class Capture {
  public:
    explicit Capture(const std::filesystem::path& raw);
    [[nodiscard]] std::size_t frames() const { return samples_.size(); }
    [[nodiscard]] double seconds() const { return static_cast<double>(frames()) / kSampleRate; }
    /// The amplitude of the `hz` tone in the window of `length` frames starting at `start`.
    [[nodiscard]] double level(double hz, std::size_t start, std::size_t length) const;
    /// The amplitude of `hz` in consecutive windows of `window` frames over the whole capture.
    [[nodiscard]] std::vector<double> levels(double hz, std::size_t window) const;

  private:
    std::vector<double> samples_;
};

} // namespace testing_support
