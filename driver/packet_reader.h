// Frames LC-1 packets from a byte stream and turns them into 16.16 air-fuel ratios.
//
// Invariants, whatever bytes arrive:
//   - rxCount never exceeds kRxBufferSize, and nothing is read or written outside rxBuffer;
//   - a call never waits: it asks the byte source until it has nothing, the buffer is full
//     of bytes it must keep, or it has asked kMaxRequestsPerRead times;
//   - at most one packet is answered per call, the oldest of at most two kept: of a larger
//     backlog the older packets are dropped whole, so a host that polls more slowly than the
//     device sends gets fresh readings instead of ever older ones;
//   - a partial packet at the end of the buffer is never dropped to make room;
//   - a complete valid packet at the front of the buffer is always delivered, so no input
//     can wedge the reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lamdex/host_api.h"

namespace lamdex {

// Yields one received byte, or false when none is waiting. Must never block.
struct ByteSource {
    bool (*readByte)(void* context, std::uint8_t* byte);
    void* context;
};

struct Lc1Reading {
    std::uint8_t status;
    std::uint8_t multiplier;  // raw, tenths
    std::uint16_t lambda;     // raw, thousandths minus 500
};

// The device's conversion, with every single-precision rounding step it makes.
std::int32_t ConvertToFixedAfr(std::uint16_t lambdaRaw, std::uint8_t multiplierRaw);

// The LC-1 data group of one complete packet (header first, packetSize bytes), found as Read
// finds it; false when the packet holds none. For tools that tell a person what a line carries.
bool FindLc1DataGroup(const std::uint8_t* packet, std::size_t packetSize, Lc1Reading& reading);

class PacketReader {
public:
    static constexpr std::size_t kRxBufferSize = 514;
    // A host that stalled may leave seconds of bytes in the port's queue; one call takes at
    // most this many, so that it stays short, and the next call takes the rest.
    static constexpr std::size_t kMaxRequestsPerRead = 4 * kRxBufferSize;

    explicit PacketReader(ByteSource source) : source_(source) {}

    void ResetForOpen();
    void ResetForClose();
    // After the line was cut: a partial packet at the end can never complete and goes;
    // complete packets stay to be answered.
    void DropPartialPacket();
    zb::HResult Read(zb::TransferRecord* record);
    // Whether Read takes the record at all (else it answers E_INVALIDARG, changing nothing).
    static bool Accepts(const zb::TransferRecord* record);
    // What Read answers an accepted record when there is nothing to read, without touching
    // any reader.
    static zb::HResult AnswerNotReady(zb::TransferRecord* record);

    std::size_t BufferedCount() const { return rxCount_; }
    const std::uint8_t* BufferedBytes() const { return rxBuffer_; }

private:
    void FillFromSource();
    bool KeepOnlyNewestTwoPackets();
    bool FindPacket(std::size_t from, std::size_t& start, std::size_t& end) const;
    bool FindHeader(std::size_t from, std::size_t& position) const;
    void DiscardFront(std::size_t count);
    bool FindDataGroup(std::size_t packetBodyLength, Lc1Reading& reading) const;

    ByteSource source_;
    std::uint8_t rxBuffer_[kRxBufferSize] = {};
    std::uint32_t rxCount_ = 0;
};

}  // namespace lamdex
