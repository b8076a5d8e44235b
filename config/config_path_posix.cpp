// Natively the home folder stands in for the Windows profile folder.
#include <cstdlib>
#include <cstring>

#include "config/config_file.h"

namespace lamdex {

const char kPathSeparator = '/';

bool ProfileFolder(char (&folder)[kConfigPathSize]) {
    const char* home = std::getenv("HOME");
    if (home == nullptr) return false;
    const std::size_t length = std::strlen(home);
    if (length >= kConfigPathSize) return false;
    std::memcpy(folder, home, length + 1);
    return true;
}

}  // namespace lamdex
