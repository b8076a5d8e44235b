// One serial port watched through the plug-in's own serial link, line keeper and packet
// decoder, so what is reported about a line is what the plug-in would make of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/line_keeper.h"
#include "driver/packet_reader.h"
#include "driver/serial_link.h"

namespace lamdex::check {

// One complete packet, with the answer the plug-in gives a host for it.
struct Packet {
    zb::HResult answer = zb::kNotReady;
    std::int32_t afr = 0;         // 16.16, when the answer is a reading
    int sensor = kDefaultSensor;  // the LC-1 of the chain the answer is for
    ChainContents chain{};        // every device the packet carries

    bool HasLc1Data() const { return chain.lc1Count > 0; }
    // An intact group at the chosen place: else the plug-in answers not connected.
    bool HasChosenLc1() const { return chain.lc1Count >= sensor && chain.lc1[sensor - 1].kind == PlaceKind::kIntact; }
};

struct LineCounts {
    unsigned long bytes = 0;
    unsigned long packets = 0;
    unsigned long readings = 0;
    unsigned long notReady = 0;        // statuses the plug-in answers with not ready
    unsigned long errors = 0;          // statuses it answers with a device error
    unsigned long withoutLc1Data = 0;  // without the chosen LC-1: the plug-in answers not connected
    unsigned long withLc1Data = 0;     // with any LC-1
    unsigned long packetBytes = 0;
};

class LineWatch {
public:
    LineWatch();
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    // Opens the port and keeps it open from now on, as the plug-in does: kOpenFailed when it
    // cannot be opened now, and Error then holds the platform's reason.
    LineKeeper::Change Open(int portNumber);
    // Which LC-1 of a chain the answers are for, as the plug-in's SENSOR line chooses it.
    void ChooseSensor(int sensor) { reader_.ChooseSensor(sensor); }
    // The platform's error code of the last loss or failed open.
    std::uint32_t Error() const { return keeper_.Error(); }
    std::uint64_t OutageMs() const { return keeper_.OutageMs(); }
    bool IsOpen() const { return link_.IsOpen(); }

    // Around taking bytes, as the plug-in's Read: Reopen tries a lost port again when a try is
    // due; Check closes a port that failed or went, and drops the packet it had half sent.
    LineKeeper::Change Reopen() { return keeper_.Reopen(); }
    LineKeeper::Change Check();

    // Takes waiting bytes until one completes a packet (true) or none is left (false).
    bool NextPacket(Packet& packet);
    // Every byte taken from now on is also appended to `bytes` (nullptr: no more).
    void CollectInto(std::vector<std::uint8_t>* bytes) { collected_ = bytes; }

    const LineCounts& Counts() const { return counts_; }
    bool SawLc1Data() const { return counts_.withLc1Data > 0; }
    // The most LC-1s one packet carried.
    int MostLc1s() const { return mostLc1s_; }
    // Bytes in front of and between packets; the few the decoder still holds are not counted.
    unsigned long StrayBytes() const;

private:
    static bool TakeNextByte(void* watch, std::uint8_t* byte);
    bool Decode(std::uint8_t byte, Packet& packet);
    void Count(const Packet& packet, std::size_t size);
    static std::size_t DescribeTail(const std::uint8_t* bytes, std::size_t size, ChainContents& chain);

    SerialLink link_;
    LineKeeper keeper_{link_};
    PacketReader reader_;
    std::uint8_t held_[PacketReader::kRxBufferSize + 1] = {};  // what the decoder holds, and one byte more
    std::uint8_t nextByte_ = 0;
    bool hasNextByte_ = false;
    LineCounts counts_;
    int mostLc1s_ = 0;
    std::vector<std::uint8_t>* collected_ = nullptr;
};

// What a packet says, in the plug-in's words: "reading AFR 14.70", "warming up (45.0 %)",
// "error 2: heater open circuit (...)", ... for a lone LC-1 read as the first; for a chain each
// place in turn, broken ones too: "LC-1 #1 reading AFR 14.70, LC-1 #2 broken data, 2 auxiliary
// inputs".
std::string DescribePacket(const Packet& packet);

// "1 LC-1", "2 LC-1s".
std::string CountLc1s(int count);

}  // namespace lamdex::check
