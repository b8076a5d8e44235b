#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "tools/lc1sim/capture.h"
#include "tools/lc1sim/chain.h"
#include "tools/lc1sim/faults.h"
#include "tools/lc1sim/lc1_packet.h"
#include "tools/lc1sim/options.h"
#include "tools/lc1sim/pacer.h"
#include "tools/lc1sim/scenarios.h"
#include "tools/lc1sim/source.h"

namespace lc1sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Reading Make(unsigned status, unsigned multiplier, unsigned lambda) {
    Reading reading;
    reading.status = status;
    reading.multiplier = multiplier;
    reading.lambda = lambda;
    return reading;
}

TEST(Lc1Packet, EncodesTheBitLayoutAndRoundTrips) {
    EXPECT_EQ(EncodePacket(Make(0, 147, 500)), (Bytes{0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}));
    EXPECT_EQ(EncodePacket(Make(0, 147, 30)), (Bytes{0xB2, 0x82, 0x43, 0x13, 0x00, 0x1E}));
    EXPECT_EQ(EncodePacket(Make(7, 255, 8191)), (Bytes{0xB2, 0x82, 0x5F, 0x7F, 0x3F, 0x7F}));
    for (unsigned status = 0; status < 8; ++status) {
        for (unsigned multiplier : {0u, 1u, 127u, 128u, 147u, 255u}) {
            for (unsigned lambda : {0u, 1u, 127u, 128u, 500u, 8191u}) {
                const Bytes packet = EncodePacket(Make(status, multiplier, lambda));
                ASSERT_EQ(packet.size(), 6u);
                EXPECT_EQ(packet[2] & 0xE2, 0x42);
                EXPECT_EQ((packet[2] >> 2) & 7u, status);
                EXPECT_EQ(packet[2] & 1u, multiplier >> 7);
                EXPECT_EQ(packet[3] & 0x80, 0);
                EXPECT_EQ(packet[4] & 0xC0, 0);
                EXPECT_EQ(packet[5] & 0x80, 0);
                EXPECT_EQ(FindChainGroups(packet), std::vector<Reading>{Make(status, multiplier, lambda)});
            }
        }
    }
}

