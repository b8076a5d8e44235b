#include "tools/lc1sim/pacer.h"

#include <algorithm>

namespace lc1sim {

void Pacer::StartPacket() {
    if (rate_ != Rate::kDevice) return;
    packetReadyNs_ = nextSlotNs_;
    nextSlotNs_ += kPacketIntervalNs;
}

std::int64_t Pacer::TransferNs(std::size_t bytes) const {
    if (rate_ == Rate::kUnlimited) return 0;
    // Rounded up: a rounding error may make the line slower, never faster.
    const std::int64_t scaled = static_cast<std::int64_t>(bytes) * 1000000000;
    return (scaled + kLineBytesPerSecond - 1) / kLineBytesPerSecond;
}

std::int64_t Pacer::Schedule(std::size_t bytes, std::int64_t pauseNs) {
    const std::int64_t start = std::max(lineFreeNs_ + pauseNs, packetReadyNs_);
    lineFreeNs_ = start + TransferNs(bytes);
    return lineFreeNs_;
}

void Pacer::Delivered(std::int64_t nowNs) {
    const std::int64_t restart = nowNs - kCatchUpNs;
    lineFreeNs_ = std::max(lineFreeNs_, restart);
    if (rate_ == Rate::kDevice) nextSlotNs_ = std::max(nextSlotNs_, restart);
}

}  // namespace lc1sim
