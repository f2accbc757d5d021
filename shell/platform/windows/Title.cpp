#include "shell/Platform.hpp"

#include <SDL.h>
#include <SDL_syswm.h>
#include <windows.h>

#include <string>

namespace shell {

namespace {

std::wstring encodeUtf16(std::u32string_view text) {
    std::wstring out;
    for (char32_t c : text) {
        if (c > 0xFFFF) {
            c -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(c));
        }
    }
    return out;
}

} // namespace

// SDL 1.2 turns the UTF-8 caption into the ANSI code page, and its window class is an ANSI one,
// so SetWindowTextW would go through that code page too: the Unicode default window procedure
// stores the title as it is.
void mendWindowTitle(std::u32string_view caption) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) <= 0) {
        return;
    }
    const std::wstring title = encodeUtf16(caption);
    DefWindowProcW(info.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
}

} // namespace shell