TEST(Lc1Packet, PacketWithoutGroupHoldsNoReading) {
    Reading none;
    none.hasGroup = false;
    EXPECT_EQ(EncodePacket(none), (Bytes{0xB2, 0x82, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(FindChainGroups(EncodePacket(none)).empty());
}

ChainEntry Aux(unsigned value) {
    return ChainEntry{true, {}, value};
}

ChainEntry Lc1(const Reading& reading) {
    return ChainEntry{false, reading, 0};
}

// The header counts words; a receiver finds the groups at word boundaries, never in an
// auxiliary word whose low byte looks like the start of one.
TEST(Lc1Packet, ChainPacketsCountTheirWordsAndHoldEachGroupInOrder) {
    const Reading none{false, 0, 0, 0};
    const Reading broken{true, 0, 147, 500, true};
    const struct {
        std::vector<ChainEntry> entries;
        Bytes front;  // the packet's first bytes
        std::size_t size;
        std::vector<Reading> groups;
    } cases[] = {
        {{Aux(0x42), Lc1(Make(0, 147, 500))}, {0xB2, 0x83, 0x00, 0x42, 0x43, 0x13, 0x03, 0x74}, 8, {Make(0, 147, 500)}},
        {{Aux(8191), Aux(0x42), Lc1(Make(4, 150, 10)), Aux(1), Lc1(Make(0, 147, 500)), Aux(0x42)},
         {0xB2, 0x88, 0x3F, 0x7F, 0x00, 0x42, 0x53, 0x16, 0x00, 0x0A, 0x00, 0x01, 0x43, 0x13, 0x03, 0x74, 0x00, 0x42},
         18,
         {Make(4, 150, 10), Make(0, 147, 500)}},
        {{Lc1(none), Lc1(Make(0, 147, 500))}, {0xB2, 0x84, 0x00, 0x00, 0x00, 0x00, 0x43}, 10, {Make(0, 147, 500)}},
        {{Lc1(broken), Lc1(Make(0, 147, 500))},
         {0xB2, 0x84, 0x41, 0x13, 0x03, 0x74, 0x43},
         10,
         {broken, Make(0, 147, 500)}},
        {std::vector<ChainEntry>(65, Lc1(Make(0, 147, 500))),
         {0xB3, 0x82, 0x43, 0x13},
         262,
         std::vector<Reading>(65, Make(0, 147, 500))},
        {std::vector<ChainEntry>(255, Aux(0x42)), {0xB3, 0xFF, 0x00, 0x42}, 512, {}},
    };
    for (const auto& c : cases) {
        const Bytes packet = EncodeChainPacket(c.entries);
        ASSERT_EQ(packet.size(), c.size);
        EXPECT_TRUE(std::equal(c.front.begin(), c.front.end(), packet.begin())) << c.size;
        EXPECT_TRUE(std::all_of(packet.begin() + 2, packet.end(), [](std::uint8_t b) { return b < 0x80; }));
        EXPECT_EQ(FindChainGroups(packet), c.groups) << c.size;
    }
    // As recorded: stray bytes, then two chained controllers; a header whose packet holds a byte
    // with bit 7 set is false, and the real one behind it counts.
    EXPECT_EQ(FindChainGroups({0x0A, 0x00, 0xB2, 0x84, 0x53, 0x13, 0x00, 0x00, 0x53, 0x13, 0x3F, 0x7F}),
              (std::vector<Reading>{Make(4, 147, 0), Make(4, 147, 8191)}));
    EXPECT_EQ(FindChainGroups({0xB2, 0x84, 0x53, 0x13, 0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}),
              std::vector<Reading>{Make(0, 147, 500)});
}

TEST(Lc1Packet, ExpectedValueUsesTheDeviceRounding) {
    struct Case {
        unsigned lambda, multiplier;
        std::int32_t value;
    };
    const Case cases[] = {{500, 147, 963379}, {0, 147, 481689},      {1000, 147, 1445068}, {350, 147, 818872},
                          {500, 0, 0},        {8191, 255, 14524121}, {30, 147, 510591},    {224, 150, 711721},
                          {298, 172, 899521}, {178, 255, 1133052}};
    for (const Case& c : cases)
        EXPECT_EQ(ExpectedValue(c.lambda, c.multiplier), c.value) << c.lambda << "/" << c.multiplier;
}

TEST(Scenarios, SequenceIsFixedAndCoversWhatTestsNeed) {
    ScenarioSettings settings;
    settings.kind = ScenarioKind::kSequence;
    const auto& readings = SequenceReadings();
    ASSERT_EQ(readings.size(), 22u);
    EXPECT_EQ(ScenarioReading(settings, 0), Make(0, 147, 500));
    EXPECT_EQ(ScenarioReading(settings, 5), Make(0, 147, 2195));
    EXPECT_EQ(ScenarioReading(settings, readings.size()), readings[0]);  // cycles

    Bytes stream;
    bool statusSeen[8] = {};
    for (const Reading& reading : readings) {
        const Bytes packet = EncodePacket(reading);
        stream.insert(stream.end(), packet.begin(), packet.end());
        if (reading.hasGroup) statusSeen[reading.status] = true;
    }
    EXPECT_TRUE(std::all_of(std::begin(statusSeen), std::end(statusSeen), [](bool seen) { return seen; }));
    EXPECT_EQ(std::count(stream.begin(), stream.end(), 0x11), 3);
    EXPECT_NE(std::find(stream.begin(), stream.end(), 0x13), stream.end());
    const Bytes noGroup{0xB2, 0x82, 0x00, 0x00, 0x00, 0x00};
    EXPECT_NE(std::search(stream.begin(), stream.end(), noGroup.begin(), noGroup.end()), stream.end());
}

TEST(Scenarios, SweepStaysInRangeReachesBothEndsAndUsesTheMultiplier) {
    ScenarioSettings settings;
    settings.kind = ScenarioKind::kSweep;
    settings.multiplier = 150;
    unsigned lowest = 9999, highest = 0, previous = ScenarioReading(settings, 0).lambda;
    for (std::uint64_t index = 0; index < 3 * kSweepPackets; ++index) {
        const Reading reading = ScenarioReading(settings, index);
        EXPECT_EQ(reading.status, kStatusLambda);
        EXPECT_EQ(reading.multiplier, 150u);
        lowest = std::min(lowest, reading.lambda);
        highest = std::max(highest, reading.lambda);
        EXPECT_LE(std::max(reading.lambda, previous) - std::min(reading.lambda, previous), 10u) << index;
        previous = reading.lambda;
    }
    EXPECT_EQ(lowest, kSweepLambdaMin);
    EXPECT_EQ(highest, kSweepLambdaMax);
}

TEST(Scenarios, WarmupRisesToAHundredPercentAndDemoThenSweeps) {
    ScenarioSettings settings;
    settings.kind = ScenarioKind::kWarmup;
    unsigned previous = 0;
    for (std::uint64_t index = 0; index < 2 * kWarmupPackets; ++index) {
        const Reading reading = ScenarioReading(settings, index);
        EXPECT_EQ(reading.status, kStatusWarmup);
        EXPECT_GE(reading.lambda, previous);
        EXPECT_LE(reading.lambda, 1000u);  // tenths of a percent
        previous = reading.lambda;
    }
    EXPECT_EQ(ScenarioReading(settings, 0).lambda, 0u);
    EXPECT_EQ(previous, 1000u);

    settings.kind = ScenarioKind::kDemo;
    EXPECT_EQ(ScenarioReading(settings, kWarmupPackets - 1).status, kStatusWarmup);
    EXPECT_EQ(ScenarioReading(settings, kWarmupPackets), Make(kStatusLambda, 147, kSweepLambdaMin));
}

TEST(Scenarios, CalibrationAndError) {
    ScenarioSettings settings;
    settings.kind = ScenarioKind::kCalibration;
    EXPECT_EQ(ScenarioReading(settings, 0).status, kStatusCalibrating);
    EXPECT_EQ(ScenarioReading(settings, kCalibratingPackets), Make(kStatusOxygen, 147, kFreeAirOxygen));
    settings.kind = ScenarioKind::kError;
    settings.errorStatus = 3;
    EXPECT_EQ(ScenarioReading(settings, 7).status, 3u);
}

// The polling measurement tells a delivered reading's packet by its value alone.
TEST(Scenarios, RampValuesNameTheirPacketUntilTheFieldWraps) {
    ScenarioSettings settings;
    settings.kind = *ScenarioByName("ramp");
    std::int32_t previous = -1;
    for (std::uint64_t index = 0; index < kLambdaFieldValues; ++index) {
        const Reading reading = ScenarioReading(settings, index);
        ASSERT_EQ(reading, Make(kStatusLambda, 147, static_cast<unsigned>(index)));
        const std::int32_t value = ExpectedValue(reading.lambda, reading.multiplier);
        ASSERT_GT(value, previous) << index;
        previous = value;
    }
    EXPECT_EQ(ScenarioReading(settings, kLambdaFieldValues).lambda, 0u);
}

TEST(Capture, HexTextWithCommentsAndRuns) {
    Capture capture;
    std::string error;
    ASSERT_TRUE(ParseHexCapture("# header\nB2 82\t43 13 # one packet\r\n\n  0374 b2820000 0000\n#end", capture, error))
        << error;
    EXPECT_EQ(capture.bytes, (Bytes{0xB2, 0x82, 0x43, 0x13, 0x03, 0x74, 0xB2, 0x82, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(capture.marks.empty());
    ASSERT_TRUE(ParseHexCapture("", capture, error));
    EXPECT_TRUE(capture.bytes.empty());
}

TEST(Capture, RejectsBadTokensNamingTheLine) {
    for (const char* bad : {"B2\n0x82", "B2\nB", "B2\nGG", "B2\n123", "B2\n82,", "B2\n@", "B2\n@-1", "B2\n@1s",
                            "@2\n@1.999", "B2\nlost", "@1 B2\nback", "@1 lost\nB2"}) {
        Capture capture{{1, 2}, {}};
        std::string error;
        EXPECT_FALSE(ParseHexCapture(bad, capture, error)) << bad;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
        EXPECT_EQ(capture.bytes, (Bytes{1, 2})) << "left untouched";
    }
}

TEST(Capture, SplitsInFrontOfHeaders) {
    const Bytes stream{0x0A, 0x00, 0xB2, 0x82, 0x53, 0x13, 0x00, 0x00, 0xB2, 0x84,
                       0x53, 0x13, 0x00, 0x00, 0x53, 0x13, 0x00, 0x00, 0xB2};
    const auto pieces = SplitAtHeaders(stream);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], (Bytes{0x0A, 0x00}));
    EXPECT_EQ(pieces[1].size(), 6u);
    EXPECT_EQ(pieces[2].size(), 11u);  // a lone trailing header byte stays with the last piece
}

TEST(Faults, NoFaultsMeansOneWrite) {
    Random random(1);
    const Bytes packet = EncodePacket(Make(0, 147, 500));
    const auto pieces = PlanWrites(packet, FaultSettings{}, random);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].bytes, packet);
}

TEST(Faults, GarbageAndSplitKeepThePacketAndRepeatWithTheSeed) {
    FaultSettings faults;
    faults.garbage = 0.5;
    faults.split = true;
    const Bytes packet = EncodePacket(Make(0, 147, 500));
    Random first(42), second(42);
    int garbageRuns = 0;
    for (int run = 0; run < 200; ++run) {
        const auto pieces = PlanWrites(packet, faults, first);
        const auto again = PlanWrites(packet, faults, second);
        ASSERT_EQ(pieces.size(), again.size());
        Bytes all;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            EXPECT_EQ(pieces[k].bytes, again[k].bytes);
            EXPECT_EQ(pieces[k].pauseNs, again[k].pauseNs);
            EXPECT_LE(pieces[k].pauseNs, 10000000);
            all.insert(all.end(), pieces[k].bytes.begin(), pieces[k].bytes.end());
        }
        ASSERT_GE(all.size(), packet.size());
        const std::size_t garbage = all.size() - packet.size();
        garbageRuns += garbage > 0;
        EXPECT_TRUE(std::equal(packet.begin(), packet.end(), all.begin() + static_cast<std::ptrdiff_t>(garbage)));
        EXPECT_TRUE(std::all_of(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(garbage),
                                [](std::uint8_t b) { return b < 0x80; }));
    }
    EXPECT_GT(garbageRuns, 60);
    EXPECT_LT(garbageRuns, 140);
}

TEST(Pacer, DeviceCadenceIsOnePacketPerSlotOnAFixedGrid) {
    Pacer pacer(Rate::kDevice);
    const std::int64_t sixBytes = (6 * 1000000000LL + 1919) / 1920;
    for (std::int64_t k = 0; k < 100; ++k) {
        pacer.StartPacket();
        const std::int64_t due = pacer.Schedule(6, 0);
        EXPECT_EQ(due, k * kPacketIntervalNs + sixBytes);
        pacer.Delivered(due + 500000);  // waking half a millisecond late does not drift the grid
    }
}

TEST(Pacer, LineRateNeverExceedsTheLine) {
    Pacer pacer(Rate::kLine);
    std::int64_t due = 0;
    for (int k = 0; k < 1920; ++k) {
        pacer.StartPacket();
        due = pacer.Schedule(6, 0);
        pacer.Delivered(due);
    }
    EXPECT_GE(due, 6 * 1000000000LL);
    EXPECT_LT(due, 6 * 1000000000LL + 1000000);
}

TEST(Pacer, TimeLostToAStalledReaderIsNotMadeUp) {
    Pacer pacer(Rate::kLine);
    pacer.StartPacket();
    const std::int64_t first = pacer.Schedule(6, 0);
    const std::int64_t stalledUntil = first + 500000000;
    pacer.Delivered(stalledUntil);
    pacer.StartPacket();
    EXPECT_GE(pacer.Schedule(6, 0), stalledUntil - kCatchUpNs + 3125000);

    Pacer unlimited(Rate::kUnlimited);
    unlimited.StartPacket();
    EXPECT_EQ(unlimited.Schedule(6, 0), 0);
    EXPECT_EQ(unlimited.Schedule(2, 4000000), 4000000);  // split pauses still count
}

TEST(Options, ParsesValuesAndRejectsNonsense) {
    Options options;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--scenario", "sweep", "--rate=line", "--multiplier", "150", "--garbage", "0.25",
                              "--split", "--seed", "7", "--count", "10", "--log", "x.log", "--link", "com5"},
                             options, error))
        << error;
    EXPECT_EQ(options.scenario.kind, ScenarioKind::kSweep);
    EXPECT_EQ(options.rate, Rate::kLine);
    EXPECT_EQ(options.scenario.multiplier, 150u);
    EXPECT_DOUBLE_EQ(options.faults.garbage, 0.25);
    EXPECT_TRUE(options.faults.split);
    EXPECT_TRUE(options.seedGiven);
    EXPECT_EQ(options.count, 10u);
    ASSERT_EQ(options.chain.size(), 1u);  // a lone LC-1 plays the scenario
    EXPECT_EQ(options.chain[0].scenario.kind, ScenarioKind::kSweep);

    // The LC-1s of a chain take --scenario and --multiplier wherever they stand, unless they say otherwise.
    Options chained;
    ASSERT_TRUE(
        ParseOptions({"--chain", "aux,lc1,lc1:warmup:150,aux:8191,lc1:120", "--scenario", "sequence"}, chained, error))
        << error;
    ASSERT_EQ(chained.chain.size(), 5u);
    EXPECT_TRUE(chained.chain[0].auxiliary);
    EXPECT_EQ(chained.chain[0].auxValue, kDefaultAuxValue);
    EXPECT_EQ(chained.chain[1].scenario.kind, ScenarioKind::kSequence);
    EXPECT_EQ(chained.chain[2].scenario.kind, ScenarioKind::kWarmup);
    EXPECT_EQ(chained.chain[2].scenario.multiplier, 150u);
    EXPECT_EQ(chained.chain[3].auxValue, 8191u);
    EXPECT_EQ(chained.chain[4].scenario.kind, ScenarioKind::kSequence);
    EXPECT_EQ(chained.chain[4].scenario.multiplier, 120u);
    std::string longest;  // 255 words, all one packet counts
    for (int k = 0; k < 127; ++k) longest += "lc1,";
    EXPECT_TRUE(ParseOptions({"--chain", longest + "aux"}, chained, error)) << error;
    EXPECT_FALSE(ParseOptions({"--chain", longest + "aux,aux"}, chained, error));

    const std::vector<std::vector<std::string>> bad = {{"--scenario", "race"},
                                                       {"--rate", "fast"},
                                                       {"--multiplier", "256"},
                                                       {"--multiplier", "-1"},
                                                       {"--error-status", "4"},
                                                       {"--garbage", "1.5"},
                                                       {"--count", "0"},
                                                       {"--count"},
                                                       {"--duration", "0"},
                                                       {"--bogus"},
                                                       {"--link", "a", "--device", "b"},
                                                       {"--chain", ""},
                                                       {"--chain", "lc1,,aux"},
                                                       {"--chain", "lc1:race"},
                                                       {"--chain", "lc1:150:151"},
                                                       {"--chain", "aux:8192"},
                                                       {"--chain", "aux:1:2"},
                                                       {"--chain", "lc1", "--replay", "x.hex"}};
    for (const auto& args : bad) {
        Options rejected;
        error.clear();
        EXPECT_FALSE(ParseOptions(args, rejected, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(Source, LogLinesCarryTheExpectedValue) {
    EXPECT_EQ(LogLine(0, {Make(0, 147, 500)}), "0 0 147 500 963379");
    EXPECT_EQ(LogLine(3, {Make(4, 147, 50)}), "3 4 147 50 -");
    EXPECT_EQ(LogLine(9, {}), "9 - - - -");

    const PacketSource replay = PacketSource::ForCapture({{0x11, 0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}, {}});
    Outgoing outgoing;
    ASSERT_TRUE(replay.Next(0, outgoing));
    EXPECT_TRUE(outgoing.readings.empty());
    ASSERT_TRUE(replay.Next(1, outgoing));
    EXPECT_EQ(outgoing.readings, std::vector<Reading>{Make(0, 147, 500)});
    EXPECT_FALSE(replay.Next(2, outgoing));

    // A chain logs each LC-1 in order; one that sends no group leaves the others' places.
    Options options;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--chain", "lc1:sequence,aux,lc1:sweep:150,lc1:broken:sequence"}, options, error))
        << error;
    const PacketSource chain = PacketSource::ForChain(options.chain);
    ASSERT_TRUE(chain.Next(0, outgoing));
    Reading broken = Make(0, 147, 500);
    broken.broken = true;
    EXPECT_EQ(outgoing.bytes, EncodeChainPacket({Lc1(Make(0, 147, 500)), Aux(kDefaultAuxValue),
                                                 Lc1(Make(0, 150, kSweepLambdaMin)), Lc1(broken)}));
    EXPECT_EQ(LogLine(0, outgoing.readings),
              "0 0 147 500 963379 0 150 200 " + std::to_string(ExpectedValue(kSweepLambdaMin, 150)) + " broken - - -");
    ASSERT_TRUE(chain.Next(20, outgoing));  // the sequence's packet without a group
    EXPECT_EQ(LogLine(20, outgoing.readings).substr(0, 9), "20 0 150 ");
    EXPECT_EQ(FindChainGroups(outgoing.bytes), outgoing.readings);
}

// A recording's chunks keep their times, headers or not, and its outages become line changes.
TEST(Source, TimedCaptureGoesChunkByChunkAtItsTimes) {
    Capture capture;
    std::string error;
    ASSERT_TRUE(ParseHexCapture("11 @0.5 B2 82 43\n13 0374 @1.25 lost # error 5\n@3 back\n@3.0105 B2", capture, error));
    const PacketSource replay = PacketSource::ForCapture(capture);
    EXPECT_TRUE(replay.Timed());
    const struct {
        Bytes bytes;
        std::int64_t atNs;
        LineChange change;
    } expected[] = {{{0x11}, 0, LineChange::kNone},
                    {{0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}, 500000000, LineChange::kNone},
                    {{}, 1250000000, LineChange::kLost},
                    {{}, 3000000000, LineChange::kBack},
                    {{0xB2}, 3010500000, LineChange::kNone}};
    Outgoing outgoing;
    for (std::uint64_t k = 0; k < std::size(expected); ++k) {
        ASSERT_TRUE(replay.Next(k, outgoing)) << k;
        EXPECT_EQ(outgoing.bytes, expected[k].bytes) << k;
        EXPECT_EQ(outgoing.atNs, expected[k].atNs) << k;
        EXPECT_EQ(outgoing.change, expected[k].change) << k;
    }
    EXPECT_TRUE(outgoing.readings.empty());
    EXPECT_FALSE(replay.Next(std::size(expected), outgoing));
}

}  // namespace
}  // namespace lc1sim
