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
constexpr std::size_t kDataGroupSize = 4;
constexpr std::size_t kMinimumUsefulCount = 4;
constexpr std::uint32_t kSampleSize = 4;

bool IsHeader(std::uint8_t h0, std::uint8_t h1) {
    return (h0 & 0xA0) == 0xA0 && (h1 & 0x80) == 0x80;
}

// Bytes that follow the header: the length field plus 2, bit 0 of h0 adding 512.
std::size_t BodyLength(std::uint8_t h0, std::uint8_t h1) {
    return static_cast<std::size_t>(h0 & 0x01) * 512 + (h1 & 0x7F) + 2;
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

// The first complete packet at or after `from`, framed as Read frames it: a header that
// declares more than the buffer holds is passed by one byte.
bool PacketReader::FindPacket(std::size_t from, std::size_t& start, std::size_t& end) const {
    std::size_t header = 0;
    while (FindHeader(from, header)) {
        const std::size_t length = kHeaderSize + BodyLength(rxBuffer_[header], rxBuffer_[header + 1]);
        if (length <= kRxBufferSize) {
            if (header + length > rxCount_) {
                return false;
            }
            start = header;
            end = header + length;
            return true;
        }
        from = header + 1;
    }
    return false;
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

bool FindLc1DataGroup(const std::uint8_t* packet, std::size_t packetSize, Lc1Reading& reading) {
    for (std::size_t j = kHeaderSize; j + kDataGroupSize <= packetSize; ++j) {
        if (IsLc1DataGroup(packet + j)) {
            reading = DecodeDataGroup(packet + j);
            return true;
        }
    }
    return false;
}

bool PacketReader::FindDataGroup(std::size_t bodyLength, Lc1Reading& reading) const {
    return FindLc1DataGroup(rxBuffer_, bodyLength + kHeaderSize, reading);
}

zb::HResult PacketReader::Read(zb::TransferRecord* record) {
    if (!IsAcceptable(record)) {
        return zb::kInvalidArg;
    }
    StoreTransferred(record, 0);
    FillFromSource();
    KeepOnlyNewestTwoPackets();
    if (rxCount_ < kMinimumUsefulCount) {
        return zb::kNotReady;
    }

    std::size_t bodyLength = 0;
    for (;;) {
        std::size_t headerAt = 0;
        if (!FindHeader(0, headerAt)) {
            rxBuffer_[0] = rxBuffer_[rxCount_ - 1];
            rxCount_ = 1;
            return zb::kNotReady;
        }
        DiscardFront(headerAt);
        bodyLength = BodyLength(rxBuffer_[0], rxBuffer_[1]);
        if (bodyLength + kHeaderSize <= kRxBufferSize) {
            break;
        }
        // A packet longer than the buffer can never complete: waiting for it would
        // stall the reader for ever. Drop only its first byte, since the second may
        // itself start the next real header.
        DiscardFront(1);
    }

    if (rxCount_ < bodyLength + kHeaderSize) {
        return zb::kNotReady;
    }
    Lc1Reading reading{};
    const bool found = FindDataGroup(bodyLength, reading);
    DiscardFront(bodyLength + kHeaderSize);
    if (!found) {
        return zb::kNotConnected;
    }

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
