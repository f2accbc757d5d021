#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

/// A scratch directory holding a copy of the test assets' data/, removed afterwards.
class Scratch {
  public:
    Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch();
    [[nodiscard]] const std::filesystem::path& dir() const { return dir_; }
    /// Removes data/<name>.
    void remove(std::string_view name) const;
    /// Overwrites data/<name> with bytes that no decoder accepts.
    void corrupt(std::string_view name) const;

  private:
    std::filesystem::path dir_;
};

struct SessionOptions {
    explicit SessionOptions(std::string script, std::vector<std::string> settings = {})
        : events(std::move(script)), env(std::move(settings)) {}
    std::string events;           ///< the input script for the shim (SHIM_EVENTS)
    std::vector<std::string> env; ///< extra NAME=VALUE settings, applied last
    bool capture = false;         ///< record the mix with the disk audio driver
    std::chrono::seconds timeout{60};
    int signal = 0; ///< a signal to send the program, when not 0
    std::chrono::milliseconds signalAfter{0};
};

struct SessionResult {
    int exitCode = -1; ///< -1 when the program had to be killed
    std::string out;
    std::string err;
    std::vector<std::string> log;  ///< the shim's lines, one per recorded call
    std::filesystem::path capture; ///< raw signed 16-bit stereo at 44100 Hz
};

/// Runs the real program in `scratch` with the recording library preloaded.
SessionResult runSession(const Scratch& scratch, const SessionOptions& options);

/// How many lines of `log` start with `prefix`.
[[nodiscard]] std::size_t countLines(const std::vector<std::string>& log, std::string_view prefix);

/// The index of the first line at or after `from` that starts with `prefix`, or log.size().
[[nodiscard]] std::size_t findLine(const std::vector<std::string>& log, std::string_view prefix,
                                   std::size_t from = 0);

/// The last word of a line ("... = 0x1234" gives "0x1234").
[[nodiscard]] std::string lastWord(std::string_view line);

} // namespace testing_support
