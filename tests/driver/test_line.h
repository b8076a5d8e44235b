// A real serial line for tests: bytes sent here arrive on COM<port> for the component.
// Natively a pseudo-terminal behind $HOME/.lamdex/com<port>; under Wine a COM port of the
// test prefix wired to a peer port that the test writes on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lamdex::test {

class TestLine {
public:
    TestLine() = default;
    ~TestLine();
    TestLine(const TestLine&) = delete;
    TestLine& operator=(const TestLine&) = delete;

    // Wires COM<port> to this line; false when that cannot be done here.
    bool Connect(int port);
    void Send(const std::vector<std::uint8_t>& bytes);

private:
    std::intptr_t peer_ = -1;
    std::intptr_t holder_ = -1;  // keeps the line's far end open, as a device would
    std::string linkPath_;
};

// Gives the component a private profile folder (with the configuration file's folder
// made), so tests never see or touch a real user's settings. Answers the full path
// the configuration file has there.
std::string UsePrivateProfile();

}  // namespace lamdex::test
