// The command line of lc1sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/lc1sim/chain.h"
#include "tools/lc1sim/faults.h"
#include "tools/lc1sim/pacer.h"
#include "tools/lc1sim/scenarios.h"

namespace lc1sim {

struct Options {
    ScenarioSettings scenario;
    std::string chainText;           // as given; empty: a lone LC-1
    std::vector<ChainDevice> chain;  // what goes out: a lone LC-1 playing `scenario` without --chain
    Rate rate = Rate::kDevice;
    FaultSettings faults;
    bool seedGiven = false;
    std::uint64_t seed = 0;
    std::string replayPath;  // empty: play the scenario
    bool replayBinary = false;
    std::string linkPath;
    std::string devicePath;  // empty: create a pseudo-terminal
    std::string logPath;
    std::uint64_t count = 0;       // 0: no limit
    double durationSeconds = 0.0;  // 0: no limit
    bool help = false;
};

// args excludes the program name. On failure `error` says what is wrong.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();

}  // namespace lc1sim
