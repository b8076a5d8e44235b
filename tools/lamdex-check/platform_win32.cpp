#include <shlobj.h>
#include <windows.h>

#include <atomic>
#include <cstring>

#include "lamdex/port_number.h"
#include "tools/lamdex-check/platform.h"

namespace lamdex::check {
namespace {

// "COM5" (any case) gives 5; other device names, and "COM0" or "COM05", give 0.
int PortOfDeviceName(const char* name) {
    if (_strnicmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9') return 0;
    int port = 0;
    for (const char* digit = name + 3; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9' || port > kHighestPort) return 0;
        port = port * 10 + (*digit - '0');
    }
    return IsPortNumber(port) ? port : 0;
}

std::atomic<bool> ctrlCPressed{false};

// Runs on a thread of its own that Windows starts for the key.
BOOL WINAPI NoteCtrlC(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    ctrlCPressed = true;
    return TRUE;
}

}  // namespace

// Every DOS device named COMn: the ports of adapters plugged in now, virtual ones included.
std::vector<int> ListPorts() {
    std::vector<char> names(64 * 1024);
    DWORD length = 0;
    while ((length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()))) == 0 &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < 16 * 1024 * 1024) {
        names.resize(names.size() * 2);
    }
    bool present[kHighestPort + 1] = {};
    for (std::size_t at = 0; at < length && names[at] != '\0'; at += std::strlen(&names[at]) + 1) {
        present[PortOfDeviceName(&names[at])] = true;
    }
    std::vector<int> ports;
    for (int port = kLowestPort; port <= kHighestPort; ++port) {
        if (present[port]) ports.push_back(port);
    }
    return ports;
}

bool MeansInUse(std::uint32_t openError) {
    return openError == ERROR_ACCESS_DENIED || openError == ERROR_SHARING_VIOLATION;
}

bool FolderExists(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeFolders(const char* path, std::uint32_t& error) {
    const int result = SHCreateDirectoryExA(nullptr, path, nullptr);
    if (result == ERROR_SUCCESS || (result == ERROR_ALREADY_EXISTS && FolderExists(path))) return true;
    error = static_cast<std::uint32_t>(result);
    return false;
}

void CatchCtrlC() {
    SetConsoleCtrlHandler(NoteCtrlC, TRUE);
}

bool CtrlCPressed() {
    return ctrlCPressed;
}

}  // namespace lamdex::check
