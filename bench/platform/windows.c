#include "platform.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <windows.h>

/* The Windows jukebox's pause: a high-resolution waitable timer of 10 us, else Sleep(1). */
void minimal_pause(void) {
    static HANDLE timer;
    static int made;
    if (!made) {
        timer = CreateWaitableTimerExW(NULL, NULL, 0x00000002, TIMER_ALL_ACCESS);
        made = 1;
    }
    LARGE_INTEGER due;
    due.QuadPart = -100;
    if (timer != NULL && SetWaitableTimer(timer, &due, 0, NULL, NULL, FALSE)) {
        WaitForSingleObject(timer, INFINITE);
        return;
    }
    Sleep(1);
}

/* "ジュークボックス" through the Unicode default window procedure, as the jukebox sets it. */
void minimal_mend_title(void) {
    static const wchar_t title[] = L"\u30b8\u30e5\u30fc\u30af\u30dc\u30c3\u30af\u30b9";
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) > 0) {
        DefWindowProcW(info.window, WM_SETTEXT, 0, (LPARAM)title);
    }
}
