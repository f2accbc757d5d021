#include "jukebox/Plinkar.hpp"
#include "shell/Application.hpp"
#include "shell/Failure.hpp"
#include "shell/Platform.hpp"

#include <exception>

namespace {

constexpr std::int32_t kScreenWidth = 320;
constexpr std::int32_t kScreenHeight = 240;
constexpr std::u32string_view kCaption = U"ジュークボックス";
constexpr const char* kIconPath = "data/images/icon.bmp";
constexpr std::uint32_t kIconColorKey = 15;
constexpr std::int32_t kAudioFrequency = 44100;

} // namespace

int main(int argc, char** argv) {
    const std::string program = shell::programName(argc > 0 ? argv[0] : nullptr);
    try {
        shell::runApplication(kScreenWidth, kScreenHeight, kCaption, kIconPath, kIconColorKey,
                              kAudioFrequency, jukebox::jukeboxMain);
    } catch (const shell::Failure& failure) {
        shell::showFatalReport(program, failure);
        return 1;
    } catch (const std::exception& error) {
        shell::showFatalReport(program, shell::Failure(shell::FailureKind::Plain, error.what()));
        return 1;
    }
    return 0;
}
