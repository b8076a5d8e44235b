#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <string>

#include "driver/serial_link.h"
#include "tools/lamdex-check/platform.h"

namespace lamdex::check {
namespace {

std::atomic<bool> ctrlCPressed{false};

void NoteCtrlC(int /*signal*/) {
    ctrlCPressed = true;
}

}  // namespace

// Every number whose device entry exists, as the plug-in names it: a link in ~/.lamdex
// (even one to a device that is gone) or an on-board /dev/ttyS.
std::vector<int> ListPorts() {
    std::vector<int> ports;
    for (int port = kLowestPort; port <= kHighestPort; ++port) {
        char path[PATH_MAX];
        struct stat entry {};
        if (SerialLink::DevicePath(port, path, sizeof path) && lstat(path, &entry) == 0) ports.push_back(port);
    }
    return ports;
}

bool MeansInUse(std::uint32_t openError) {
    return openError == EBUSY;
}

bool FolderExists(const char* path) {
    struct stat entry {};
    return stat(path, &entry) == 0 && S_ISDIR(entry.st_mode);
}

bool MakeFolders(const char* path, std::uint32_t& error) {
    const std::string folder = path;
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            error = static_cast<std::uint32_t>(errno);
            return false;
        }
        if (end == std::string::npos) break;
    }
    if (FolderExists(path)) return true;
    error = ENOTDIR;
    return false;
}

void CatchCtrlC() {
    (void)std::signal(SIGINT, NoteCtrlC);
    (void)std::signal(SIGTERM, NoteCtrlC);
}

bool CtrlCPressed() {
    return ctrlCPressed;
}

}  // namespace lamdex::check
