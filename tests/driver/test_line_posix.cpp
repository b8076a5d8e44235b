#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/driver/test_line.h"

namespace lamdex::test {

TestLine::~TestLine() {
    if (!linkPath_.empty()) unlink(linkPath_.c_str());
    if (holder_ >= 0) close(static_cast<int>(holder_));
    if (peer_ >= 0) close(static_cast<int>(peer_));
}

bool TestLine::Connect(int port) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
    peer_ = master;
    const char* slave = ptsname(master);
    if (slave == nullptr) return false;
    // Raw on the line itself, so no byte the device sends is translated or swallowed.
    termios settings{};
    const int slaveFd = open(slave, O_RDWR | O_NOCTTY);
    if (slaveFd < 0) return false;
    holder_ = slaveFd;
    if (tcgetattr(slaveFd, &settings) != 0) return false;
    cfmakeraw(&settings);
    tcsetattr(slaveFd, TCSANOW, &settings);

    const std::string folder = std::string(getenv("HOME")) + "/.lamdex";
    mkdir(folder.c_str(), 0700);
    linkPath_ = folder + "/com" + std::to_string(port);
    unlink(linkPath_.c_str());
    return symlink(slave, linkPath_.c_str()) == 0;
}

void TestLine::Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(static_cast<int>(peer_), bytes.data() + done, bytes.size() - done);
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

std::string UsePrivateProfile() {
    char folder[] = "/tmp/lamdex-profile-XXXXXX";
    if (mkdtemp(folder) == nullptr) return {};
    setenv("HOME", folder, 1);
    std::string path = folder;
    for (const char* part : {"/My Documents", "/Zelbar Files", "/Plugins"}) {
        path += part;
        mkdir(path.c_str(), 0700);
    }
    return path + "/Lamdex.cfg";
}

}  // namespace lamdex::test
