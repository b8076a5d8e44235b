#include "driver/lc1_state.h"

#include <cstdio>

#include "driver/debug_output.h"

namespace lamdex {
namespace {

constexpr std::uint8_t kStatusFreeAir = 1;
constexpr std::uint8_t kStatusWarmingUp = 4;
constexpr std::uint8_t kStatusError = 6;

// Status 6 carries the code in the lambda field.
const char* ErrorMeaning(unsigned code) {
    switch (code) {
        case 1:
            return "heater short circuit";
        case 2:
            return "heater open circuit (check that the sensor's connector is fully seated)";
        case 3:
            return "pump cell short circuit (also after a bad heater calibration or an overheated sensor)";
        case 4:
            return "pump cell open circuit (or a bad heater calibration: redo it)";
        case 5:
            return "reference cell short circuit";
        case 6:
            return "reference cell open circuit";
        case 7:
            return "the controller's own software error: power it off and on";
        case 8:
            return "sensor timing error: the sensor overheated or is damaged; recalibrate the heater, mount the "
                   "sensor further from the engine";
        default:
            return nullptr;
    }
}

// Free air's oxygen level and the warm-up's progress are both in tenths of a percent.
double Percent(const Lc1Reading& reading) {
    return reading.lambda / 10.0;
}

Lc1StateReport::State StateOf(const Lc1Place* place) {
    if (place->kind == PlaceKind::kMissing) return {false, 0, 0};
    const Lc1Reading& reading = place->reading;
    std::uint16_t detail = 0;
    if (reading.status == kStatusError) detail = reading.lambda;
    if (reading.status == kStatusWarmingUp) detail = static_cast<std::uint16_t>(reading.lambda / 100);
    return {true, reading.status, detail};
}

bool SameState(const Lc1StateReport::State& a, const Lc1StateReport::State& b) {
    return a.inChain == b.inChain && a.status == b.status && a.detail == b.detail;
}

}  // namespace

void DescribeLc1(const Lc1Reading& reading, char* text, std::size_t size) {
    switch (reading.status) {
        case 0:
            (void)std::snprintf(text, size, "reading AFR %.2f",
                                ConvertToFixedAfr(reading.lambda, reading.multiplier) / 65536.0);
            return;
        case kStatusFreeAir:
            (void)std::snprintf(text, size, "free air: oxygen %.1f %% (no AFR)", Percent(reading));
            return;
        case 2:
            (void)std::snprintf(text, size, "free-air calibration in progress");
            return;
        case 3:
            (void)std::snprintf(text, size,
                                "needs a free-air calibration: run the controller's calibration with the sensor "
                                "in free air");
            return;
        case kStatusWarmingUp:
            (void)std::snprintf(text, size, "warming up (%.1f %%)", Percent(reading));
            return;
        case 5:
            (void)std::snprintf(text, size, "heater calibration in progress");
            return;
        case kStatusError: {
            const char* meaning = ErrorMeaning(reading.lambda);
            (void)std::snprintf(text, size, "error %u%s%s", static_cast<unsigned>(reading.lambda),
                                meaning != nullptr ? ": " : "", meaning != nullptr ? meaning : "");
            return;
        }
        default:
            (void)std::snprintf(text, size, "error (status %u)", static_cast<unsigned>(reading.status));
            return;
    }
}

void Lc1StateReport::Observe(int portNumber, int sensor, const Lc1Place* place) {
    if (place == nullptr || place->kind == PlaceKind::kBroken) return;
    const State state = StateOf(place);
    if (known_ && SameState(state, told_)) return;
    known_ = true;
    told_ = state;

    char words[200];
    if (state.inChain) {
        DescribeLc1(place->reading, words, sizeof words);
    } else {
        (void)std::snprintf(words, sizeof words,
                            "%s: check the chain's cabling and the SENSOR line of Lamdex.cfg; lamdex-check shows "
                            "what the line carries",
                            kNotInChainText);
    }
    char which[16] = "";
    if (sensor != kDefaultSensor) (void)std::snprintf(which, sizeof which, " #%d", sensor);
    char text[64 + sizeof words];
    (void)std::snprintf(text, sizeof text, "LC1Driver::Read COM%d LC-1%s %s", portNumber, which, words);
    WriteDebugText(text);
}

}  // namespace lamdex
