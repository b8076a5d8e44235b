#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/zbhost/configuration_loop.h"

namespace zbhost {

namespace {

constexpr char kDialogTitle[] = "Chose COM port for LC-1";

BOOL CALLBACK CollectDialog(HWND window, LPARAM found) {
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, kDialogTitle) == 0) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

// The plug-in keeps no handle to its dialog: find it among this thread's top-level windows.
std::vector<HWND> DialogWindows() {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND NewDialog(const std::vector<HWND>& before) {
    for (HWND window : DialogWindows()) {
        if (std::find(before.begin(), before.end(), window) == before.end()) return window;
    }
    return nullptr;
}

void RunMessageLoopUntilClosed(HWND dialog) {
    MSG message;
    while (IsWindow(dialog) && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

}  // namespace

HResult RunConfiguration(void* component, std::string& note) {
    Record<config_dialog_params::kRecordBytes> params;
    params.Put32(config_dialog_params::kSize, config_dialog_params::kSizeValue);
    params.PutPointer(config_dialog_params::kOwnerWindow, nullptr);  // no owner: a top-level dialog

    const std::vector<HWND> before = DialogWindows();
    const HResult result = component_call::ShowConfiguration(component, params.Data());
    HWND dialog = NewDialog(before);
    if (dialog == nullptr) {
        note = "no window titled \"" + std::string(kDialogTitle) + "\" appeared";
        return result;
    }
    RunMessageLoopUntilClosed(dialog);
    note = "the dialog has closed";
    return result;
}

}  // namespace zbhost
