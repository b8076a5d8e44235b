#include "driver/packet_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <numeric>
#include <random>
#include <vector>

#include "tests/unit/byte_feed.h"

namespace lamdex::test {

// The recorded two-sensor warm-up (tests/unit/CMakeLists.txt builds it in).
extern const std::uint8_t kRecording[];
extern const std::size_t kRecordingSize;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Packets with lambda 0, 1, 2, ...: each names its place in the backlog.
Bytes Backlog(unsigned packets) {
    Bytes all;
    for (unsigned k = 0; k < packets; ++k) all = Joined({all, Lc1Packet(k, 147)});
    return all;
}

struct ReadOutcome {
    zb::HResult result;
    std::int32_t value;
    std::uint32_t transferred;
};

class PacketReaderTest : public ::testing::Test {
protected:
    ReadOutcome ReadOnce() {
        std::int32_t value = kUntouched;
        std::uint32_t transferred = kUntouchedCount;
        zb::TransferRecord record{zb::kTransferRecordSize, &value, sizeof value, &transferred, 0};
        const zb::HResult result = reader.Read(&record);
        return {result, value, transferred};
    }

    Bytes Buffered() const { return Bytes(reader.BufferedBytes(), reader.BufferedBytes() + reader.BufferedCount()); }

    static constexpr std::int32_t kUntouched = 0x5A5A5A5A;
    static constexpr std::uint32_t kUntouchedCount = 0xDDDDDDDDu;
    ByteFeed feed;
    PacketReader reader{feed.Source()};
};

// Values the device's rounding steps produce; the last four come out one lower
// under any of the usual simplifications of the arithmetic.
TEST(ConvertToFixedAfr, ReproducesTheDeviceRoundingExactly) {
    struct Case {
        std::uint16_t lambda;
        std::uint8_t multiplier;
        std::int32_t expected;
    };
    const Case cases[] = {
        {500, 147, 963379},    {0, 147, 481689},  {1000, 147, 1445068}, {350, 147, 818872}, {500, 0, 0},
        {8191, 255, 14524121}, {30, 147, 510591}, {224, 150, 711721},   {298, 172, 899521}, {178, 255, 1133052},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConvertToFixedAfr(c.lambda, c.multiplier), c.expected)
            << "lambda " << c.lambda << " multiplier " << int{c.multiplier};
    }
}

struct StreamCase {
    const char* name;
    Bytes incoming;
    zb::HResult result;
    std::int32_t value;  // meaningful for kOk only
    Bytes bufferedAfter;
    int sensor = kDefaultSensor;
    // What DescribeChain lists for the incoming bytes as one packet, where given.
    int places = -1;
    int auxiliaryWords = -1;
};

// Word counts whose packets are long: the 7-bit count alone, and bit 0 of h0 adding 128.
Bytes AuxiliaryWords(unsigned count) {
    Bytes words;
    for (unsigned k = 0; k < count; ++k) words = Joined({words, AuxiliaryWord(k)});
    return words;
}

Bytes Lc1Groups(unsigned count) {
    Bytes groups;
    for (unsigned k = 0; k < count; ++k) groups = Joined({groups, Lc1Group(k, 147)});
    return groups;
}

