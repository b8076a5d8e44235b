// Diagnostics for a person watching the platform's debug output.
#pragma once

namespace lamdex {

// Passes the text as it is: no line end is appended where the platform has a debug channel.
void WriteDebugText(const char* text);

}  // namespace lamdex
