// What the simulated device says, packet by packet. Every scenario is a pure function of the
// packet index; time inside a scenario is counted in packets at the device's own cadence
// (81.92 ms each), so runs are repeatable whatever the sending rate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/lc1sim/lc1_packet.h"

namespace lc1sim {

enum class ScenarioKind { kDemo, kWarmup, kSweep, kCalibration, kError, kSequence, kRamp };

struct ScenarioSettings {
    ScenarioKind kind = ScenarioKind::kDemo;
    unsigned multiplier = 147;
    unsigned errorStatus = 6;
};

// Status codes as the LC-1 family reports them.
constexpr unsigned kStatusLambda = 0;
constexpr unsigned kStatusOxygen = 1;       // lambda field: oxygen level in tenths of a percent
constexpr unsigned kStatusCalibrating = 2;  // free-air calibration in progress
constexpr unsigned kStatusNeedsCalibration = 3;
constexpr unsigned kStatusWarmup = 4;  // lambda field: warm-up progress in tenths of a percent
constexpr unsigned kStatusHeaterCalibration = 5;
constexpr unsigned kStatusError = 6;  // lambda field: error code
constexpr unsigned kStatusReserved = 7;

constexpr std::uint64_t kWarmupPackets = 37;       // about 3 s
constexpr std::uint64_t kSweepPackets = 122;       // about 10 s per rich-lean-rich cycle
constexpr unsigned kSweepLambdaMin = 200;          // lambda 0.7
constexpr unsigned kSweepLambdaMax = 800;          // lambda 1.3
constexpr std::uint64_t kCalibratingPackets = 25;  // about 2 s
constexpr unsigned kFreeAirOxygen = 209;           // 20.9 %
constexpr unsigned kLambdaFieldValues = 8192;      // 13 bits: the ramp wraps after about 11 minutes

std::optional<ScenarioKind> ScenarioByName(const std::string& name);

Reading ScenarioReading(const ScenarioSettings& settings, std::uint64_t index);

// The fixed list the sequence scenario cycles through.
const std::vector<Reading>& SequenceReadings();

}  // namespace lc1sim