TEST_F(PacketReaderTest, AnswersEachStreamAsTheDeviceProtocolSays) {
    const Bytes auxAround = ChainPacket({AuxiliaryWord(8191), AuxiliaryWord(0x42), Lc1Group(500, 147), AuxiliaryWord(3),
                                         Lc1Group(1000, 147), AuxiliaryWord(4)});
    // A flipped bit breaks a group: d0 bit 1 cleared, d0 starting 011, d2 bit 6 set.
    const Bytes brokenFirst = ChainPacket({{0x41, 0x13, 0x03, 0x74}, Lc1Group(1000, 147)});
    const Bytes brokenSecond =
        ChainPacket({Lc1Group(500, 147), {0x63, 0x13, 0x03, 0x74}, AuxiliaryWord(0x42), Lc1Group(1000, 147)});
    const Bytes brokenLast = ChainPacket({Lc1Group(500, 147), AuxiliaryWord(5), {0x43, 0x13, 0x43, 0x74}});
    const Bytes cutShort = ChainPacket({Lc1Group(500, 147), {0x40, 0x00}});
    const StreamCase cases[] = {
        {"partial header and group", {0xB2, 0x82, 0x43}, zb::kNotReady, 0, {0xB2, 0x82, 0x43}},
        {"no header keeps last byte", {0x01, 0x02, 0x03, 0x04, 0x85}, zb::kNotReady, 0, {0x85}},
        {"one packet", {0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}, zb::kOk, 963379, {}},
        {"garbage in front", {0x11, 0x22, 0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}, zb::kOk, 963379, {}},
        {"truncated after garbage",
         {0x11, 0x22, 0xB2, 0x82, 0x43, 0x13, 0x03},
         zb::kNotReady,
         0,
         {0xB2, 0x82, 0x43, 0x13, 0x03}},
        {"rounding-sensitive value", {0xB2, 0x82, 0x43, 0x13, 0x00, 0x1E}, zb::kOk, 510591, {}},
        {"status 1 warming", {0xB2, 0x82, 0x47, 0x13, 0x03, 0x74}, zb::kNotReady, 0, {}},
        {"status 3 error", {0xB2, 0x82, 0x4F, 0x13, 0x03, 0x74}, zb::kFail, 0, {}},
        {"status 6 error", {0xB2, 0x82, 0x5B, 0x13, 0x03, 0x74}, zb::kFail, 0, {}},
        {"status 7 error", {0xB2, 0x82, 0x5F, 0x13, 0x03, 0x74}, zb::kFail, 0, {}},
        {"no LC-1 group", {0xB2, 0x82, 0x00, 0x00, 0x00, 0x00}, zb::kNotConnected, 0, {}},
        // The header counts words, and groups start on word boundaries only.
        {"group off word boundary", {0xB2, 0x83, 0x00, 0x43, 0x13, 0x03, 0x74, 0x00}, zb::kNotConnected, 0, {}},
        {"empty packet", {0xB2, 0x80, 0x43, 0x13, 0x03, 0x74}, zb::kNotConnected, 0, {0x43, 0x13, 0x03, 0x74}},
        // Chains: the chosen LC-1 is read wherever it stands, whatever else the packet carries;
        // the auxiliary word 0x42 ahead of a group looks like a group's start one byte early.
        {"auxiliary words around, first LC-1", auxAround, zb::kOk, 963379, {}, 1, 2, 4},
        {"auxiliary words around, second LC-1", auxAround, zb::kOk, 1445068, {}, 2},
        {"second sensor of one LC-1: consumed", Lc1Packet(500, 147), zb::kNotConnected, 0, {}, 2},
        // The chosen LC-1's status decides, not the other's.
        {"other's error", ChainPacket({Lc1Group(0, 147, 7), Lc1Group(500, 147)}), zb::kOk, 963379, {}, 2},
        {"own error", ChainPacket({Lc1Group(500, 147), Lc1Group(0, 147, 3)}), zb::kFail, 0, {}, 2},
        {"own warming", ChainPacket({Lc1Group(500, 147, 4), Lc1Group(0, 147)}), zb::kNotReady, 0, {}},
        {"130 words", ChainPacket({AuxiliaryWords(128), Lc1Group(500, 147)}), zb::kOk, 963379, {}},
        {"255 words, the LC-1 last", ChainPacket({AuxiliaryWords(253), Lc1Group(500, 147)}), zb::kOk, 963379, {}},
        {"255 words, the 127th LC-1",
         ChainPacket({AuxiliaryWord(9), Lc1Groups(127)}),
         zb::kOk,
         ConvertToFixedAfr(126, 147),
         {},
         kMaxSensor},
        {"false header of 255 words ends at the next header", Joined({{0xB3, 0xFF, 0x13}, Backlog(2)}), zb::kOk,
         ConvertToFixedAfr(0, 147), Lc1Packet(1, 147)},
        {"false header B3 B2: the B2 starts a packet", Joined({{0xB3}, Lc1Packet(1000, 147)}), zb::kOk, 1445068, {}},
        // Near misses: each differs from a good packet in one bit that a test must examine.
        {"d0 bit 1 clear", {0xB2, 0x82, 0x41, 0x13, 0x03, 0x74}, zb::kNotConnected, 0, {}, 1, 1, 0},
        {"d2 bit 6 set", {0xB2, 0x82, 0x43, 0x13, 0x43, 0x74}, zb::kNotConnected, 0, {}, 1, 1, 0},
        // A byte with bit 7 set among the words shows the header false: no packet at all.
        {"d1 bit 7 set", {0xB2, 0x82, 0x43, 0x93, 0x03, 0x74}, zb::kNotReady, 0, {0x74}},
        {"d3 bit 7 set", {0xB2, 0x82, 0x43, 0x13, 0x03, 0xF4}, zb::kNotReady, 0, {0xF4}},
        {"h0 bit 5 clear", {0x92, 0x82, 0x43, 0x13, 0x03, 0x74}, zb::kNotReady, 0, {0x74}},
        {"h1 bit 7 clear", {0xB2, 0x02, 0x43, 0x13, 0x03, 0x74}, zb::kNotReady, 0, {0x74}},
        // A broken group still holds its LC-1's place: that one is not connected, and the
        // others keep their numbers.
        {"broken place first, SENSOR 1", brokenFirst, zb::kNotConnected, 0, {}, 1, 2, 0},
        {"broken place first, SENSOR 2", brokenFirst, zb::kOk, 1445068, {}, 2, 2, 0},
        {"broken place second, SENSOR 2", brokenSecond, zb::kNotConnected, 0, {}, 2, 3, 1},
        {"broken place second, SENSOR 3", brokenSecond, zb::kOk, 1445068, {}, 3, 3, 1},
        {"broken place last, SENSOR 1", brokenLast, zb::kOk, 963379, {}, 1, 2, 1},
        {"broken place last, SENSOR 2", brokenLast, zb::kNotConnected, 0, {}, 2, 2, 1},
        {"place cut short by the packet's end", cutShort, zb::kNotConnected, 0, {}, 2, 2, 0},
        // Of more than two complete packets only the newest two are kept, whatever they carry.
        {"three together: the second, the third stays",
         Joined({Lc1Packet(0, 147), Lc1Packet(500, 147), Lc1Packet(1000, 147)}), zb::kOk, 963379, Lc1Packet(1000, 147)},
        {"five together: the fourth, the fifth stays",
         Joined(
             {Lc1Packet(0, 147), Lc1Packet(350, 147), Lc1Packet(1000, 147), Lc1Packet(500, 147), Lc1Packet(30, 147)}),
         zb::kOk, 963379, Lc1Packet(30, 147)},
        {"error and warming packets are old packets too",
         Joined({Lc1Packet(0, 147, 3), Lc1Packet(0, 147, 1), Lc1Packet(500, 147), Lc1Packet(1000, 147)}), zb::kOk,
         963379, Lc1Packet(1000, 147)},
        {"not-connected and warming packets are kept as the newest two",
         Joined({Lc1Packet(0, 147), Lc1Packet(500, 147), {0xB2, 0x82, 0x00, 0x00, 0x00, 0x00}, Lc1Packet(0, 147, 1)}),
         zb::kNotConnected, 0, Lc1Packet(0, 147, 1)},
        {"backlog behind a false header keeps garbage and the partial packet after the newest two",
         Joined({{0xB3},
                 Lc1Packet(0, 147),
                 {0x11, 0x22},
                 Lc1Packet(500, 147),
                 {0x13},
                 Lc1Packet(1000, 147),
                 {0x11, 0xB2, 0x82, 0x43}}),
         zb::kOk, 963379, Joined({{0x13}, Lc1Packet(1000, 147), {0x11, 0xB2, 0x82, 0x43}})},
        // A host that stalled: room is made from the oldest packets only, so the 86th, which
        // straddles the end of the full buffer, survives.
        {"more waiting than the buffer holds: the newest two", Backlog(87), zb::kOk, ConvertToFixedAfr(85, 147),
         Lc1Packet(86, 147)},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        reader.ResetForOpen();
        reader.ChooseSensor(c.sensor);
        feed = ByteFeed{};
        feed.Arrive(c.incoming);
        const ReadOutcome outcome = ReadOnce();
        EXPECT_EQ(outcome.result, c.result);
        if (c.result == zb::kOk) {
            EXPECT_EQ(outcome.value, c.value);
            EXPECT_EQ(outcome.transferred, 4u);
        } else {
            EXPECT_EQ(outcome.value, kUntouched) << "the caller's buffer is written only for a sample";
            EXPECT_EQ(outcome.transferred, 0u);
        }
        EXPECT_EQ(Buffered(), c.bufferedAfter);
        if (c.places >= 0) {
            static ChainContents contents;
            ASSERT_TRUE(DescribeChain(c.incoming.data(), c.incoming.size(), contents));
            EXPECT_EQ(contents.lc1Count, c.places);
            EXPECT_EQ(contents.auxiliaryCount, c.auxiliaryWords);
            const bool chosenBroken = c.sensor <= c.places && c.result == zb::kNotConnected;
            EXPECT_EQ(contents.lc1[c.sensor - 1].kind == PlaceKind::kBroken, chosenBroken);
        }
    }
}

