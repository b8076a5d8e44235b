// The file lives under the user's profile folder.
#include <shlobj.h>
#include <windows.h>

#include <cstring>

#include "config/config_file.h"

namespace lamdex {

void BuildConfigPath(char (&path)[kConfigPathSize]) {
    static constexpr char kSuffix[] = "\\My Documents\\Zelbar Files\\Plugins\\Lamdex.cfg";
    path[0] = '\0';
    char profile[MAX_PATH] = {};
    static_assert(sizeof(profile) >= kConfigPathSize, "the shell writes up to MAX_PATH characters");
    if (SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile) != S_OK) return;
    const std::size_t folderLength = std::strlen(profile);
    // A cut path could name some other file; an empty one makes load and save fail instead.
    if (folderLength == 0 || folderLength + sizeof(kSuffix) > kConfigPathSize) return;
    std::memcpy(path, profile, folderLength);
    std::memcpy(path + folderLength, kSuffix, sizeof(kSuffix));
}

}  // namespace lamdex
