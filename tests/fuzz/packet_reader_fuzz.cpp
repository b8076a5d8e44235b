// Feeds arbitrary bytes to the decoder in chunks the input chooses, reading for the LC-1 of
// the chain that the first input byte chooses, checks its invariants after every call, then
// proves the reader is not wedged: valid chain packets sent after any input must come out
// with the chosen LC-1's exact value. Each chunk is also described as one packet would be,
// and the description must agree with the place rule, stated here on its own terms.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/packet_reader.h"
#include "tests/unit/byte_feed.h"

namespace {

using lamdex::ChainContents;
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
constexpr unsigned kValidLambda = 30;
constexpr unsigned kValidMultiplier = 147;
constexpr std::int32_t kValidValue = 510591;

// A chain whose sensor-th LC-1 carries the valid reading: an auxiliary word first where the
// words still fit, the LC-1s ahead of it reading 14.7.
std::vector<std::uint8_t> ValidChain(int sensor) {
    std::vector<std::vector<std::uint8_t>> devices;
    if (sensor < lamdex::kMaxSensor) devices.push_back(lamdex::test::AuxiliaryWord(0x0123));
    for (int k = 1; k < sensor; ++k) devices.push_back(lamdex::test::Lc1Group(500, 147));
    devices.push_back(lamdex::test::Lc1Group(kValidLambda, kValidMultiplier));
    return lamdex::test::ChainPacket(devices);
}

// The place rule, written from the protocol rather than taken from the reader: after the
// header, word by word, a first byte 01xxxxxx opens a two-word LC-1 place (the packet may end
// inside it), 00xxxxxx is an auxiliary word. A place is intact when its four bytes match
// 010xxx1x 0xxxxxxx 00xxxxxx 0xxxxxxx. For whole packets.
struct PlaceModel {
    int places = 0;
    int auxiliary = 0;
    const std::uint8_t* chosen = nullptr;  // the chosen place's bytes, when it is intact
};

PlaceModel ModelPlaces(const std::vector<std::uint8_t>& packet, int sensor) {
    PlaceModel model;
    for (std::size_t at = 2; at + 1 < packet.size(); at += 2) {
        const std::uint8_t* d = &packet[at];
        if ((d[0] >> 6) == 0) {
            ++model.auxiliary;
            continue;
        }
        const bool intact =
            at + 3 < packet.size() && (d[0] >> 5) == 2 && (d[0] & 2) != 0 && d[1] < 0x80 && d[2] < 0x40 && d[3] < 0x80;
        if (++model.places == sensor && intact) model.chosen = d;
        at += 2;  // the place's second word
    }
    return model;
}

bool ReadsAs(const lamdex::Lc1Reading& r, const std::uint8_t* d) {
    return r.status == ((d[0] >> 2) & 7) && r.multiplier == (d[0] & 1) * 128 + d[1] && r.lambda == d[2] * 128 + d[3];
}

// Any bytes taken for one packet: described or refused, never read outside them; a whole
// packet's places, auxiliary words and chosen reading are those the place rule gives.
void CheckDescription(const std::vector<std::uint8_t>& bytes, int sensor) {
    static ChainContents contents;  // large; the fuzzer runs one input at a time
    const bool whole = lamdex::DescribeChain(bytes.data(), bytes.size(), contents);
    lamdex::Lc1Reading reading{};
    const bool found = lamdex::FindLc1DataGroup(bytes.data(), bytes.size(), reading, sensor);
    if (!whole) {
        Require(contents.lc1Count == 0 && contents.auxiliaryCount == 0 && !found, "no devices in what is no packet");
        return;
    }
    const PlaceModel model = ModelPlaces(bytes, sensor);
    // A 128th place, cut short at the end of 255 words, is past every sensor number.
    Require(
        contents.lc1Count == std::min(model.places, lamdex::kMaxSensor) && contents.auxiliaryCount == model.auxiliary,
        "places and auxiliary words as the place rule counts them");
    Require(found == (model.chosen != nullptr), "the sensor is found where its place is intact");
    const lamdex::Lc1Place* listed = sensor <= contents.lc1Count ? &contents.lc1[sensor - 1] : nullptr;
    if (found) {
        Require(ReadsAs(reading, model.chosen) && listed->kind == lamdex::PlaceKind::kIntact &&
                    ReadsAs(listed->reading, model.chosen),
                "the chosen place's reading, found and listed");
    } else if (listed != nullptr) {
        Require(listed->kind == lamdex::PlaceKind::kBroken, "a place not intact is listed broken");
    }
}

// The largest value any data group can produce (lambda 8191, multiplier 255).
constexpr std::int32_t kLargestValue = 14524121;

struct Harness {
    explicit Harness(int chosen) : sensor(chosen) { reader.ChooseSensor(chosen); }

    int sensor;
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

    // What is left is at most one unfinished packet whose words so far have bit 7 clear, or
    // fewer than 4 bytes. The next header's first byte shows an unfinished one false; of a
    // short leftover at most one empty or one-word packet is complete. So a chain packet sent
    // now comes out by the second call (the first may answer that leftover, or, the buffer
    // full, only reach the new header), and every one after it at once.
    void ProveNotWedged() {
        // Built once per sensor: the fuzzer runs millions of inputs.
        static std::vector<std::uint8_t> chains[lamdex::kMaxSensor + 1];
        std::vector<std::uint8_t>& chain = chains[sensor];
        if (chain.empty()) chain = ValidChain(sensor);
        feed.Arrive(chain);
        std::int32_t value = -1;
        if (CheckedRead(4, &value) != zb::kOk) {
            Require(CheckedRead(4, &value) == zb::kOk,
                    "a chain packet after any input is delivered by the second call");
        }
        Require(value == kValidValue, "with the chosen LC-1's exact value");
        for (int i = 0; i < 2; ++i) {
            feed.Arrive(chain);
            value = -1;
            Require(CheckedRead(4, &value) == zb::kOk, "and every chain packet after it at once");
            Require(value == kValidValue, "with the chosen LC-1's exact value");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Mostly the first few LC-1s of a chain, now and then any of them.
    const int sensor = (data[0] & 0x80) != 0 ? 1 + (data[0] & 0x7F) % lamdex::kMaxSensor : 1 + (data[0] & 0x03);
    FuzzedDataProvider input(data + 1, size - 1);
    Harness harness(sensor);
    while (input.remaining_bytes() > 0) {
        const auto control = input.ConsumeIntegral<std::uint8_t>();
        const std::size_t chunkLength = input.ConsumeIntegral<std::uint16_t>() % 600u;
        const std::vector<std::uint8_t> chunk = input.ConsumeBytes<std::uint8_t>(chunkLength);
        CheckDescription(chunk, sensor);
        harness.feed.Arrive(chunk);

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
