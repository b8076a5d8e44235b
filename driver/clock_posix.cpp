#include <ctime>

#include "driver/clock.h"

namespace lamdex {

std::uint64_t MonotonicMilliseconds() {
    std::timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace lamdex
