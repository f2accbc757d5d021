#include "shell/Platform.hpp"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// The jukebox reads its own files, draws and plays; nothing else. Once SDL is up, the kernel is
// told so through Landlock, for the rest of the process's life: a crafted file that takes over a
// decoder finds no file it may write, no program it may start and no connection it may open.
// A kernel without Landlock (or with an older version of it) confines what it can, silently.

namespace shell {

namespace {

// The kernel's Landlock interface (linux/landlock.h), spelt out here for the rights newer than
// the oldest headers the program is built with.
#ifndef SYS_landlock_create_ruleset
constexpr long SYS_landlock_create_ruleset = 444;
constexpr long SYS_landlock_add_rule = 445;
constexpr long SYS_landlock_restrict_self = 446;
#endif
constexpr std::uint32_t kCreateRulesetVersion = 1U << 0U;
constexpr int kRulePathBeneath = 1;

constexpr std::uint64_t kExecute = 1U << 0U;
constexpr std::uint64_t kWriteFile = 1U << 1U;
constexpr std::uint64_t kReadFile = 1U << 2U;
constexpr std::uint64_t kReadDir = 1U << 3U;
constexpr std::uint64_t kMakeAndRemove = 0x1ff0; // remove dir, file; make char, dir, reg, sock,
                                                 // fifo, block device, symbolic link
constexpr std::uint64_t kRefer = 1U << 13U;      // version 2
constexpr std::uint64_t kTruncate = 1U << 14U;   // version 3
constexpr std::uint64_t kNetBindTcp = 1U << 0U;  // version 4
constexpr std::uint64_t kNetConnectTcp = 1U << 1U;
constexpr std::uint64_t kScopeAbstractUnixSocket = 1U << 0U; // version 6
constexpr std::uint64_t kScopeSignal = 1U << 1U;

constexpr std::uint64_t kRead = kReadFile | kReadDir;
constexpr std::uint64_t kFileRights = kExecute | kWriteFile | kReadFile | kTruncate;

struct RulesetAttr {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;
    std::uint64_t scoped;
};

struct [[gnu::packed]] PathBeneathAttr {
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
};

/// What may be done beneath one path; a path that does not exist is left out.
struct Rule {
    std::string path;
    std::uint64_t access;
};

/// Everything the process may still touch once confined, wherever it runs; all else is refused.
std::vector<Rule> fixedRules() {
    return {
        // The jukebox's own pictures and sounds.
        {"data", kRead},
        // The libraries SDL, SDL_mixer, ALSA and PipeWire open on demand, and their data: sound
        // configuration, keyboard maps, cursors, locales.
        {"/usr", kRead},
        {"/lib", kRead},
        {"/lib64", kRead},
        // The loader's cache; the libraries' configuration (ALSA, PulseAudio, PipeWire); the
        // user's name and the machine's identity, which the sound clients send their server.
        {"/etc", kRead},
        {"/var/lib/dbus/machine-id", kReadFile},
        // The process's own state, read by SDL 2 and the C library.
        {"/proc/self", kRead},
        // The processor count, ALSA's card list and the GPU's driver, found through sysfs.
        {"/sys/devices", kRead},
        {"/sys/class", kRead},
        // ALSA's and the GPU's devices, which their libraries open when sound or drawing starts.
        {"/dev/snd", kRead | kWriteFile},
        {"/dev/dri", kRead | kWriteFile},
        {"/dev/null", kReadFile | kWriteFile},
        {"/dev/urandom", kReadFile},
    };
}

/// PulseAudio's client configuration and the cookie it shows its server, in the user's own
/// configuration directory.
void addSoundClientRules(std::vector<Rule>& list) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (config != nullptr && *config == '/') {
        list.push_back({std::string(config) + "/pulse", kRead});
    } else if (home != nullptr) {
        list.push_back({std::string(home) + "/.config/pulse", kRead});
    }
    if (home != nullptr) {
        list.push_back({std::string(home) + "/.pulse-cookie", kReadFile});
    }
}

/// Where the loader is pointed for the libraries' own libraries (by a packager or a test).
void addLoaderRules(std::vector<Rule>& list) {
    const char* path = std::getenv("LD_LIBRARY_PATH");
    for (std::string_view rest = path != nullptr ? path : ""; !rest.empty();) {
        const std::size_t colon = rest.find(':');
        list.push_back({std::string(rest.substr(0, colon)), kRead});
        rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    }
}

/// SDL's disk output writes the sound to one file instead of a device (the tests record with
/// it): that file alone may be written, made beforehand so that a rule can name it.
void addDiskOutputRule(std::vector<Rule>& list) {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (driver == nullptr || std::strcmp(driver, "disk") != 0) {
        return;
    }
    const char* file = std::getenv("SDL_DISKAUDIOFILE");
    const std::string path = file != nullptr && *file != '\0' ? file : "sdlaudio.raw";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        close(fd);
    }
    list.push_back({path, kWriteFile | kTruncate});
}

/// A sanitized build's suppression files, which LeakSanitizer reads only when the process ends.
void addSanitizerRules(std::vector<Rule>& list) {
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* options = std::getenv(name);
        std::string_view rest = options != nullptr ? options : "";
        for (std::size_t at = rest.find("suppressions="); at != std::string_view::npos;
             at = rest.find("suppressions=")) {
            rest.remove_prefix(at + std::strlen("suppressions="));
            list.push_back({std::string(rest.substr(0, rest.find(':'))), kReadFile});
        }
    }
}

std::vector<Rule> rules() {
    std::vector<Rule> list = fixedRules();
    addSoundClientRules(list);
    addLoaderRules(list);
    addSanitizerRules(list);
    addDiskOutputRule(list);
    return list;
}

int landlockAbi() {
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
    return abi > 0 ? static_cast<int>(abi) : 0;
}

RulesetAttr handledRights(int abi) {
    RulesetAttr attr{kExecute | kWriteFile | kRead | kMakeAndRemove, 0, 0};
    if (abi >= 2) {
        attr.handledAccessFs |= kRefer;
    }
    if (abi >= 3) {
        attr.handledAccessFs |= kTruncate;
    }
    if (abi >= 4) {
        attr.handledAccessNet = kNetBindTcp | kNetConnectTcp;
    }
    if (abi >= 6) {
        attr.scoped = kScopeAbstractUnixSocket | kScopeSignal;
    }
    return attr;
}

void addRule(int ruleset, const Rule& rule, std::uint64_t handled) {
    const int fd = open(rule.path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    std::uint64_t access = rule.access & handled;
    struct stat info {};
    if (fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode)) {
        access &= kFileRights;
    }
    const PathBeneathAttr beneath{access, fd};
    syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &beneath, 0);
    close(fd);
}

} // namespace

void confineProcess() {
    if (std::getenv("JUKEBOX_UNCONFINED") != nullptr) {
        return;
    }
    // Nothing the process starts can gain rights: set-user-ID programs stay what they are.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    const int abi = landlockAbi();
    if (abi == 0) {
        return;
    }
    // Mesa keeps compiled shaders in ~/.cache, which is no longer written to: it is told so,
    // rather than trying and saying on standard error that it could not.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    const RulesetAttr handled = handledRights(abi);
    const long ruleset = syscall(SYS_landlock_create_ruleset, &handled, sizeof handled, 0);
    if (ruleset < 0) {
        return;
    }
    const int fd = static_cast<int>(ruleset);
    for (const Rule& rule : rules()) {
        addRule(fd, rule, handled.handledAccessFs);
    }
    syscall(SYS_landlock_restrict_self, fd, 0);
    close(fd);
}

} // namespace shell
