#include <windows.h>

#include <cstdio>

#include "tools/zbhost/plugin_library.h"

namespace zbhost {

namespace {

// Under Wine a Unix absolute path names the same file on drive Z:.
std::string WindowsPath(const std::string& path) {
    return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

std::string SystemMessage(DWORD code) {
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    char prefix[40];
    std::snprintf(prefix, sizeof prefix, "error %lu", static_cast<unsigned long>(code));
    return message.empty() ? prefix : std::string(prefix) + ": " + message;
}

}  // namespace

LibraryHandle LoadPluginLibrary(const std::string& path, std::string& error) {
    // No "cannot find DLL" message boxes: the failure is reported on the console.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(WindowsPath(path).c_str());
    if (library == nullptr) error = "LoadLibraryA failed with " + SystemMessage(GetLastError());
    return library;
}

ExportedFunction FindExport(LibraryHandle library, const char* name) {
    return reinterpret_cast<ExportedFunction>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadPluginLibrary(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace zbhost