TEST_F(PacketReaderTest, KeepsPartialPacketUntilTheRestArrives) {
    feed.Arrive({0x11, 0x22, 0xB2, 0x82, 0x43, 0x13, 0x03});
    EXPECT_EQ(ReadOnce().result, zb::kNotReady);
    feed.Arrive({0x74});
    const ReadOutcome outcome = ReadOnce();
    EXPECT_EQ(outcome.result, zb::kOk);
    EXPECT_EQ(outcome.value, 963379);
}

TEST_F(PacketReaderTest, DeliversOnePacketPerCallAndKeepsTheNext) {
    feed.Arrive(Lc1Packet(500, 147));
    feed.Arrive(Lc1Packet(1000, 147));
    EXPECT_EQ(ReadOnce().value, 963379);
    EXPECT_EQ(Buffered(), Lc1Packet(1000, 147));
    const std::size_t requestsBefore = feed.Requests();
    EXPECT_EQ(ReadOnce().value, 1445068);
    EXPECT_EQ(feed.Requests(), requestsBefore + 1) << "one empty request, then the buffered packet";
}

TEST_F(PacketReaderTest, RejectsBadRecordsBeforeTouchingAnything) {
    feed.Arrive(Lc1Packet(500, 147));
    std::int32_t value = kUntouched;
    std::uint32_t transferred = kUntouchedCount;
    const zb::TransferRecord good{zb::kTransferRecordSize, &value, sizeof value, &transferred, 0};

    zb::TransferRecord wrongSize = good;
    wrongSize.size = 24;
    zb::TransferRecord noBuffer = good;
    noBuffer.buffer = nullptr;
    zb::TransferRecord tooSmall = good;
    tooSmall.capacity = 3;

    EXPECT_EQ(reader.Read(nullptr), zb::kInvalidArg);
    for (zb::TransferRecord* bad : {&wrongSize, &noBuffer, &tooSmall}) {
        EXPECT_EQ(reader.Read(bad), zb::kInvalidArg);
    }
    EXPECT_EQ(transferred, kUntouchedCount);
    EXPECT_EQ(value, kUntouched);
    EXPECT_EQ(feed.Requests(), 0u) << "nothing may be asked of the byte source";
    EXPECT_EQ(reader.BufferedCount(), 0u);
}

