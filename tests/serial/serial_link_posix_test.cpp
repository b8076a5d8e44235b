#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/serial_link.h"
#include "tests/serial/serial_peer.h"

namespace lamdex {
namespace {

std::string PortEntry(int port) {
    return std::string(getenv("HOME")) + "/.lamdex/com" + std::to_string(port);
}

class SerialLinkPosixTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::PrepareTestPorts(); }
};

TEST_F(SerialLinkPosixTest, MissingPortStaysClosedAndYieldsNothing) {
    SerialLink link;
    link.Open(200);  // no $HOME/.lamdex/com200 and no /dev/ttyS199
    EXPECT_FALSE(link.IsOpen());
    std::uint8_t byte = 0;
    EXPECT_FALSE(link.ReadByte(&byte));
}

TEST_F(SerialLinkPosixTest, OrdinaryFileIsNotTakenForAPort) {
    const std::string entry = PortEntry(7);
    FILE* file = std::fopen(entry.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("\xB2\x82\x43\x13\x03\x74", file);
    std::fclose(file);

    SerialLink link;
    link.Open(7);
    EXPECT_FALSE(link.IsOpen());
    std::uint8_t byte = 0;
    EXPECT_FALSE(link.ReadByte(&byte));
    unlink(entry.c_str());
}

TEST_F(SerialLinkPosixTest, LineIsRaw19200EightNoneOneWithoutFlowControl) {
    test::SerialPeer peer;
    ASSERT_TRUE(peer.Attach(test::kTestPort));
    SerialLink link;
    link.Open(test::kTestPort);
    ASSERT_TRUE(link.IsOpen());

    const int line = open(PortEntry(test::kTestPort).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(line, 0);
    termios settings{};
    ASSERT_EQ(tcgetattr(line, &settings), 0);
    close(line);

    EXPECT_EQ(cfgetispeed(&settings), B19200);
    EXPECT_EQ(cfgetospeed(&settings), B19200);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_cc[VMIN], 0);
    EXPECT_EQ(settings.c_cc[VTIME], 0);
}

}  // namespace
}  // namespace lamdex
