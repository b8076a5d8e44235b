// rename replaces the file in one step within a folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "config/config_file.h"

namespace lamdex {

bool MoveIntoPlace(const char* temporary, const char* path) {
    // As on Windows, only a file that could have been written in place is replaced: never
    // a read-only file, a folder or a device.
    struct stat entry {};
    if (stat(path, &entry) == 0 && (!S_ISREG(entry.st_mode) || access(path, W_OK) != 0)) return false;
    return std::rename(temporary, path) == 0;
}

}  // namespace lamdex
