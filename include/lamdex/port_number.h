// A port number n names the device "COMn". 255 is the highest whose name, with its NUL,
// fits the 10 characters every port name buffer holds.
#pragma once

namespace lamdex {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 255;

constexpr bool IsPortNumber(int port) {
    return port >= kLowestPort && port <= kHighestPort;
}

}  // namespace lamdex
