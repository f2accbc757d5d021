#include "support/Session.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testing_support {

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> readLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

/// Sets NAME=VALUE in `environment`, replacing an entry of the same name.
void setVariable(std::vector<std::string>& environment, const std::string& entry) {
    const std::string_view name = std::string_view(entry).substr(0, entry.find('=') + 1);
    for (auto& existing : environment) {
        if (existing.starts_with(name)) {
            existing = entry;
            return;
        }
    }
    environment.push_back(entry);
}

int waitWithTimeout(pid_t pid, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

Scratch::Scratch() {
    std::string pattern = (fs::temp_directory_path() / "jukebox-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch directory");
    }
    dir_ = pattern;
    fs::copy(fs::path(JUKEBOX_TEST_ASSETS) / "data", dir_ / "data", fs::copy_options::recursive);
}

Scratch::~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

void Scratch::remove(std::string_view name) const {
    fs::remove(dir_ / "data" / name);
}

void Scratch::corrupt(std::string_view name) const {
    std::ofstream(dir_ / "data" / name, std::ios::binary | std::ios::trunc)
        << "this is not a picture, a track or an effect\n";
}

SessionResult runSession(const Scratch& scratch, const SessionOptions& options) {
    const fs::path log = scratch.dir() / "calls.log";
    const fs::path out = scratch.dir() / "stdout.txt";
    const fs::path err = scratch.dir() / "stderr.txt";
    SessionResult result;
    result.capture = scratch.dir() / "capture.raw";
    fs::remove(log);
    fs::remove(result.capture);

    std::vector<std::string> overrides{
        "SDL_VIDEODRIVER=dummy",
        "SDL_AUDIODRIVER=dummy",
        std::string("LD_PRELOAD=") + JUKEBOX_SHIM,
        "SHIM_LOG=" + log.string(),
        "SHIM_EVENTS=" + options.events,
    };
    if (options.capture) {
        overrides.emplace_back("SDL_AUDIODRIVER=disk");
        overrides.emplace_back("SDL_DISKAUDIOFILE=" + result.capture.string());
        overrides.emplace_back("SDL_DISKAUDIODELAY=40");
    }
    overrides.insert(overrides.end(), options.env.begin(), options.env.end());
    // The test's own environment, each override applied in turn: later settings win.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    for (const auto& entry : overrides) {
        setVariable(environment, entry);
    }
    std::vector<char*> envp;
    for (auto& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, scratch.dir().c_str());
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string program = JUKEBOX_BINARY;
    std::array<char*, 2> argv{program.data(), nullptr};
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    if (options.signal != 0) {
        std::this_thread::sleep_for(options.signalAfter);
        kill(pid, options.signal);
    }
    result.exitCode = waitWithTimeout(pid, options.timeout);
    result.out = readFile(out);
    result.err = readFile(err);
    result.log = readLines(log);
    return result;
}

std::size_t countLines(const std::vector<std::string>& log, std::string_view prefix) {
    std::size_t count = 0;
    for (const auto& line : log) {
        count += line.starts_with(prefix) ? 1 : 0;
    }
    return count;
}

std::size_t findLine(const std::vector<std::string>& log, std::string_view prefix,
                     std::size_t from) {
    for (std::size_t i = from; i < log.size(); ++i) {
        if (log[i].starts_with(prefix)) {
            return i;
        }
    }
    return log.size();
}

std::string lastWord(std::string_view line) {
    const auto space = line.rfind(' ');
    return std::string(space == std::string_view::npos ? line : line.substr(space + 1));
}

} // namespace testing_support
