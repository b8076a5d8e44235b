// MoveFileExA replaces the file in one step and, written through, is on the disk when it
// returns. It refuses a read-only file, a folder, and a file another program holds.
#include <windows.h>

#include "config/config_file.h"

namespace lamdex {

bool MoveIntoPlace(const char* temporary, const char* path) {
    return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace lamdex
