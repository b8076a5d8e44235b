#include "driver/packet_reader.h"

#include <cstring>

// The three roundings to single precision must happen as written. x87 arithmetic keeps
// excess precision and turns some readings one lower, so 32-bit x86 builds need SSE2 math.
#if (defined(__i386__) && !defined(__SSE2_MATH__)) || (defined(_MSC_VER) && defined(_M_IX86) && _M_IX86_FP < 2)
#error "32-bit x86 builds of the decoder need SSE2 arithmetic: compile with -msse2 -mfpmath=sse"
#endif

namespace lamdex {
namespace {

constexpr std::size_t kHeaderSize = 2;
constexpr std::size_t kWordSize = 2;
constexpr std::size_t kDataGroupSize = 2 * kWordSize;
constexpr std::size_t kMinimumUsefulCount = 4;
constexpr std::uint32_t kSampleSize = 4;

// The device sets bit 1 of h0 as well. It is not required: every stream a lone LC-1's
// packets were read from before still reads the same, and bit 7 among the words already
// shows noise false.
bool IsHeader(std::uint8_t h0, std::uint8_t h1) {
    return (h0 & 0xA0) == 0xA0 && (h1 & 0x80) == 0x80;
}

// The header counts the words that follow it: bit 0 of h0 adds 128 to the 7-bit count.
std::size_t PacketSize(std::uint8_t h0, std::uint8_t h1) {
    return kHeaderSize + kWordSize * (static_cast<std::size_t>(h0 & 0x01) * 128 + (h1 & 0x7F));
}

// Only the header's two bytes have bit 7 set; such a byte among the words ends them.
bool IsWordByte(std::uint8_t byte) {
    return (byte & 0x80) == 0;
}

// Every word's first byte has bit 7 clear; bit 6 tells an LC-1's place from an auxiliary word.
bool OpensLc1Place(const std::uint8_t* word) {
    return (word[0] & 0xC0) == 0x40;
}

bool IsLc1DataGroup(const std::uint8_t* d) {
    return (d[0] & 0xE2) == 0x42 && (d[1] & 0x80) == 0 && (d[2] & 0xC0) == 0 && (d[3] & 0x80) == 0;
}

Lc1Reading DecodeDataGroup(const std::uint8_t* d) {
    Lc1Reading reading{};
    reading.status = static_cast<std::uint8_t>((d[0] >> 2) & 0x07);
    reading.multiplier = static_cast<std::uint8_t>(((d[0] & 0x01) << 7) | (d[1] & 0x7F));
    reading.lambda = static_cast<std::uint16_t>(((d[2] & 0x3F) << 7) | (d[3] & 0x7F));
    return reading;
}

bool IsWholePacket(const std::uint8_t* packet, std::size_t packetSize) {
    if (packet == nullptr || packetSize < kHeaderSize || !IsHeader(packet[0], packet[1]) ||
        PacketSize(packet[0], packet[1]) != packetSize) {
        return false;
    }
    for (std::size_t i = kHeaderSize; i < packetSize; ++i) {
        if (!IsWordByte(packet[i])) return false;
    }
    return true;
}

// The place at a word that opens one: the group when it passes its test, else broken.
Lc1Place PlaceAt(const std::uint8_t* packet, std::size_t at, std::size_t packetSize) {
    if (at + kDataGroupSize <= packetSize && IsLc1DataGroup(packet + at)) {
        return {PlaceKind::kIntact, DecodeDataGroup(packet + at)};
    }
    return {PlaceKind::kBroken, {}};
}

// Walks the words of a whole packet in chain order, giving each LC-1 place to onPlace and
// counting auxiliary words; stops early when onPlace answers false. A place is two words
// whatever its group holds, so the places behind a broken one keep their numbers.
template <typename OnPlace>
int WalkChain(const std::uint8_t* packet, std::size_t packetSize, OnPlace onPlace) {
    int auxiliaryWords = 0;
    for (std::size_t j = kHeaderSize; j + kWordSize <= packetSize; j += kWordSize) {
        if (!OpensLc1Place(packet + j)) {
            ++auxiliaryWords;
            continue;
        }
        if (!onPlace(PlaceAt(packet, j, packetSize))) break;
        j += kWordSize;  // the place's second word
    }
    return auxiliaryWords;
}

// The sensor-th LC-1 place of a packet whose words are known to be words.
Lc1Place FindNthPlace(const std::uint8_t* packet, std::size_t packetSize, int sensor) {
    int seen = 0;
    Lc1Place found{PlaceKind::kMissing, {}};
    (void)WalkChain(packet, packetSize, [&](const Lc1Place& place) {
        if (++seen < sensor) return true;
        found = place;
        return false;
    });
    return found;
}

// The volatile store forces the rounding even where the compiler would keep
// x87 excess precision; the worked values depend on every rounding step.
float RoundToSingle(double value) {
    volatile float rounded = static_cast<float>(value);
    return rounded;
}

void StoreTransferred(const zb::TransferRecord* record, std::uint32_t count) {
    if (record->bytesTransferred != nullptr) {
        *record->bytesTransferred = count;
    }
}

bool IsAcceptable(const zb::TransferRecord* record) {
    return record != nullptr && record->size == zb::kTransferRecordSize && record->buffer != nullptr &&
           record->capacity >= kSampleSize;
}

}  // namespace

std::int32_t ConvertToFixedAfr(std::uint16_t lambdaRaw, std::uint8_t multiplierRaw) {
    const double lambdaFactor = static_cast<double>(0.001f);
    const double multiplierFactor = static_cast<double>(0.1f);
    const float lambda = RoundToSingle(static_cast<double>(lambdaRaw) * lambdaFactor + 0.5);
    const float multiplier = RoundToSingle(static_cast<double>(multiplierRaw) * multiplierFactor);
    const float afr = RoundToSingle(static_cast<double>(lambda) * static_cast<double>(multiplier));
    return static_cast<std::int32_t>(static_cast<double>(afr) * 65536.0);
}

void PacketReader::ResetForOpen() {
    std::memset(rxBuffer_, 0, sizeof rxBuffer_);
    rxCount_ = 0;
}

void PacketReader::ResetForClose() {
    rxCount_ = 0;
}

void PacketReader::DropPartialPacket() {
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t completeEnd = 0;
    while (FindPacket(end, start, end)) {
        completeEnd = end;
    }
    rxCount_ = static_cast<std::uint32_t>(completeEnd);
}

bool PacketReader::Accepts(const zb::TransferRecord* record) {
    return IsAcceptable(record);
}

zb::HResult PacketReader::AnswerNotReady(zb::TransferRecord* record) {
    StoreTransferred(record, 0);
    return zb::kNotReady;
}

// A full buffer makes room by dropping old packets only: a partial packet at its end, and
// anything that may start one, stay.
void PacketReader::FillFromSource() {
    std::uint8_t byte = 0;
    for (std::size_t requests = 0; requests < kMaxRequestsPerRead; ++requests) {
        if (rxCount_ == kRxBufferSize && !KeepOnlyNewestTwoPackets()) {
            return;
        }
        if (!source_.readByte(source_.context, &byte)) {
            return;
        }
        rxBuffer_[rxCount_++] = byte;
    }
}

// Drops everything in front of the second newest complete packet, when there are more than
// two; answers whether it dropped anything.
bool PacketReader::KeepOnlyNewestTwoPackets() {
    std::size_t packets = 0;
    std::size_t secondNewest = 0;
    std::size_t newest = 0;
    std::size_t start = 0;
    std::size_t end = 0;
    while (FindPacket(end, start, end)) {
        secondNewest = newest;
        newest = start;
        ++packets;
    }
    if (packets <= 2) {
        return false;
    }
    DiscardFront(secondNewest);
    return true;
}

// The first packet whose header is at or after `from`, framed as Read frames it: a header
// is false when a byte it declares has bit 7 set, and the search goes on from its second
// byte, which may itself start the real header. The bytes between that second byte and the
// byte with bit 7 set all have bit 7 clear, so none of them starts a header: the search
// stays linear in the bytes buffered.
PacketReader::Frame PacketReader::FramePacket(std::size_t from, std::size_t& start, std::size_t& end) const {
    std::size_t header = 0;
    while (FindHeader(from, header)) {
        const std::size_t size = PacketSize(rxBuffer_[header], rxBuffer_[header + 1]);
        const std::size_t declaredEnd = header + size;
        const std::size_t availableEnd = declaredEnd < rxCount_ ? declaredEnd : rxCount_;
        std::size_t i = header + kHeaderSize;
        while (i < availableEnd && IsWordByte(rxBuffer_[i])) ++i;
        if (i < availableEnd) {
            from = header + 1;
            continue;
        }
        start = header;
        end = declaredEnd;
        return declaredEnd <= rxCount_ ? Frame::kComplete : Frame::kPartial;
    }
    return Frame::kNone;
}

bool PacketReader::FindPacket(std::size_t from, std::size_t& start, std::size_t& end) const {
    return FramePacket(from, start, end) == Frame::kComplete;
}

bool PacketReader::FindHeader(std::size_t from, std::size_t& position) const {
    for (std::size_t i = from; i + 1 < rxCount_; ++i) {
        if (IsHeader(rxBuffer_[i], rxBuffer_[i + 1])) {
            position = i;
            return true;
        }
    }
    return false;
}

void PacketReader::DiscardFront(std::size_t count) {
    std::memmove(rxBuffer_, rxBuffer_ + count, rxCount_ - count);
    rxCount_ -= static_cast<std::uint32_t>(count);
}

bool DescribeChain(const std::uint8_t* packet, std::size_t packetSize, ChainContents& contents) {
    contents.lc1Count = 0;
    contents.auxiliaryCount = 0;
    if (!IsWholePacket(packet, packetSize)) return false;
    // 255 words hold kMaxSensor whole places and, behind them, at most one cut short: no
    // sensor number reaches that one, so it is left out.
    contents.auxiliaryCount = WalkChain(packet, packetSize, [&contents](const Lc1Place& place) {
        if (contents.lc1Count == kMaxSensor) return false;
        contents.lc1[contents.lc1Count++] = place;
        return true;
    });
    return true;
}

bool FindLc1DataGroup(const std::uint8_t* packet, std::size_t packetSize, Lc1Reading& reading, int sensor) {
    if (!IsSensorNumber(sensor) || !IsWholePacket(packet, packetSize)) return false;
    const Lc1Place place = FindNthPlace(packet, packetSize, sensor);
    if (place.kind != PlaceKind::kIntact) return false;
    reading = place.reading;
    return true;
}

zb::HResult PacketReader::Read(zb::TransferRecord* record) {
    if (!IsAcceptable(record)) {
        return zb::kInvalidArg;
    }
    StoreTransferred(record, 0);
    answered_ = false;
    FillFromSource();
    KeepOnlyNewestTwoPackets();
    if (rxCount_ < kMinimumUsefulCount) {
        return zb::kNotReady;
    }

    std::size_t start = 0;
    std::size_t end = 0;
    const Frame frame = FramePacket(0, start, end);
    if (frame == Frame::kNone) {
        rxBuffer_[0] = rxBuffer_[rxCount_ - 1];
        rxCount_ = 1;
        return zb::kNotReady;
    }
    DiscardFront(start);
    if (frame == Frame::kPartial) {
        return zb::kNotReady;
    }
    const std::size_t size = end - start;
    answeredPlace_ = FindNthPlace(rxBuffer_, size, sensor_);
    answered_ = true;
    DiscardFront(size);
    if (answeredPlace_.kind != PlaceKind::kIntact) {
        return zb::kNotConnected;
    }
    const Lc1Reading& reading = answeredPlace_.reading;

    switch (reading.status) {
        case 0:
            break;
        case 3:
        case 6:
        case 7:
            return zb::kFail;
        default:
            return zb::kNotReady;
    }

    StoreTransferred(record, kSampleSize);
    const std::int32_t value = ConvertToFixedAfr(reading.lambda, reading.multiplier);
    std::memcpy(record->buffer, &value, sizeof value);  // little-endian on every target we build
    return zb::kOk;
}

}  // namespace lamdex
