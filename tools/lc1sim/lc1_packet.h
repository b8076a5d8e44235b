// LC-1 packets as the simulator sends them: header B2 82 and one data group.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace lc1sim {

// One thing the device says. Without a group the packet is B2 82 00 00 00 00, which a
// reader must treat as "no LC-1 connected".
struct Reading {
    bool hasGroup = true;
    unsigned status = 0;      // 0..7
    unsigned multiplier = 0;  // raw, tenths: 147 is 14.7
    unsigned lambda = 0;      // raw, 13 bits: lambda = raw * 0.001 + 0.5
};

bool operator==(const Reading& a, const Reading& b);

// Builds the 6-byte packet; fields are masked to their widths.
std::vector<std::uint8_t> EncodePacket(const Reading& reading);

// Reads the first LC-1 group found in bytes (any position, as a receiver would look).
std::optional<Reading> FindGroup(const std::vector<std::uint8_t>& bytes);

// The 16.16 value a receiver reports for a status-0 reading, with the device's rounding.
std::int32_t ExpectedValue(unsigned lambda, unsigned multiplier);

}  // namespace lc1sim
