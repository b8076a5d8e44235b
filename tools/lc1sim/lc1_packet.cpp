#include "tools/lc1sim/lc1_packet.h"

#include <algorithm>
#include <cmath>

namespace lc1sim {

namespace {

bool IsGroup(const std::uint8_t* d) {
    return (d[0] & 0xE2u) == 0x42u && (d[1] & 0x80u) == 0 && (d[2] & 0xC0u) == 0 && (d[3] & 0x80u) == 0;
}

bool OpensPlace(const std::uint8_t* word) {
    return (word[0] & 0xC0u) == 0x40u;
}

Reading Decode(const std::uint8_t* d) {
    Reading reading;
    reading.status = (d[0] >> 2) & 0x07u;
    reading.multiplier = ((d[0] & 0x01u) << 7) | d[1];
    reading.lambda = (static_cast<unsigned>(d[2]) << 7) | d[3];
    return reading;
}

// Bits 7 and 5 of the first byte and bit 7 of the second, as a receiver looks for it.
bool IsChainHeader(const std::vector<std::uint8_t>& bytes, std::size_t i) {
    return i + 1 < bytes.size() && (bytes[i] & 0xA0u) == 0xA0u && (bytes[i + 1] & 0x80u) != 0;
}

void AppendGroup(const Reading& reading, std::vector<std::uint8_t>& packet) {
    if (!reading.hasGroup) {
        packet.insert(packet.end(), 4, 0x00);
        return;
    }
    const unsigned status = reading.status & 0x07u;
    const unsigned multiplier = reading.multiplier & 0xFFu;
    const unsigned lambda = reading.lambda & 0x1FFFu;
    const unsigned testBit = reading.broken ? 0x00u : 0x02u;
    packet.push_back(static_cast<std::uint8_t>(0x40u | testBit | (status << 2) | (multiplier >> 7)));
    packet.push_back(static_cast<std::uint8_t>(multiplier & 0x7Fu));
    packet.push_back(static_cast<std::uint8_t>(lambda >> 7));
    packet.push_back(static_cast<std::uint8_t>(lambda & 0x7Fu));
}

}  // namespace

bool operator==(const Reading& a, const Reading& b) {
    if (a.hasGroup != b.hasGroup || a.broken != b.broken) return false;
    return !a.hasGroup || a.broken || (a.status == b.status && a.multiplier == b.multiplier && a.lambda == b.lambda);
}

std::vector<std::uint8_t> EncodePacket(const Reading& reading) {
    return EncodeChainPacket({ChainEntry{false, reading, 0}});
}

std::vector<std::uint8_t> EncodeChainPacket(const std::vector<ChainEntry>& entries) {
    std::vector<std::uint8_t> packet{0xB2, 0x80};
    for (const ChainEntry& entry : entries) {
        if (!entry.auxiliary) {
            AppendGroup(entry.reading, packet);
            continue;
        }
        const unsigned value = entry.auxValue & 0x1FFFu;
        packet.push_back(static_cast<std::uint8_t>(value >> 7));
        packet.push_back(static_cast<std::uint8_t>(value & 0x7Fu));
    }
    const std::size_t words = (packet.size() - 2) / 2;
    packet[0] = static_cast<std::uint8_t>(0xB2u | ((words >> 7) & 0x01u));
    packet[1] = static_cast<std::uint8_t>(0x80u | (words & 0x7Fu));
    return packet;
}

std::vector<Reading> FindChainGroups(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t start = 0; start + 1 < bytes.size(); ++start) {
        if (!IsChainHeader(bytes, start)) continue;
        const std::size_t words = (bytes[start] & 0x01u) * 128u + (bytes[start + 1] & 0x7Fu);
        const std::size_t end = std::min(bytes.size(), start + 2 + 2 * words);
        // A byte with bit 7 set among the words shows the header false: look on behind it.
        if (std::any_of(bytes.begin() + static_cast<std::ptrdiff_t>(start + 2),
                        bytes.begin() + static_cast<std::ptrdiff_t>(end), [](std::uint8_t b) { return b >= 0x80; })) {
            continue;
        }
        std::vector<Reading> groups;
        for (std::size_t j = start + 2; j + 2 <= end;) {
            if (!OpensPlace(&bytes[j])) {
                j += 2;
                continue;
            }
            Reading place;
            if (j + 4 <= end && IsGroup(&bytes[j])) {
                place = Decode(&bytes[j]);
            } else {
                place.broken = true;
            }
            groups.push_back(place);
            j += 4;
        }
        return groups;
    }
    return {};
}

std::int32_t ExpectedValue(unsigned lambda, unsigned multiplier) {
    // Each step is rounded to single precision; the factors are the floats nearest 0.001 and 0.1.
    const float lambdaValue = static_cast<float>(lambda * static_cast<double>(0.001f) + 0.5);
    const float multiplierValue = static_cast<float>(multiplier * static_cast<double>(0.1f));
    const float afr = static_cast<float>(static_cast<double>(lambdaValue) * static_cast<double>(multiplierValue));
    return static_cast<std::int32_t>(std::trunc(static_cast<double>(afr) * 65536.0));
}

}  // namespace lc1sim