TEST_F(PacketReaderTest, AcceptsRecordWithoutTransferCount) {
    feed.Arrive(Lc1Packet(500, 147));
    std::int32_t value = 0;
    zb::TransferRecord record{zb::kTransferRecordSize, &value, 8, nullptr, 0};
    EXPECT_EQ(reader.Read(&record), zb::kOk);
    EXPECT_EQ(value, 963379);
}

TEST_F(PacketReaderTest, CloseForgetsBufferedBytesAndOpenClearsThem) {
    feed.Arrive({0xB2, 0x82, 0x43});
    EXPECT_EQ(ReadOnce().result, zb::kNotReady);
    reader.ResetForClose();
    EXPECT_EQ(reader.BufferedCount(), 0u);
    feed.Arrive({0x13, 0x03, 0x74});
    EXPECT_EQ(ReadOnce().result, zb::kNotReady) << "the tail of a packet from before close is not a packet";
}

TEST_F(PacketReaderTest, StopsFillingAtTheBufferSize) {
    feed.Arrive(Bytes(600, 0x00));
    EXPECT_EQ(ReadOnce().result, zb::kNotReady);
    EXPECT_EQ(feed.Waiting(), 600u - PacketReader::kRxBufferSize);
    EXPECT_EQ(reader.BufferedCount(), 1u);
}

