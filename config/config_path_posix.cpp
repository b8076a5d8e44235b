// Natively the home folder stands in for the Windows profile folder.
#include <cstdlib>
#include <cstring>

#include "config/config_file.h"

namespace lamdex {

void BuildConfigPath(char (&path)[kConfigPathSize]) {
    static constexpr char kSuffix[] = "/My Documents/Zelbar Files/Plugins/Lamdex.cfg";
    path[0] = '\0';
    const char* home = std::getenv("HOME");
    if (home == nullptr) return;
    const std::size_t folderLength = std::strlen(home);
    // A cut path could name some other file; an empty one makes load and save fail instead.
    if (folderLength == 0 || folderLength + sizeof(kSuffix) > kConfigPathSize) return;
    std::memcpy(path, home, folderLength);
    std::memcpy(path + folderLength, kSuffix, sizeof(kSuffix));
}

}  // namespace lamdex
