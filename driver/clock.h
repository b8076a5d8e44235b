// A millisecond clock that only moves forward, for the few decisions the component makes
// by time (when a silent line is checked, when a lost one is tried again). Implemented once
// per platform (clock_win32.cpp, clock_posix.cpp); reading it never waits.
#pragma once

#include <cstdint>

namespace lamdex {

std::uint64_t MonotonicMilliseconds();

}  // namespace lamdex
