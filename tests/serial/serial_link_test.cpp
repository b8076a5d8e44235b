#include "driver/serial_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "tests/serial/serial_peer.h"

namespace lamdex {
namespace {

using test::kOtherTestPort;
using test::kTestPort;
using test::SerialPeer;

// Collects what the link yields until `count` bytes came or a generous deadline passed.
std::vector<std::uint8_t> Receive(SerialLink& link, std::size_t count) {
    std::vector<std::uint8_t> received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::uint8_t byte = 0;
        if (link.ReadByte(&byte)) {
            received.push_back(byte);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return received;
}

bool Delivers(SerialLink& link, SerialPeer& peer, const std::vector<std::uint8_t>& bytes) {
    return peer.Send(bytes) && Receive(link, bytes.size()) == bytes;
}

class SerialLinkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::PrepareTestPorts(); }

    void SetUp() override {
        ASSERT_TRUE(peer_.Attach(kTestPort));
        ASSERT_TRUE(otherPeer_.Attach(kOtherTestPort));
    }

    SerialPeer peer_;
    SerialPeer otherPeer_;
};

TEST_F(SerialLinkTest, EveryByteValuePassesUnchanged) {
    SerialLink link;
    link.Open(kTestPort);
    ASSERT_TRUE(link.IsOpen());

    // Flow-control bytes first (0x13 is the multiplier byte of a 14.7 reading), then the
    // bytes a cooked line would translate or act on, then every other value.
    std::vector<std::uint8_t> bytes = {0x13, 0x11, 0x13, 0x0D, 0x0A, 0x03, 0x1A, 0x04, 0x7F, 0x00, 0xFF};
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<std::uint8_t>(value));
    EXPECT_TRUE(Delivers(link, peer_, bytes));
}

TEST_F(SerialLinkTest, ReadingWithNothingWaitingReturnsAtOnce) {
    SerialLink link;
    link.Open(kTestPort);
    ASSERT_TRUE(link.IsOpen());

    const auto start = std::chrono::steady_clock::now();
    std::uint8_t byte = 0;
    for (int i = 0; i < 200; ++i) EXPECT_FALSE(link.ReadByte(&byte));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

    EXPECT_TRUE(Delivers(link, peer_, {0xB2, 0x82, 0x43, 0x13, 0x03, 0x74}));
}

TEST_F(SerialLinkTest, PortIsHeldExclusively) {
    SerialLink first;
    first.Open(kTestPort);
    ASSERT_TRUE(first.IsOpen());

    EXPECT_TRUE(Delivers(first, peer_, {0x42}));
    if (!test::PortsAreExclusive()) GTEST_SKIP() << "this platform lets a port be opened twice";
    SerialLink second;
    second.Open(kTestPort);
    EXPECT_FALSE(second.IsOpen());
    std::uint8_t byte = 0;
    EXPECT_FALSE(second.ReadByte(&byte));
}

TEST_F(SerialLinkTest, OpenOnAnOpenLinkReleasesTheOldPort) {
    SerialLink link;
    link.Open(kTestPort);
    link.Open(kTestPort);
    ASSERT_TRUE(link.IsOpen());
    EXPECT_TRUE(Delivers(link, peer_, {0x11, 0x13}));

    link.Open(kOtherTestPort);
    ASSERT_TRUE(link.IsOpen());
    EXPECT_TRUE(Delivers(link, otherPeer_, {0x13, 0x11}));
    SerialLink other;
    other.Open(kTestPort);
    EXPECT_TRUE(other.IsOpen());
}

TEST_F(SerialLinkTest, CloseReleasesThePortAndIsHarmlessTwice) {
    SerialLink link;
    link.Open(kTestPort);
    ASSERT_TRUE(link.IsOpen());
    link.Close();
    link.Close();
    EXPECT_FALSE(link.IsOpen());
    std::uint8_t byte = 0;
    EXPECT_FALSE(link.ReadByte(&byte));

    SerialLink next;
    next.Open(kTestPort);
    EXPECT_TRUE(next.IsOpen());
}

}  // namespace
}  // namespace lamdex
