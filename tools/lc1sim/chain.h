// A chain of devices on one line, as --chain names it: LC-1s, each with its own scenario and
// multiplier, and auxiliary channels, each with its own value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/lc1sim/lc1_packet.h"
#include "tools/lc1sim/scenarios.h"

namespace lc1sim {

// 00 42: the low byte looks like the start of an LC-1 group, so a receiver that searches at
// odd offsets misreads the LC-1 behind it.
constexpr unsigned kDefaultAuxValue = 0x42;

struct ChainDevice {
    bool auxiliary = false;
    ScenarioSettings scenario;  // an LC-1's
    bool broken = false;        // an LC-1 whose every group is sent broken
    unsigned auxValue = kDefaultAuxValue;
};

// "aux,lc1,lc1:warmup:150,lc1:broken": devices in chain order. "lc1" may add a scenario name,
// a multiplier and "broken" (any of them, any order), taking `lc1Defaults` for what it leaves out;
// "aux" may add a value from 0 to 8191. False with the reason in `error`, also for a chain of
// more words than one packet counts.
bool ParseChain(const std::string& text, const ScenarioSettings& lc1Defaults, std::vector<ChainDevice>& chain,
                std::string& error);

// What each device of the chain says in packet `index`.
std::vector<ChainEntry> ChainEntries(const std::vector<ChainDevice>& chain, std::uint64_t index);

}  // namespace lc1sim
