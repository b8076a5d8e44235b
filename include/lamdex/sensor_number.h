// A sensor number n picks the n-th LC-1 of a chain, counted from the head of the packet.
// 127 is the most LC-1s (two words each) that one packet of 255 words can carry.
#pragma once

namespace lamdex {

constexpr int kDefaultSensor = 1;
constexpr int kMaxSensor = 127;

constexpr bool IsSensorNumber(int sensor) {
    return sensor >= kDefaultSensor && sensor <= kMaxSensor;
}

}  // namespace lamdex
