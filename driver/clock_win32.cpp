#include <windows.h>

#include "driver/clock.h"

namespace lamdex {

// Coarse (about 16 ms) but cheap, and it does not wrap after 49 days as GetTickCount does.
std::uint64_t MonotonicMilliseconds() {
    return GetTickCount64();
}

}  // namespace lamdex
