#include "tools/lc1sim/lc1_packet.h"

#include <cmath>

namespace lc1sim {

bool operator==(const Reading& a, const Reading& b) {
    if (a.hasGroup != b.hasGroup) return false;
    return !a.hasGroup || (a.status == b.status && a.multiplier == b.multiplier && a.lambda == b.lambda);
}

std::vector<std::uint8_t> EncodePacket(const Reading& reading) {
    if (!reading.hasGroup) return {0xB2, 0x82, 0x00, 0x00, 0x00, 0x00};
    const unsigned status = reading.status & 0x07u;
    const unsigned multiplier = reading.multiplier & 0xFFu;
    const unsigned lambda = reading.lambda & 0x1FFFu;
    return {0xB2,
            0x82,
            static_cast<std::uint8_t>(0x42u | (status << 2) | (multiplier >> 7)),
            static_cast<std::uint8_t>(multiplier & 0x7Fu),
            static_cast<std::uint8_t>(lambda >> 7),
            static_cast<std::uint8_t>(lambda & 0x7Fu)};
}

std::optional<Reading> FindGroup(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t j = 0; j + 4 <= bytes.size(); ++j) {
        const unsigned d0 = bytes[j], d1 = bytes[j + 1], d2 = bytes[j + 2], d3 = bytes[j + 3];
        if ((d0 & 0xE2u) != 0x42u || (d1 & 0x80u) != 0 || (d2 & 0xC0u) != 0 || (d3 & 0x80u) != 0) continue;
        Reading reading;
        reading.status = (d0 >> 2) & 0x07u;
        reading.multiplier = ((d0 & 0x01u) << 7) | d1;
        reading.lambda = (d2 << 7) | d3;
        return reading;
    }
    return std::nullopt;
}

std::int32_t ExpectedValue(unsigned lambda, unsigned multiplier) {
    // Each step is rounded to single precision; the factors are the floats nearest 0.001 and 0.1.
    const float lambdaValue = static_cast<float>(lambda * static_cast<double>(0.001f) + 0.5);
    const float multiplierValue = static_cast<float>(multiplier * static_cast<double>(0.1f));
    const float afr = static_cast<float>(static_cast<double>(lambdaValue) * static_cast<double>(multiplierValue));
    return static_cast<std::int32_t>(std::trunc(static_cast<double>(afr) * 65536.0));
}

}  // namespace lc1sim
