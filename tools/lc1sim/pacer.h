// When each write may go out. Works on a virtual timeline in nanoseconds from the start, so the
// caller sleeps to absolute times of a monotonic clock and sleeping errors never accumulate.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lc1sim {

enum class Rate {
    kDevice,    // one packet every 81.92 ms, bytes no faster than the line carries them
    kLine,      // back to back, as fast as 19200 baud 8N1 carries bytes
    kUnlimited  // as fast as the output takes them
};

constexpr std::int64_t kPacketIntervalNs = 81920000;
constexpr std::int64_t kLineBytesPerSecond = 1920;  // 19200 baud, 10 bits a byte
constexpr std::int64_t kCatchUpNs = 2000000;

class Pacer {
public:
    explicit Pacer(Rate rate) : rate_(rate) {}

    // The pieces scheduled from now on belong to the next packet.
    void StartPacket();
    // ... to a chunk of a timed capture, which goes no earlier than its time.
    void StartPacketAt(std::int64_t atNs) { packetReadyNs_ = atNs; }

    // The time at which a piece of `bytes` bytes, after `pauseNs` of quiet line, has fully
    // arrived at the far end; write it then. Never earlier than the line allows.
    std::int64_t Schedule(std::size_t bytes, std::int64_t pauseNs);

    // The piece went out at `nowNs`. Waking a little late (up to kCatchUpNs) is made up, so
    // the cadence does not drift; time lost beyond that, e.g. to a reader that stopped reading,
    // is not made up by sending faster later.
    void Delivered(std::int64_t nowNs);

private:
    std::int64_t TransferNs(std::size_t bytes) const;

    Rate rate_;
    std::int64_t nextSlotNs_ = 0;
    std::int64_t packetReadyNs_ = 0;
    std::int64_t lineFreeNs_ = 0;
};

}  // namespace lc1sim
