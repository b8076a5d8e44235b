#include <windows.h>

#include "driver/debug_output.h"

namespace lamdex {

void WriteDebugText(const char* text) {
    OutputDebugStringA(text);
}

}  // namespace lamdex
