// Feeds arbitrary bytes to the decoder in chunks the input chooses, checks its invariants
// after every call, then proves the reader is not wedged: valid packets sent after any
// input must come out with their exact value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/packet_reader.h"
#include "tests/unit/byte_feed.h"

namespace {

using lamdex::PacketReader;
using lamdex::test::ByteFeed;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

constexpr std::uint8_t kSentinel = 0xA5;
constexpr std::uint32_t kUntouchedCount = 0xDDDDDDDDu;

// Lambda 30, multiplier 147: carries 0x13 and depends on every rounding step.
const std::vector<std::uint8_t> kValidPacket = {0xB2, 0x82, 0x43, 0x13, 0x00, 0x1E};
constexpr std::int32_t kValidValue = 510591;
// The largest value any data group can produce (lambda 8191, multiplier 255).
constexpr std::int32_t kLargestValue = 14524121;

struct Harness {
    ByteFeed feed;
    PacketReader reader{feed.Source()};

    // One Read with a valid record, checked against everything that must hold after any call.
    zb::HResult CheckedRead(std::uint32_t capacity, std::int32_t* delivered) {
        std::uint8_t buffer[8];
        std::memset(buffer, kSentinel, sizeof buffer);
        std::uint32_t transferred = kUntouchedCount;
        zb::TransferRecord record{zb::kTransferRecordSize, buffer, capacity, &transferred, 0};

        const std::size_t countBefore = reader.BufferedCount();
        const std::size_t waitingBefore = feed.Waiting();
        const std::size_t requestsBefore = feed.Requests();
        const zb::HResult result = reader.Read(&record);
        const std::size_t pulled = waitingBefore - feed.Waiting();
        const std::size_t requests = feed.Requests() - requestsBefore;

        Require(reader.BufferedCount() <= PacketReader::kRxBufferSize, "rxCount within the buffer");
        Require(result == zb::kOk || result == zb::kNotReady || result == zb::kNotConnected || result == zb::kFail,
                "result is one of the four answers to a valid record");
        Require(requests <= PacketReader::kMaxRequestsPerRead, "a call's requests are bounded");
        // Room is made only by dropping bytes, so a buffer that filled up has seen at least its size.
        const bool stoppedFull = requests == pulled && countBefore + pulled >= PacketReader::kRxBufferSize;
        const bool stoppedAtBound = requests == PacketReader::kMaxRequestsPerRead;
        const bool stoppedEmpty = requests == pulled + 1 && feed.Waiting() == 0;
        Require(stoppedFull || stoppedAtBound || stoppedEmpty,
                "asks the source until it is empty, the buffer is full or the requests are spent");
        for (std::size_t i = sizeof(std::int32_t); i < sizeof buffer; ++i) {
            Require(buffer[i] == kSentinel, "nothing written past the sample");
        }
        if (result == zb::kOk) {
            Require(transferred == sizeof(std::int32_t), "a sample reports 4 bytes");
            std::memcpy(delivered, buffer, sizeof *delivered);
            Require(*delivered >= 0 && *delivered <= kLargestValue, "sample within the device's range");
        } else {
            Require(transferred == 0, "no sample reports 0 bytes");
            for (std::size_t i = 0; i < sizeof(std::int32_t); ++i) {
                Require(buffer[i] == kSentinel, "no sample leaves the buffer alone");
            }
        }
        return result;
    }

    // A refused record changes nothing: no byte requested, no state touched.
    void CheckRefused() {
        std::uint8_t before[PacketReader::kRxBufferSize];
        const std::size_t count = reader.BufferedCount();
        std::memcpy(before, reader.BufferedBytes(), count);
        const std::size_t requestsBefore = feed.Requests();

        std::uint8_t buffer[4] = {};
        std::uint32_t transferred = kUntouchedCount;
        zb::TransferRecord tooSmall{zb::kTransferRecordSize, buffer, 3, &transferred, 0};
        zb::TransferRecord wrongSize{zb::kTransferRecordSize + 1, buffer, 4, &transferred, 0};
        zb::TransferRecord noBuffer{zb::kTransferRecordSize, nullptr, 4, &transferred, 0};
        Require(reader.Read(nullptr) == zb::kInvalidArg, "null record refused");
        Require(reader.Read(&tooSmall) == zb::kInvalidArg, "capacity 3 refused");
        Require(reader.Read(&wrongSize) == zb::kInvalidArg, "wrong record size refused");
        Require(reader.Read(&noBuffer) == zb::kInvalidArg, "null buffer refused");

        Require(transferred == kUntouchedCount, "refusal leaves the count untouched");
        Require(feed.Requests() == requestsBefore, "refusal asks the source for nothing");
        Require(reader.BufferedCount() == count && std::memcmp(before, reader.BufferedBytes(), count) == 0,
                "refusal leaves the buffer as it was");
    }

    // Reads until a call with nothing waiting changes nothing. A call that consumes nothing
    // either settles or was filling the buffer, and the next call then must consume, so
    // twice the bytes still in play bounds the number of calls.
    void Drain() {
        std::int32_t ignored = 0;
        const std::size_t budget = 2 * (feed.Waiting() + reader.BufferedCount()) + 4;
        for (std::size_t calls = 0; calls <= budget; ++calls) {
            const std::size_t countBefore = reader.BufferedCount();
            const bool nothingWaiting = feed.Waiting() == 0;
            CheckedRead(4, &ignored);
            if (nothingWaiting && reader.BufferedCount() == countBefore) {
                return;
            }
        }
        Require(false, "the reader settles once the input stops");
    }

    // What is left is at most one unfinished packet (header up front, body of at most 129
    // bytes) or fewer than 4 bytes. It can swallow part of what follows, but only once:
    // valid packets contain no other header, so framing resumes at the next whole one. Of
    // that backlog only the newest packets stay; after it, every packet sent must come out.
    void ProveNotWedged() {
        for (int i = 0; i < 30; ++i) {
            feed.Arrive(kValidPacket);
        }
        std::int32_t value = 0;
        CheckedRead(4, &value);  // may finish the leftover packet: any answer
        for (int i = 0; i < 5; ++i) {
            feed.Arrive(kValidPacket);
            value = -1;
            Require(CheckedRead(4, &value) == zb::kOk, "valid packets after any input are delivered");
            Require(value == kValidValue, "with their exact value");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Harness harness;
    while (input.remaining_bytes() > 0) {
        const auto control = input.ConsumeIntegral<std::uint8_t>();
        const auto chunkLength = input.ConsumeIntegral<std::uint8_t>();
        harness.feed.Arrive(input.ConsumeBytes<std::uint8_t>(chunkLength));

        const std::uint32_t capacity = (control & 0x04) != 0 ? 8 : 4;
        std::int32_t value = 0;
        for (int reads = control & 0x03; reads >= 0; --reads) {
            harness.CheckedRead(capacity, &value);
        }
        if ((control & 0x18) == 0x18) {
            harness.CheckRefused();
        }
        if ((control & 0xE0) == 0xE0) {
            harness.reader.ResetForClose();
            Require(harness.reader.BufferedCount() == 0, "closing empties the buffer");
        } else if ((control & 0xE0) == 0xC0) {
            harness.reader.ResetForOpen();
            Require(harness.reader.BufferedCount() == 0, "opening empties the buffer");
        }
    }
    harness.Drain();
    harness.ProveNotWedged();
    return 0;
}
