#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "driver/serial_link.h"

namespace lamdex {
namespace {

// The header keeps 0 for "closed", but 0 is a valid descriptor, so the handle is fd + 1.
int AsDescriptor(std::intptr_t handle) {
    return static_cast<int>(handle - 1);
}
std::intptr_t AsHandle(int descriptor) {
    return static_cast<std::intptr_t>(descriptor) + 1;
}

// Raw 19200 8N1: no translation of any byte, no flow control (0x11 and 0x13 are data),
// reads that return at once. False when the descriptor is not a terminal at all.
bool ApplyLineSettings(int descriptor) {
    termios settings{};
    if (tcgetattr(descriptor, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB | CSIZE);
    settings.c_cflag |= CS8;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    tcsetattr(descriptor, TCSANOW, &settings);
    // DTR and RTS held off; lines without modem signals (pseudo-terminals) refuse, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(descriptor, TIOCMBIC, &lines);
    return true;
}

}  // namespace

// COM<n> is $HOME/.lamdex/com<n> when that entry exists (typically a link to a USB
// adapter or a pseudo-terminal), else the n-th on-board port /dev/ttyS<n-1>.
bool SerialLink::DevicePath(int portNumber, char* path, std::size_t size) {
    if (!IsPortNumber(portNumber)) return false;
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        const int length = std::snprintf(path, size, "%s/.lamdex/com%d", home, portNumber);
        struct stat entry {};
        if (length > 0 && static_cast<std::size_t>(length) < size && lstat(path, &entry) == 0) return true;
    }
    const int length = std::snprintf(path, size, "/dev/ttyS%d", portNumber - 1);
    return length > 0 && static_cast<std::size_t>(length) < size;
}

void SerialLink::Open(int portNumber) {
    // A second descriptor would fail against our own exclusive lock and leak the first.
    Close();
    openError_ = ENOENT;
    if (!IsPortNumber(portNumber)) return;

    char path[PATH_MAX];
    if (!DevicePath(portNumber, path, sizeof path)) {
        openError_ = ENAMETOOLONG;
        return;
    }
    const int descriptor = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        openError_ = static_cast<std::uint32_t>(errno);
        return;
    }
    // Exclusive like a Windows COM port; an ordinary file is not a port and is not read.
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        // Refused because another program holds the port, which is what EBUSY says.
        openError_ = static_cast<std::uint32_t>(errno == EWOULDBLOCK ? EBUSY : errno);
        close(descriptor);
        return;
    }
    if (!ApplyLineSettings(descriptor)) {
        openError_ = static_cast<std::uint32_t>(errno);
        close(descriptor);
        return;
    }
    openError_ = 0;
    readError_ = 0;
    bytesReceived_ = 0;
    handle_ = AsHandle(descriptor);
}

bool SerialLink::ReadByte(std::uint8_t* byte) {
    if (handle_ == kClosed) return false;
    const ssize_t count = read(AsDescriptor(handle_), byte, 1);
    if (count == 1) {
        ++bytesReceived_;
        return true;
    }
    // With VMIN and VTIME 0 a terminal answers "nothing waiting" with 0, and so does one
    // that was hung up: that one shows only as silence, which the keeper meets by reopening.
    // An error is a line that went away, such as a pseudo-terminal whose other side closed.
    if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        readError_ = static_cast<std::uint32_t>(errno);
    }
    return false;
}

void SerialLink::Close() {
    if (handle_ == kClosed) return;
    close(AsDescriptor(handle_));
    handle_ = kClosed;
}

}  // namespace lamdex
