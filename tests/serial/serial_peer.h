// The far end of a real serial line for tests: bytes sent here arrive on COM<port>.
// Natively a fresh pseudo-terminal behind $HOME/.lamdex/com<port>; under Wine the peer
// COM port that tests/support/harness.py pairs with COM<port> in the test prefix.
#pragma once

#include <cstdint>
#include <vector>

namespace lamdex::test {

// Ports the tests wire. Under Wine each is paired with a peer port (11 with 12, 2 with 3);
// 11 is at or above 10, where Windows needs the device namespace.
constexpr int kTestPort = 11;
constexpr int kOtherTestPort = 2;

// Makes the test ports usable (natively: a private $HOME). Call once before any Attach.
void PrepareTestPorts();

// Whether the platform refuses a second open of a port (Wine does not, on serial devices).
bool PortsAreExclusive();

class SerialPeer {
public:
    SerialPeer() = default;
    ~SerialPeer();
    SerialPeer(const SerialPeer&) = delete;
    SerialPeer& operator=(const SerialPeer&) = delete;

    // Wires this peer to COM<port>; false when that cannot be done here.
    bool Attach(int port);
    bool Send(const std::vector<std::uint8_t>& bytes);

private:
    std::intptr_t peer_ = -1;
    int port_ = 0;
};

}  // namespace lamdex::test
