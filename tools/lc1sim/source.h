// Where the packets come from (a scenario or a capture) and how each is logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/lc1sim/lc1_packet.h"
#include "tools/lc1sim/scenarios.h"

namespace lc1sim {

struct Outgoing {
    std::vector<std::uint8_t> bytes;
    std::optional<Reading> reading;  // what a receiver finds in the bytes, if anything
};

class PacketSource {
public:
    static PacketSource ForScenario(const ScenarioSettings& settings);
    static PacketSource ForCapture(const std::vector<std::uint8_t>& capture);

    // false when a capture has run out; scenarios never do.
    bool Next(std::uint64_t index, Outgoing& outgoing) const;

private:
    ScenarioSettings settings_;
    bool replay_ = false;
    std::vector<std::vector<std::uint8_t>> pieces_;
};

// "index status multiplier lambda value"; value only for status 0, "-" otherwise, and every
// field "-" for bytes that hold no LC-1 group.
std::string LogLine(std::uint64_t index, const std::optional<Reading>& reading);

constexpr const char* kLogHeader = "# index status multiplier lambda value";

}  // namespace lc1sim
