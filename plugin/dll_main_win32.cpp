#include <windows.h>

#include "plugin/module_handle.h"

// Kept to recording the module handle: the plug-in object is a static object,
// constructed by the runtime before this runs and destroyed after detach.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        lamdex::RememberModuleHandle(instance);
    }
    return TRUE;
}
