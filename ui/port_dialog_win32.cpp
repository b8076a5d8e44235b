// The dialog on the Windows dialog manager: a thin layer over the port choice.
#include <windows.h>

#include "ui/port_choice.h"
#include "ui/port_dialog.h"
#include "ui/resource.h"

namespace lamdex {
namespace {

// The window's user data slot carries the port setting from WM_INITDIALOG on, so every
// open dialog knows its own and needs no global.
PortSetting* SettingOf(HWND dialog) {
    return reinterpret_cast<PortSetting*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void FillPortList(HWND dialog, int portNumber) {
    for (int entry = 0; entry < kPortEntryCount; ++entry) {
        char text[kPortEntrySize];
        FormatPortEntry(entry, text);
        SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_SETCURSEL, static_cast<WPARAM>(EntryForPort(portNumber)), 0);
}

INT_PTR CALLBACK PortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, static_cast<LONG_PTR>(lParam));
            const PortSetting* setting = reinterpret_cast<PortSetting*>(lParam);
            FillPortList(dialog, setting != nullptr ? setting->CurrentPort() : kNoPort);
            ShowWindow(dialog, SW_SHOW);
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDCANCEL:
                    DestroyWindow(dialog);
                    return TRUE;
                case IDOK: {
                    const auto selected =
                        static_cast<int>(SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_GETCURSEL, 0, 0));
                    ApplySelectedEntry(SettingOf(dialog), selected);
                    DestroyWindow(dialog);
                    return FALSE;
                }
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

BOOL CALLBACK DestroyIfPortDialog(HWND window, LPARAM /*unused*/) {
    if (GetWindowLongPtrA(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&PortDialogProc)) {
        DestroyWindow(window);
    }
    return TRUE;
}

// A dialog still open when the library unloads would call into unmapped code at its next
// message. The unloading thread, normally the host's window thread, closes its own first.
struct PortDialogsClosedAtUnload {
    PortDialogsClosedAtUnload() = default;
    ~PortDialogsClosedAtUnload() { EnumThreadWindows(GetCurrentThreadId(), DestroyIfPortDialog, 0); }
    PortDialogsClosedAtUnload(const PortDialogsClosedAtUnload&) = delete;
    PortDialogsClosedAtUnload& operator=(const PortDialogsClosedAtUnload&) = delete;
} portDialogsClosedAtUnload;

}  // namespace

void OpenPortDialog(void* module, void* ownerWindow, PortSetting* setting) {
    CreateDialogParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(IDD_PORT_DIALOG),
                       static_cast<HWND>(ownerWindow), PortDialogProc, reinterpret_cast<LPARAM>(setting));
}

}  // namespace lamdex