TEST_F(PacketReaderTest, CatchesUpWithALongStallInAFewShortCalls) {
    constexpr unsigned kPackets = 1000;  // 82 s of the device's output
    feed.Arrive(Backlog(kPackets));
    std::size_t calls = 0;
    ReadOutcome outcome{};
    do {
        outcome = ReadOnce();
    } while (++calls < kPackets && feed.Waiting() > 0);
    EXPECT_GT(calls, 1u) << "one call takes a bounded share of the backlog";
    EXPECT_LE(calls, std::size_t{kPackets} * 6 / PacketReader::kMaxRequestsPerRead + 1);
    EXPECT_EQ(outcome.value, ConvertToFixedAfr(kPackets - 2, 147));
}

// Noise that passes the header test and declares a long packet holds back nothing: the
// next real header shows it false as soon as it arrives, even one byte on.
TEST_F(PacketReaderTest, FalseHeaderHoldsBackNoPacketBehindIt) {
    feed.Arrive({0xA1, 0x80, 0x13});  // 128 words declared
    EXPECT_EQ(ReadOnce().result, zb::kNotReady);
    feed.Arrive(Lc1Packet(500, 147));
    EXPECT_EQ(ReadOnce().value, 963379);
}

// A header of 255 words followed by that many words of noise is a whole packet: it is
// answered (no LC-1 in it), and the packets behind it come next.
TEST_F(PacketReaderTest, LongestPacketOfNoiseIsAnsweredAndPassed) {
    feed.Arrive({0xB3, 0xFF});
    feed.Arrive(Bytes(600, 0x13));
    feed.Arrive(Lc1Packet(350, 147));
    EXPECT_EQ(ReadOnce().result, zb::kNotConnected);
    EXPECT_EQ(ReadOnce().value, 818872);
}

TEST(DescribeChain, ListsTheDevicesOfOneWholePacketInChainOrder) {
    static ChainContents contents;
    const Bytes chain = ChainPacket({AuxiliaryWord(1), Lc1Group(500, 147), AuxiliaryWord(2), Lc1Group(0, 150, 4)});
    ASSERT_TRUE(DescribeChain(chain.data(), chain.size(), contents));
    EXPECT_EQ(contents.lc1Count, 2);
    EXPECT_EQ(contents.auxiliaryCount, 2);
    EXPECT_EQ(contents.lc1[1].reading.status, 4);
    EXPECT_EQ(contents.lc1[1].reading.multiplier, 150);

    Bytes falseHeader = chain;
    falseHeader[5] |= 0x80;
    EXPECT_FALSE(DescribeChain(falseHeader.data(), falseHeader.size(), contents));
    EXPECT_FALSE(DescribeChain(chain.data(), chain.size() - 2, contents)) << "a cut packet";
    EXPECT_EQ(contents.lc1Count, 0);
}

