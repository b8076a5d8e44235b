#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/serial/serial_peer.h"

namespace lamdex::test {
namespace {

std::string PortLink(int port) {
    return std::string(getenv("HOME")) + "/.lamdex/com" + std::to_string(port);
}

// A private $HOME, so tests never see or touch a real user's port links.
char home[] = "/tmp/lamdex-serial-XXXXXX";

void RemoveHome() {
    rmdir((std::string(home) + "/.lamdex").c_str());
    rmdir(home);
}

}  // namespace

void PrepareTestPorts() {
    static bool prepared = false;
    if (prepared || mkdtemp(home) == nullptr) return;
    prepared = true;
    setenv("HOME", home, 1);
    mkdir((std::string(home) + "/.lamdex").c_str(), 0700);
    atexit(RemoveHome);
}

bool PortsAreExclusive() {
    return true;
}

SerialPeer::~SerialPeer() {
    if (port_ != 0) unlink(PortLink(port_).c_str());
    if (peer_ >= 0) close(static_cast<int>(peer_));
}

bool SerialPeer::Attach(int port) {
    // The line is left as the kernel makes it (cooked, echo, XON/XOFF): the link has to
    // make it raw itself, or the tests see mangled bytes.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return false;
    peer_ = master;
    if (grantpt(master) != 0 || unlockpt(master) != 0) return false;
    const char* slave = ptsname(master);
    if (slave == nullptr) return false;
    unlink(PortLink(port).c_str());
    if (symlink(slave, PortLink(port).c_str()) != 0) return false;
    port_ = port;
    return true;
}

bool SerialPeer::Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(static_cast<int>(peer_), bytes.data() + done, bytes.size() - done);
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace lamdex::test
