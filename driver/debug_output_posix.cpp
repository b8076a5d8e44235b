#include <cstdio>

#include "driver/debug_output.h"

namespace lamdex {

// With no debugger channel natively, standard error stands in, one text per line.
void WriteDebugText(const char* text) {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
}

}  // namespace lamdex
