#include "support/Capture.hpp"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>

namespace testing_support {

Capture::Capture(const std::filesystem::path& raw) {
    std::ifstream in(raw, std::ios::binary);
    std::int16_t frame[2];
    while (in.read(reinterpret_cast<char*>(frame), sizeof frame)) {
        samples_.push_back((frame[0] + frame[1]) / 65536.0);
    }
}

double Capture::level(double hz, std::size_t start, std::size_t length) const {
    // Goertzel: the magnitude of one frequency; a sine of amplitude A reads as A.
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / kSampleRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    const std::size_t end = std::min(start + length, samples_.size());
    for (std::size_t i = start; i < end; ++i) {
        const double current = samples_[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    return end > start ? 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(end - start)
                       : 0.0;
}

std::vector<double> Capture::levels(double hz, std::size_t window) const {
    std::vector<double> result;
    for (std::size_t start = 0; start + window <= samples_.size(); start += window) {
        result.push_back(level(hz, start, window));
    }
    return result;
}

} // namespace testing_support
