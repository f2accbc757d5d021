#include "shell/Application.hpp"

#include "shell/Failure.hpp"
#include "shell/FileCheck.hpp"
#include "shell/Platform.hpp"
#include "shell/Util.hpp"

#include <SDL_image.h>
#include <SDL_mixer.h>

#include <string>

namespace shell {

namespace {

constexpr Uint32 kInitFlags = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK;
constexpr Uint32 kVideoFlags = SDL_SWSURFACE | SDL_DOUBLEBUF;
constexpr int kAudioChannels = 2;
constexpr int kAudioChunkSize = 4096;

} // namespace

SurfacePtr loadImage(const char* path) {
    if (!checkPictureFile(path)) {
        failWithSdlError("IMG_Load");
    }
    SDL_ClearError();
    SurfacePtr image(IMG_Load(path));
    if (!image) {
        failLoad("IMG_Load", path);
    }
    return image;
}

SurfacePtr loadColorKeyedImage(const char* path, std::uint32_t colorKey) {
    SurfacePtr image = loadImage(path);
    SDL_LockSurface(image.get());
    SDL_SetColorKey(image.get(), SDL_SRCCOLORKEY, colorKey);
    SDL_UnlockSurface(image.get());
    return image;
}

void setWindowIcon(const char* path, std::uint32_t colorKey) {
    const SurfacePtr icon = loadColorKeyedImage(path, colorKey);
    // With no mask of its own, SDL derives the icon mask from the colour key.
    SDL_WM_SetIcon(icon.get(), nullptr);
}

void runApplication(std::int32_t screenWidth, std::int32_t screenHeight,
                    std::u32string_view caption, const char* iconPath, std::uint32_t iconColorKey,
                    std::int32_t audioFrequency, const std::function<void()>& application) {
    // Only -1 means failure; any other result, negative ones included, counts as success.
    if (SDL_Init(kInitFlags) == -1) {
        failWithSdlError("SDL_Init");
    }
    const SdlQuitGuard sdl;
    // From here on the process only reads, draws and plays: the window and the sound device
    // open under the confinement, and every file from data/ is read under it.
    confineProcess();

    // SDL 1.2 hands the icon to the window manager when it creates the window; an icon set
    // afterwards reaches the window but some managers never read it again.
    setWindowIcon(iconPath, iconColorKey);
    if (SDL_SetVideoMode(screenWidth, screenHeight, 0, kVideoFlags) == nullptr) {
        failWithSdlError("SDL_SetVideoMode");
    }
    const std::string title = encodeUtf8(caption);
    SDL_WM_SetCaption(title.c_str(), "");
    mendWindowTitle(caption);
    SDL_EnableUNICODE(1);
    if (Mix_OpenAudio(audioFrequency, AUDIO_S16SYS, kAudioChannels, kAudioChunkSize) != 0) {
        failWithSdlError("Mix_OpenAudio");
    }

    application();
    // Reached only after a normal return: a failing application leaves the audio to SDL_Quit.
    Mix_CloseAudio();
}

} // namespace shell
