#include "tools/lc1sim/scenarios.h"

namespace lc1sim {

namespace {

Reading Make(unsigned status, unsigned multiplier, unsigned lambda) {
    Reading reading;
    reading.status = status;
    reading.multiplier = multiplier;
    reading.lambda = lambda;
    return reading;
}

Reading NoGroup() {
    Reading reading;
    reading.hasGroup = false;
    return reading;
}

Reading Warmup(const ScenarioSettings& settings, std::uint64_t index) {
    const std::uint64_t tenths = index >= kWarmupPackets - 1 ? 1000 : index * 1000 / (kWarmupPackets - 1);
    return Make(kStatusWarmup, settings.multiplier, static_cast<unsigned>(tenths));
}

// A triangle: rich to lean over the first half of the cycle, back over the second.
Reading Sweep(const ScenarioSettings& settings, std::uint64_t index) {
    const std::uint64_t half = kSweepPackets / 2;
    const std::uint64_t position = index % kSweepPackets;
    const std::uint64_t fromRich = position <= half ? position : kSweepPackets - position;
    const std::uint64_t lambda = kSweepLambdaMin + (kSweepLambdaMax - kSweepLambdaMin) * fromRich / half;
    return Make(kStatusLambda, settings.multiplier, static_cast<unsigned>(lambda));
}

Reading Calibration(const ScenarioSettings& settings, std::uint64_t index) {
    if (index < kCalibratingPackets) return Make(kStatusCalibrating, settings.multiplier, 0);
    return Make(kStatusOxygen, settings.multiplier, kFreeAirOxygen);
}

// The lambda field counts packets, so a receiver can tell from a value when it was sent.
Reading Ramp(const ScenarioSettings& settings, std::uint64_t index) {
    return Make(kStatusLambda, settings.multiplier, static_cast<unsigned>(index % kLambdaFieldValues));
}

}  // namespace

std::optional<ScenarioKind> ScenarioByName(const std::string& name) {
    if (name == "demo") return ScenarioKind::kDemo;
    if (name == "warmup") return ScenarioKind::kWarmup;
    if (name == "sweep") return ScenarioKind::kSweep;
    if (name == "calibration") return ScenarioKind::kCalibration;
    if (name == "error") return ScenarioKind::kError;
    if (name == "sequence") return ScenarioKind::kSequence;
    if (name == "ramp") return ScenarioKind::kRamp;
    return std::nullopt;
}

const std::vector<Reading>& SequenceReadings() {
    static const std::vector<Reading> readings = {
        Make(0, 147, 500),   // 43 13 03 74: 14.7
        Make(0, 147, 0),     // lambda 0.5
        Make(0, 147, 1000),  // lambda 1.5
        Make(0, 147, 350),
        Make(0, 147, 30),    // 43 13 00 1E: needs the exact rounding steps
        Make(0, 147, 2195),  // 43 13 11 13: flow-control bytes in the lambda field
        Make(0, 17, 17),     // 42 11 00 11
        Make(0, 19, 19),     // 42 13 00 13
        Make(0, 150, 224),
        Make(0, 172, 298),
        Make(0, 255, 178),   // multiplier bit 7 lives in the status byte
        Make(0, 255, 8191),  // every field at its maximum
        Make(0, 0, 500),     // value 0
        Make(kStatusOxygen, 147, kFreeAirOxygen),
        Make(kStatusCalibrating, 147, 0),
        Make(kStatusNeedsCalibration, 147, 0),
        Make(kStatusWarmup, 147, 50),
        Make(kStatusHeaterCalibration, 147, 10),
        Make(kStatusError, 147, 1),
        Make(kStatusReserved, 147, 0),
        NoGroup(),          // B2 82 00 00 00 00
        Make(0, 147, 500),  // a reading right after it
    };
    return readings;
}

Reading ScenarioReading(const ScenarioSettings& settings, std::uint64_t index) {
    switch (settings.kind) {
        case ScenarioKind::kWarmup:
            return Warmup(settings, index);
        case ScenarioKind::kSweep:
            return Sweep(settings, index);
        case ScenarioKind::kCalibration:
            return Calibration(settings, index);
        case ScenarioKind::kError:
            return Make(settings.errorStatus, settings.multiplier, 0);
        case ScenarioKind::kRamp:
            return Ramp(settings, index);
        case ScenarioKind::kSequence: {
            const auto& readings = SequenceReadings();
            return readings[index % readings.size()];
        }
        case ScenarioKind::kDemo:
            break;
    }
    if (index < kWarmupPackets) return Warmup(settings, index);
    return Sweep(settings, index - kWarmupPackets);
}

}  // namespace lc1sim
