// Diagnostics for a person watching the platform's debug output.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lamdex {

// Passes the text as it is: no line end is appended where the platform has a debug channel.
void WriteDebugText(const char* text);

// The platform's own words for one of its error codes (GetLastError, errno), without a
// line end, bounded by size.
void DescribePlatformError(std::uint32_t error, char* text, std::size_t size);

}  // namespace lamdex
