#include <cstdio>
#include <cstring>

#include "driver/debug_output.h"

namespace lamdex {

// With no debugger channel natively, standard error stands in, one text per line.
void WriteDebugText(const char* text) {
    // A diagnostic that cannot be shown has nowhere else to go.
    (void)std::fputs(text, stderr);
    (void)std::fputc('\n', stderr);
}

void DescribePlatformError(std::uint32_t error, char* text, std::size_t size) {
    (void)std::snprintf(text, size, "%s", std::strerror(static_cast<int>(error)));
}

}  // namespace lamdex
