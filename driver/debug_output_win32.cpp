#include <windows.h>

#include "driver/debug_output.h"

namespace lamdex {

void WriteDebugText(const char* text) {
    OutputDebugStringA(text);
}

void DescribePlatformError(std::uint32_t error, char* text, std::size_t size) {
    if (size == 0) return;
    // Into our own buffer: the system allocates nothing for us to free.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  static_cast<DWORD>(size), nullptr);
    if (length == 0) {
        lstrcpynA(text, "no description", static_cast<int>(size));
        return;
    }
    // The system's texts end in a line break, which would split the one-line diagnostic.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
    text[length] = '\0';
}

}  // namespace lamdex