// The recording: two stray bytes, one packet of a lone LC-1, then packets of two LC-1s. It
// holds no reading; with every group's status cleared each controller's groups read.
struct Recording {
    static constexpr std::size_t kFirstPair = 8;
    static constexpr std::size_t kPairSize = 10;
    Bytes bytes{kRecording, kRecording + kRecordingSize};

    // The value the sensor-th group of each two-LC-1 packet holds, statuses cleared.
    std::vector<std::int32_t> Values(int sensor) const {
        std::vector<std::int32_t> values;
        for (std::size_t at = kFirstPair; at + kPairSize <= bytes.size(); at += kPairSize) {
            const std::uint8_t* d = &bytes[at + 2 + 4 * static_cast<std::size_t>(sensor - 1)];
            values.push_back(ConvertToFixedAfr(static_cast<std::uint16_t>(((d[2] & 0x3F) << 7) | d[3]),
                                               static_cast<std::uint8_t>(((d[0] & 1) << 7) | d[1])));
        }
        return values;
    }
    void ClearStatuses() {
        std::vector<std::size_t> groups{4};
        for (std::size_t at = kFirstPair; at + kPairSize <= bytes.size(); at += kPairSize) {
            groups.insert(groups.end(), {at + 2, at + 6});
        }
        for (std::size_t at : groups) {
            ASSERT_EQ(bytes[at] & 0xE2, 0x42) << "no group at " << at;
            bytes[at] &= 0xE3;
        }
    }
};

TEST_F(PacketReaderTest, RecordedTwoSensorLineReadsEachController) {
    if (kRecordingSize == 0) GTEST_SKIP() << "built without the recording";
    Recording recording;
    ASSERT_EQ((recording.bytes.size() - Recording::kFirstPair) % Recording::kPairSize, 0u);
    // What the line gives as recorded, and with the statuses cleared, a few bytes per call.
    const auto replay = [&](int sensor, std::vector<std::int32_t>& values) {
        reader.ResetForOpen();
        reader.ChooseSensor(sensor);
        feed = ByteFeed{};
        int notConnected = 0;
        for (std::size_t at = 0; at < recording.bytes.size() + 7; at += 7) {
            const auto from = static_cast<std::ptrdiff_t>(std::min(at, recording.bytes.size()));
            const auto to = static_cast<std::ptrdiff_t>(std::min(at + 7, recording.bytes.size()));
            feed.Arrive(Bytes(recording.bytes.begin() + from, recording.bytes.begin() + to));
            const ReadOutcome outcome = ReadOnce();
            if (outcome.result == zb::kOk) values.push_back(outcome.value);
            if (outcome.result == zb::kNotConnected) ++notConnected;
            EXPECT_NE(outcome.result, zb::kFail);
        }
        return notConnected;
    };
    for (int sensor : {1, 2}) {
        std::vector<std::int32_t> values;
        EXPECT_EQ(replay(sensor, values), sensor - 1) << "the lone LC-1's packet has no second sensor";
        EXPECT_TRUE(values.empty()) << "warming up and free air give no reading";
    }

    recording.ClearStatuses();
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> second;
    replay(1, first);
    replay(2, second);
    // The first sensor yields what it did before chains were read: the lone packet's
    // reading, then each packet's first group.
    ASSERT_EQ(first.size(), 1291u);
    EXPECT_EQ(std::accumulate(first.begin(), first.end(), std::int64_t{0}), 853491368);
    EXPECT_EQ(std::vector<std::int32_t>(first.begin() + 1, first.end()), recording.Values(1));
    EXPECT_EQ(second, recording.Values(2));
    EXPECT_NE(second, recording.Values(1));
}

