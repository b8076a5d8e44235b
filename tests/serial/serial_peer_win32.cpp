#include <windows.h>

#include <cstdio>

#include "tests/serial/serial_peer.h"

namespace lamdex::test {
namespace {

// The null-modem pairs the test registrations ask tests/support/harness.py for (4 and 5
// with 14 and 15 for the port dialog's tests).
int PeerOf(int port) {
    switch (port) {
        case 11:
            return 12;
        case 2:
            return 3;
        case 4:
            return 14;
        case 5:
            return 15;
        default:
            return 0;
    }
}

}  // namespace

void PrepareTestPorts() {}

bool PortsAreExclusive() {
    // Windows itself refuses a second open of a COM port; Wine lets it through.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

SerialPeer::~SerialPeer() {
    if (peer_ != -1) CloseHandle(reinterpret_cast<HANDLE>(peer_));
}

bool SerialPeer::Attach(int port) {
    const int peerPort = PeerOf(port);
    if (peerPort == 0) return false;
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", peerPort);
    HANDLE peer = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (peer == INVALID_HANDLE_VALUE) return false;
    peer_ = reinterpret_cast<std::intptr_t>(peer);
    port_ = port;

    // The peer is a device too: raw 19200 8N1, no flow control, so it sends every byte as is.
    DCB line{};
    line.DCBlength = sizeof line;
    line.BaudRate = 19200;
    line.fBinary = 1;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    SetCommState(peer, &line);
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = 2000;
    SetCommTimeouts(peer, &timeouts);
    // Whatever an earlier test left on either side of the line is not this test's data.
    PurgeComm(peer, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return true;
}

bool SerialPeer::Send(const std::vector<std::uint8_t>& bytes) {
    DWORD written = 0;
    return WriteFile(reinterpret_cast<HANDLE>(peer_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

}  // namespace lamdex::test
