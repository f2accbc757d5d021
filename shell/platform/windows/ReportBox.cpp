#include "shell/Platform.hpp"

#include <windows.h>

#include <string>

namespace shell {

// The windowed program has no console: the report goes into a modal error box of its own.
void showFatalReport(std::string_view program, const Failure& failure) {
    const std::string text = failureText(failure);
    if (!fitsMessageBox(text)) {
        return;
    }
    const std::string title(program);
    MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

} // namespace shell
