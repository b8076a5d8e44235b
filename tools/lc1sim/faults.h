// Fault injection: garbage between packets and packets written in pieces. Every random choice
// comes from one seeded generator, so a seed repeats a run exactly.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace lc1sim {

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    // Own mappings instead of std distributions, whose output differs between libraries.
    std::uint32_t Below(std::uint32_t limit) { return limit == 0 ? 0 : Next() % limit; }
    bool Chance(double probability) { return Next() < probability * 4294967296.0; }

private:
    std::uint32_t Next() { return static_cast<std::uint32_t>(engine_()); }
    std::mt19937_64 engine_;
};

struct FaultSettings {
    double garbage = 0.0;     // chance of a garbage run in front of a packet
    bool garbageAny = false;  // garbage may hold bytes with bit 7 set (and so fake headers)
    bool split = false;       // write packets in pieces with small pauses between
};

constexpr unsigned kMaxGarbageRun = 8;
constexpr unsigned kMaxSplitPauseMs = 10;

struct Piece {
    std::vector<std::uint8_t> bytes;
    std::int64_t pauseNs = 0;  // quiet time on the line before this piece
};

// The writes that carry one packet, faults included.
std::vector<Piece> PlanWrites(const std::vector<std::uint8_t>& packet, const FaultSettings& faults, Random& random);

}  // namespace lc1sim
