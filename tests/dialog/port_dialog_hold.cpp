// Keeps one port dialog of the plug-in on screen, showing port 3, for the README's picture
// (tools/screenshot-dialog.sh). Prints the dialog's screen rectangle as an X geometry
// (WIDTHxHEIGHT+X+Y) once it is up, then closes it after the given time.
//
// usage: port_dialog_hold LAMDEX_DLL MILLISECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/windows_test_support.h"

int main(int argc, char** argv) {
    using namespace lamdex::test;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LAMDEX_DLL MILLISECONDS\n", argv[0]);
        return 2;
    }
    pluginPath = argv[1];
    HMODULE library = nullptr;
    void* component = nullptr;
    std::string error;
    {
        const ProfileGuard guard;  // the library reads the file once, at load
        if (WriteConfigFile("COMPORT 3\r\n")) component = LoadComponent(library, error);
    }
    HWND dialog = component != nullptr ? ShowDialog(component, GetDesktopWindow()) : nullptr;
    if (dialog == nullptr) {
        std::fprintf(stderr, "no dialog: %s\n", error.empty() ? "the component opened none" : error.c_str());
        return 1;
    }
    PumpMessages(200);
    RECT rect;
    GetWindowRect(dialog, &rect);
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
    std::fflush(stdout);
    PumpMessages(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    DestroyWindow(dialog);
    FreeLibrary(library);
    return 0;
}
