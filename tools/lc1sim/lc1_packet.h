// LC-1 packets as the simulator sends them: a header that counts the 16-bit words after it,
// then each device's words in chain order. A lone LC-1 sends B2 82 and one data group.
#pragma once

#include <cstdint>
#include <vector>

namespace lc1sim {

// One thing the device says. Without a group the LC-1's two words are 00 00 00 00, which a
// reader must treat as "no LC-1 there" (B2 82 00 00 00 00 alone: no LC-1 connected).
struct Reading {
    bool hasGroup = true;
    unsigned status = 0;      // 0..7
    unsigned multiplier = 0;  // raw, tenths: 147 is 14.7
    unsigned lambda = 0;      // raw, 13 bits: lambda = raw * 0.001 + 0.5
    // Sent as a flipped bit leaves it: bit 1 of the first byte clear, so the group fails a
    // receiver's test. It still holds its LC-1's place in a chain.
    bool broken = false;
};

bool operator==(const Reading& a, const Reading& b);

// What one device of a chain puts into one packet: an LC-1's reading (2 words) or one
// auxiliary channel's 13-bit value (1 word, 00xxxxxx 0xxxxxxx).
struct ChainEntry {
    bool auxiliary = false;
    Reading reading;
    unsigned auxValue = 0;
};

constexpr unsigned kMaxPacketWords = 255;  // the header's count has 8 bits

// Builds the 6-byte packet of a lone LC-1; fields are masked to their widths.
std::vector<std::uint8_t> EncodePacket(const Reading& reading);

// Builds one packet carrying every entry, in order; fields are masked to their widths. The
// caller keeps the chain within kMaxPacketWords.
std::vector<std::uint8_t> EncodeChainPacket(const std::vector<ChainEntry>& entries);

// The LC-1 places of the first packet in bytes, in chain order, as a receiver that frames by
// the word count finds them: at word boundaries, a word starting 01 opens a two-word place
// (broken when its group fails the test), one starting 00 is an auxiliary word. A header whose
// words hold a byte with bit 7 set is passed over as false. None when bytes hold no header.
std::vector<Reading> FindChainGroups(const std::vector<std::uint8_t>& bytes);

// The 16.16 value a receiver reports for a status-0 reading, with the device's rounding.
std::int32_t ExpectedValue(unsigned lambda, unsigned multiplier);

}  // namespace lc1sim
