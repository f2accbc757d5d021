#include "shell/Platform.hpp"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace shell {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using TimerHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, which MinGW-w64's headers here do not know yet.
constexpr DWORD kHighResolution = 0x00000002;

TimerHandle makeHighResolutionTimer() {
    return TimerHandle(CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS));
}

} // namespace

// A 10 µs nanosleep returns at once on Windows and the processor never idles. A high-resolution
// waitable timer sleeps for its shortest period; without one (before Windows 10 1803, or under
// Wine) Sleep(1) does.
void pauseBetweenPolls() {
    static const TimerHandle timer = makeHighResolutionTimer();
    LARGE_INTEGER due;
    due.QuadPart = -100; // relative, in 100 ns steps: 10 µs, rounded up to the timer's period
    if (timer && SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE) != 0) {
        WaitForSingleObject(timer.get(), INFINITE);
        return;
    }
    Sleep(1);
}

} // namespace shell
