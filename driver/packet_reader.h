// Frames LC-1 packets from a byte stream and turns them into 16.16 air-fuel ratios.
//
// A packet is a header of two bytes with bit 7 set, then the 16-bit words it counts:
// (h0 bit 0) x 128 + (h1 & 0x7F) of them, 2 to 512 bytes in all, so every packet fits the
// buffer. Each device of a chain adds its words in chain order: an LC-1 two (its data group,
// at an even offset from the header), an auxiliary input one per channel. A word whose first
// byte starts with bits 01 opens an LC-1's place, one starting 00 is an auxiliary word; a
// place whose group fails its test is still a place, so a flipped bit never moves the LC-1s
// behind it to another number. Every byte of a word has bit 7 clear; a byte with bit 7 set
// inside what a header declared shows the header was false, and framing starts again after
// that header's first byte.
//
// Invariants, whatever bytes arrive:
//   - rxCount never exceeds kRxBufferSize, and nothing is read or written outside rxBuffer;
//   - a call never waits: it asks the byte source until it has nothing, the buffer is full
//     of bytes it must keep, or it has asked kMaxRequestsPerRead times;
//   - at most one packet is answered per call, the oldest of at most two kept: of a larger
//     backlog the older packets are dropped whole, so a host that polls more slowly than the
//     device sends gets fresh readings instead of ever older ones;
//   - a partial packet at the end of the buffer is never dropped to make room, and never
//     needs to be: the longest packet fits, and Read drops the bytes in front of its header;
//   - a false header holds back nothing behind it: the byte that shows it false is never
//     taken into a packet;
//   - a complete valid packet at the front of the buffer is always delivered, so no input
//     can wedge the reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lamdex/host_api.h"
#include "lamdex/sensor_number.h"

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

// What stands at one LC-1's place in a chain: its group, read; a broken group (one that failed
// its test, or the packet ended inside it), which answers not connected as a packet without the
// place does; or, for a place the chain does not reach, nothing.
enum class PlaceKind : std::uint8_t { kIntact, kBroken, kMissing };

struct Lc1Place {
    PlaceKind kind;
    Lc1Reading reading;  // meaningful when intact
};

// The devices of one complete packet, in chain order (head of the packet first).
struct ChainContents {
    int lc1Count;              // LC-1 places, broken ones included
    int auxiliaryCount;        // auxiliary-input words
    Lc1Place lc1[kMaxSensor];  // the first lc1Count entries are valid
};

// The devices of one complete packet (header first, packetSize bytes), framed as Read
// frames it; false when the bytes are not one whole packet. For tools that tell a person
// what a line carries.
bool DescribeChain(const std::uint8_t* packet, std::size_t packetSize, ChainContents& contents);

// The data group of the sensor-th LC-1 of one complete packet, found as Read finds it;
// false when the packet is not whole, holds fewer LC-1 places, or that place is broken.
bool FindLc1DataGroup(const std::uint8_t* packet, std::size_t packetSize, Lc1Reading& reading,
                      int sensor = kDefaultSensor);

class PacketReader {
public:
    static constexpr std::size_t kRxBufferSize = 514;
    // A host that stalled may leave seconds of bytes in the port's queue; one call takes at
    // most this many, so that it stays short, and the next call takes the rest.
    static constexpr std::size_t kMaxRequestsPerRead = 4 * kRxBufferSize;

    explicit PacketReader(ByteSource source) : source_(source) {}

    // Which LC-1 of a chain Read answers for; a number out of 1..kMaxSensor means the first.
    void ChooseSensor(int sensor) { sensor_ = IsSensorNumber(sensor) ? sensor : kDefaultSensor; }
    int Sensor() const { return sensor_; }

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

    // The chosen LC-1's place in the packet the last Read answered; nullptr when it answered
    // none.
    const Lc1Place* AnsweredPlace() const { return answered_ ? &answeredPlace_ : nullptr; }

    std::size_t BufferedCount() const { return rxCount_; }
    const std::uint8_t* BufferedBytes() const { return rxBuffer_; }

private:
    enum class Frame { kNone, kPartial, kComplete };

    void FillFromSource();
    bool KeepOnlyNewestTwoPackets();
    Frame FramePacket(std::size_t from, std::size_t& start, std::size_t& end) const;
    bool FindPacket(std::size_t from, std::size_t& start, std::size_t& end) const;
    bool FindHeader(std::size_t from, std::size_t& position) const;
    void DiscardFront(std::size_t count);

    ByteSource source_;
    std::uint8_t rxBuffer_[kRxBufferSize] = {};
    std::uint32_t rxCount_ = 0;
    int sensor_ = kDefaultSensor;
    bool answered_ = false;
    Lc1Place answeredPlace_{};
};

}  // namespace lamdex
