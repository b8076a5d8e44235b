#include "tools/lc1sim/faults.h"

#include <algorithm>

namespace lc1sim {

namespace {

Piece Garbage(const FaultSettings& faults, Random& random) {
    Piece piece;
    const std::uint32_t length = 1 + random.Below(kMaxGarbageRun);
    const std::uint32_t mask = faults.garbageAny ? 0xFFu : 0x7Fu;  // bit 7 clear never starts a header
    for (std::uint32_t k = 0; k < length; ++k) {
        piece.bytes.push_back(static_cast<std::uint8_t>(random.Below(256) & mask));
    }
    return piece;
}

std::int64_t SplitPause(Random& random) {
    return (1 + random.Below(kMaxSplitPauseMs)) * std::int64_t{1000000};
}

void AddSplit(const std::vector<std::uint8_t>& packet, Random& random, std::vector<Piece>& pieces) {
    std::vector<std::size_t> cuts;
    const std::uint32_t wanted = 1 + random.Below(3);
    for (std::uint32_t k = 0; k < wanted; ++k) {
        cuts.push_back(1 + random.Below(static_cast<std::uint32_t>(packet.size() - 1)));
    }
    cuts.push_back(packet.size());
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::size_t start = 0;
    for (std::size_t cut : cuts) {
        Piece piece;
        piece.bytes.assign(packet.begin() + static_cast<std::ptrdiff_t>(start),
                           packet.begin() + static_cast<std::ptrdiff_t>(cut));
        piece.pauseNs = start == 0 ? 0 : SplitPause(random);
        pieces.push_back(std::move(piece));
        start = cut;
    }
}

}  // namespace

std::vector<Piece> PlanWrites(const std::vector<std::uint8_t>& packet, const FaultSettings& faults, Random& random) {
    std::vector<Piece> pieces;
    if (faults.garbage > 0.0 && random.Chance(faults.garbage)) pieces.push_back(Garbage(faults, random));
    if (faults.split && packet.size() > 1) {
        AddSplit(packet, random, pieces);
    } else if (!packet.empty()) {
        pieces.push_back(Piece{packet, 0});
    }
    return pieces;
}

}  // namespace lc1sim
