// The dialog on the Windows dialog manager: a thin layer over the port choice.
#include <windows.h>

#include "driver/lc1_driver.h"
#include "plugin/module_handle.h"
#include "ui/port_choice.h"
#include "ui/port_dialog.h"
#include "ui/resource.h"

namespace lamdex {
namespace {

// The window's user data slot carries the component from WM_INITDIALOG on, so every
// open dialog knows its own component and needs no global.
LC1Driver* ComponentOf(HWND dialog) {
    return reinterpret_cast<LC1Driver*>(GetWindowLongPtrA(dialog, DWLP_USER));
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
            const LC1Driver* driver = reinterpret_cast<LC1Driver*>(lParam);
            FillPortList(dialog, driver != nullptr ? driver->PortNumber() : kNoPort);
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
                    ApplySelectedEntry(ComponentOf(dialog), selected);
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

void OpenPortDialog(void* ownerWindow, LC1Driver* driver) {
    CreateDialogParamA(static_cast<HINSTANCE>(ModuleHandle()), MAKEINTRESOURCEA(IDD_PORT_DIALOG),
                       static_cast<HWND>(ownerWindow), PortDialogProc, reinterpret_cast<LPARAM>(driver));
}

}  // namespace lamdex
