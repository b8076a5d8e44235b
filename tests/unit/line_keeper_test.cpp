// The line keeper against ports that misbehave in ways a pseudo-terminal never shows: the
// serial link's platform half is stood in for here (this program links no platform link) and
// the clock is the test's. A host Read every 10 ms drives the keeper as LC1Driver::Read does.
#include "driver/line_keeper.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace lamdex::test {
namespace {

struct Port {
    bool opens = true;         // an open attempt succeeds
    bool readsFail = false;    // every read of an open line fails
    bool sends = true;         // a byte waits at every Read
    std::uint64_t openMs = 0;  // an open attempt takes this long
    int openings = 0;
    std::uint64_t msInOpens = 0;
    int presenceChecks = 0;
} port;
std::uint64_t now = 0;

std::uint64_t TestClock() {
    return now;
}

}  // namespace
}  // namespace lamdex::test

namespace lamdex {
using test::port;

void SerialLink::Open(int portNumber) {
    Close();
    ++port.openings;
    test::now += port.openMs;
    port.msInOpens += port.openMs;
    openError_ = port.opens ? 0 : 2;
    if (!port.opens) return;
    readError_ = 0;
    bytesReceived_ = 0;
    portNumber_ = portNumber;
    handle_ = 1;
}

bool SerialLink::ReadByte(std::uint8_t* byte) {
    if (handle_ != kClosed && port.readsFail) readError_ = 22;
    if (handle_ == kClosed || !port.sends || port.readsFail) return false;
    *byte = 0xB2;
    ++bytesReceived_;
    return true;
}

bool SerialLink::IsStillThere(std::uint32_t& error) {
    ++port.presenceChecks;
    error = 2;
    return port.opens && handle_ != kClosed;
}

void SerialLink::Close() {
    handle_ = kClosed;
}

namespace test {
namespace {

using Change = LineKeeper::Change;

class LineKeeperTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = Port{};
        now = 10000000000;  // hours after the clock began
    }
    // Host Reads for `ms`; true as soon as one brings `until`.
    bool Poll(std::uint64_t ms, Change until = Change::kNone) {
        for (const std::uint64_t end = now + ms; now < end; now += 10) {
            const Change reopened = Note(keeper.Reopen());
            std::uint8_t byte = 0;
            link.ReadByte(&byte);
            const Change checked = Note(keeper.Check());
            if (until != Change::kNone && (reopened == until || checked == until)) return true;
        }
        return false;
    }
    Change Note(Change change) {
        if (change != Change::kNone) changes.push_back(change);
        return change;
    }

    SerialLink link;
    LineKeeper keeper{link, &TestClock};
    std::vector<Change> changes;
};

TEST_F(LineKeeperTest, PortThatOpensButCannotBeReadCostsFewOpensAndOneOutage) {
    port.readsFail = true;
    Note(keeper.Open(5));
    Poll(60000);
    std::printf("a port that opens but cannot be read, for a minute: %d opens, %zu changes reported\n", port.openings,
                changes.size());
    EXPECT_LE(port.openings, 30);
    EXPECT_EQ(changes, std::vector<Change>{Change::kLost}) << "one text for the whole minute";

    port.readsFail = false;  // it mends: back once, with how often it failed
    EXPECT_TRUE(Poll(LineKeeper::kLongestRetryIntervalMs + 2000, Change::kBack));
    EXPECT_EQ(keeper.FailedOpenings(), static_cast<std::uint32_t>(port.openings - 1));
}

TEST_F(LineKeeperTest, SlowOpensWithTheDeviceAwayTakeAtMostATenthOfTheTime) {
    port.opens = false;
    port.openMs = 300;
    const std::uint64_t start = now;
    Note(keeper.Open(5));
    Poll(60000);
    const double share = static_cast<double>(port.msInOpens) / static_cast<double>(now - start);
    std::printf("300 ms opens, device away for a minute: %d opens, %.1f %% of the time in them\n", port.openings,
                share * 100);
    EXPECT_LE(share, 0.10);
    EXPECT_EQ(changes, std::vector<Change>{Change::kOpenFailed});
}

TEST_F(LineKeeperTest, SilentPresentLineIsNeverLostAndCheckedAtMostOnceASecond) {
    port.sends = false;
    Note(keeper.Open(5));
    Poll(60000);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(port.openings, 1);
    EXPECT_LE(port.presenceChecks, 60);
}

TEST_F(LineKeeperTest, OutagesEndWithinASecondOfTheDeviceWithOneLostAndOneBack) {
    Note(keeper.Open(5));
    Poll(5000);
    port.readsFail = true;  // a quick replug: tried at once
    Poll(10);
    port.readsFail = false;
    EXPECT_TRUE(Poll(20, Change::kBack));

    Poll(5000);
    port.readsFail = true;
    port.opens = false;
    EXPECT_TRUE(Poll(20, Change::kLost));
    EXPECT_LT(keeper.OutageMs(), 1000u);
    Poll(3000);
    port.readsFail = false;
    port.opens = true;
    EXPECT_TRUE(Poll(1000, Change::kBack));
    EXPECT_EQ(changes,
              (std::vector<Change>{Change::kLost, Change::kBack, Change::kLost, Change::kOpenFailed, Change::kBack}));
}

TEST_F(LineKeeperTest, RetriesGoOnWhenTheClockStepsBack) {
    port.opens = false;
    Note(keeper.Open(5));
    Poll(2000);
    now -= 3600000;
    port.opens = true;
    EXPECT_TRUE(Poll(1000, Change::kBack));
    EXPECT_LT(keeper.OutageMs(), 3600000u);
}

}  // namespace
}  // namespace test
}  // namespace lamdex
