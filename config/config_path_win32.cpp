// The file lives under the user's profile folder.
#include <shlobj.h>
#include <windows.h>

#include "config/config_file.h"

namespace lamdex {

const char kPathSeparator = '\\';

bool ProfileFolder(char (&folder)[kConfigPathSize]) {
    static_assert(kConfigPathSize >= MAX_PATH, "the shell writes up to MAX_PATH characters");
    return SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK;
}

}  // namespace lamdex