// Valid packets, lone LC-1s and chains, split at random points and separated by garbage, come
// out in order with the chosen LC-1's exact values. Now and then the host stalls and a long
// stretch arrives at once: older packets may then be dropped, but only while two newer ones have
// come, and no call leaves two complete packets behind to be answered late. Most garbage has
// bit 7 clear (XON/XOFF included) and can never start a header. Some may be any byte; a byte
// with bits 7 and 5 set may then start a fake header, whose packet may be answered anyhow when
// the garbage after it completes it. It never reaches a real packet, whose header bytes show it
// false. Where such a byte has come, the count of complete packets is not known, so the two
// rules about it are not checked there.
TEST_F(PacketReaderTest, RandomisedStreamDeliversReadingsInOrderAndNeverStale) {
    for (int sensor : {1, 2}) {
        SCOPED_TRACE(sensor);
        reader.ResetForOpen();
        reader.ChooseSensor(sensor);
        feed = ByteFeed{};
        constexpr std::size_t kLongestFakePacket = 512;
        std::mt19937 random(20261208u + static_cast<unsigned>(sensor));
        std::uniform_int_distribution<int> lambdaDist(0, 8191);
        std::uniform_int_distribution<int> multiplierDist(0, 255);
        std::uniform_int_distribution<int> statusDist(0, 7);
        std::uniform_int_distribution<int> garbageLength(0, 40);
        std::uniform_int_distribution<int> garbageByte(0x00, 0x7F);
        std::uniform_int_distribution<int> anyByte(0x00, 0xFF);
        std::uniform_int_distribution<int> chunk(0, 20);
        std::uniform_int_distribution<int> percent(0, 99);
        std::uniform_int_distribution<int> stall(100, 1500);
        std::uniform_int_distribution<int> fewDevices(0, 2);

        struct SentPacket {
            int number;
            std::size_t start;
            std::size_t end;
            ReadOutcome expected;
        };
        Bytes stream;
        std::vector<bool> shadowed;  // per stream byte: garbage a fake header before it may reach
        // per stream position: garbage bytes before it that may start a header
        std::vector<std::size_t> mayFakeBefore{0};
        std::size_t shadowLeft = 0;
        const auto send = [&](std::uint8_t byte, bool garbage) {
            const bool mayFake = garbage && (byte & 0xA0) == 0xA0;
            if (mayFake) shadowLeft = kLongestFakePacket;
            stream.push_back(byte);
            shadowed.push_back(garbage && shadowLeft > 0);
            mayFakeBefore.push_back(mayFakeBefore.back() + (mayFake ? 1 : 0));
            shadowLeft = garbage && shadowLeft > 0 ? shadowLeft - 1 : 0;
        };
        std::vector<SentPacket> packets;        // those answered with a sample or an error
        std::vector<std::size_t> starts, ends;  // of every packet, whatever it answers
        for (int packet = 0; packet < 3000; ++packet) {
            const bool anyGarbage = packet % 16 == 0;
            const int garbage = garbageLength(random);
            for (int k = 0; k < garbage; ++k) {
                send(static_cast<std::uint8_t>(anyGarbage ? anyByte(random) : garbageByte(random)), true);
            }
            const auto lambda = static_cast<std::uint16_t>(lambdaDist(random));
            const auto multiplier = static_cast<std::uint8_t>(multiplierDist(random));
            const int status = packet % 3 == 0 ? statusDist(random) : 0;
            // Every other packet a chain: auxiliary words around one to three LC-1s, the others
            // with readings and statuses of their own.
            std::vector<Bytes> devices;
            const int lc1s = packet % 2 == 0 ? 1 : 1 + fewDevices(random);
            for (int k = 1; k <= lc1s; ++k) {
                for (int aux = packet % 2 == 0 ? 0 : fewDevices(random); aux > 0; --aux) {
                    devices.push_back(AuxiliaryWord(static_cast<unsigned>(lambdaDist(random))));
                }
                devices.push_back(k == sensor ? Lc1Group(lambda, multiplier, static_cast<unsigned>(status))
                                              : Lc1Group(static_cast<unsigned>(lambdaDist(random)), 147,
                                                         static_cast<unsigned>(statusDist(random))));
            }
            starts.push_back(stream.size());
            for (std::uint8_t byte : ChainPacket(devices)) send(byte, false);
            ends.push_back(stream.size());
            ReadOutcome expected{zb::kNotReady, 0, 0};  // statuses 1, 2, 4 and 5, like waiting
            if (lc1s < sensor) {
                expected = {zb::kNotConnected, 0, 0};
            } else if (status == 0) {
                expected = {zb::kOk, ConvertToFixedAfr(lambda, multiplier), 4};
            } else if (status == 3 || status == 6 || status == 7) {
                expected = {zb::kFail, 0, 0};
            }
            if (expected.result != zb::kNotReady) packets.push_back({packet, starts.back(), ends.back(), expected});
        }
        const auto packetsWithin = [&](std::size_t from, std::size_t to) {
            const auto first = std::lower_bound(starts.begin(), starts.end(), from) - starts.begin();
            const auto last = std::upper_bound(ends.begin(), ends.end(), to) - ends.begin();
            return last > first ? last - first : 0;
        };
        const auto mayFakeWithin = [&](std::size_t from, std::size_t to) {
            return mayFakeBefore[to] > mayFakeBefore[from];
        };

        // Every answer other than not ready consumed a packet that ended where the unread bytes begin.
        std::vector<bool> answered(packets.size());
        std::size_t settled = 0;  // packets before this one were answered, or rightly dropped
        int fakeAnswers = 0;
        std::size_t sent = 0;
        const std::size_t callLimit = stream.size();  // sending alone takes about a tenth of this
        for (std::size_t call = 0; call < callLimit; ++call) {
            const bool stalled = percent(random) == 0;
            const std::size_t arriving = std::min<std::size_t>(
                static_cast<std::size_t>(stalled ? stall(random) : chunk(random)), stream.size() - sent);
            feed.Arrive(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(sent),
                              stream.begin() + static_cast<std::ptrdiff_t>(sent + arriving)));
            sent += arriving;
            const std::size_t unreadBefore = feed.Waiting() + reader.BufferedCount();
            const ReadOutcome outcome = ReadOnce();
            ASSERT_LE(reader.BufferedCount(), PacketReader::kRxBufferSize);
            const std::size_t pulled = sent - feed.Waiting();
            const std::size_t consumed = pulled - reader.BufferedCount();
            if (outcome.result != zb::kNotReady && shadowed[consumed - 1]) {
                ++fakeAnswers;
            } else if (outcome.result != zb::kNotReady) {
                const auto found = std::lower_bound(packets.begin(), packets.end(), consumed,
                                                    [](const SentPacket& p, std::size_t at) { return p.end < at; });
                ASSERT_TRUE(found != packets.end() && found->end == consumed)
                    << "answer 0x" << std::hex << outcome.result << std::dec << " for a packet ending at byte "
                    << consumed << ", where none was sent";
                ASSERT_EQ(outcome.result, found->expected.result) << "packet " << found->number;
                ASSERT_EQ(outcome.value, outcome.result == zb::kOk ? found->expected.value : kUntouched)
                    << "packet " << found->number;
                answered[static_cast<std::size_t>(found - packets.begin())] = true;
            }
            for (; settled < packets.size() && packets[settled].end <= consumed; ++settled) {
                const SentPacket& p = packets[settled];
                ASSERT_TRUE(answered[settled] || shadowed[p.start] || packetsWithin(p.end, pulled) >= 2 ||
                            mayFakeWithin(p.end, pulled))
                    << "packet " << p.number << " was dropped before two newer ones had come";
            }
            ASSERT_TRUE(packetsWithin(consumed, pulled) < 2 || mayFakeWithin(consumed, pulled))
                << "call " << call << " left two complete packets to be answered late";
            if (outcome.result == zb::kNotReady && sent == stream.size() &&
                feed.Waiting() + reader.BufferedCount() == unreadBefore) {
                break;  // nothing more will come out
            }
        }

        EXPECT_GT(fakeAnswers, 0) << "the garbage never faked a header";
        for (; settled < packets.size(); ++settled) {
            ASSERT_TRUE(shadowed[packets[settled].start]) << "packet " << packets[settled].number << " never came out";
        }
    }
}

}  // namespace
}  // namespace lamdex::test
