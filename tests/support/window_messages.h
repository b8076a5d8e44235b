// For Windows test programs that drive real windows: lets the dialog manager run.
#pragma once

#include <windows.h>

namespace lamdex::test {

// Dispatches this thread's messages for about `milliseconds`, as a host's message loop would.
inline void PumpMessages(DWORD milliseconds = 50) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

}  // namespace lamdex::test
