#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tools/lc1sim/sim_line.h"

namespace lc1sim {

namespace {

volatile std::sig_atomic_t stopFlag = 0;
int stopPipe[2] = {-1, -1};  // the handler writes here so a poll in progress wakes up

void OnStopSignal(int) {
    const int saved = errno;
    stopFlag = 1;
    const char byte = 0;
    if (write(stopPipe[1], &byte, 1) < 0) {
        // Pipe full: a wake-up is already pending.
    }
    errno = saved;
}

bool Fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void SetFlags(int fd) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

bool MakeRaw(int fd, std::string& error) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return Fail(error, SystemError("tcgetattr"));
    cfmakeraw(&settings);  // no echo, no IXON/IXOFF, 8 bits
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB);
    settings.c_cflag |= CLOCAL | CREAD;
#ifdef CRTSCTS
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return Fail(error, SystemError("tcsetattr"));
    return true;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool SymlinkPointsTo(const std::string& link, const std::string& target) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    return length >= 0 && target.compare(0, std::string::npos, buffer, static_cast<std::size_t>(length)) == 0;
}

}  // namespace

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void InstallStopHandlers() {
    if (pipe(stopPipe) == 0) {
        SetFlags(stopPipe[0]);
        SetFlags(stopPipe[1]);
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: blocking calls return so the flag is seen
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a reader going away shows up as EPIPE instead
}

bool StopRequested() {
    return stopFlag != 0;
}

SimLine::~SimLine() {
    HangUp();
}

// The link goes first, so a reader trying the port again finds it missing, not closing.
void SimLine::HangUp() {
    if (!linkPath_.empty() && SymlinkPointsTo(linkPath_, slavePath_)) unlink(linkPath_.c_str());
    linkPath_.clear();
    if (slave_ >= 0) close(slave_);
    if (out_ >= 0) close(out_);
    slave_ = -1;
    out_ = -1;
    hasInput_ = false;
}

bool SimLine::OpenPseudoTerminal(std::string& slavePath, std::string& error) {
    out_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (out_ < 0) return Fail(error, SystemError("posix_openpt"));
    if (grantpt(out_) != 0 || unlockpt(out_) != 0) return Fail(error, SystemError("grantpt/unlockpt"));
    const char* name = ptsname(out_);
    if (name == nullptr) return Fail(error, SystemError("ptsname"));
    slavePath_ = name;
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) return Fail(error, SystemError("open " + slavePath_));
    if (!MakeRaw(slave_, error)) return false;
    SetFlags(out_);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    hasInput_ = true;
    slavePath = slavePath_;
    return true;
}

bool SimLine::OpenDevice(const std::string& path, std::string& error) {
    struct stat info {};
    const bool exists = stat(path.c_str(), &info) == 0;
    const bool character = exists && S_ISCHR(info.st_mode);
    const int flags = character ? O_RDWR | O_NOCTTY : O_WRONLY | O_CREAT | O_NOCTTY;
    out_ = open(path.c_str(), flags, 0644);
    if (out_ < 0) return Fail(error, SystemError("open " + path));
    if (exists && S_ISREG(info.st_mode) && ftruncate(out_, 0) != 0) return Fail(error, SystemError("truncate " + path));
    if (isatty(out_)) {
        if (!MakeRaw(out_, error)) return false;
        tcflush(out_, TCIOFLUSH);
        hasInput_ = true;
    }
    SetFlags(out_);
    return true;
}

bool SimLine::PlaceLink(const std::string& linkPath, std::string& error) {
    struct stat info {};
    if (lstat(linkPath.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) return Fail(error, linkPath + " exists and is not a symlink; not replacing it");
        unlink(linkPath.c_str());
    } else {
        mkdir(ParentOf(linkPath).c_str(), 0755);  // one level, e.g. ~/.lamdex; failure shows below
    }
    if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) return Fail(error, SystemError("symlink " + linkPath));
    linkPath_ = linkPath;
    return true;
}

void SimLine::DrainInput() {
    std::uint8_t sink[256];
    while (read(out_, sink, sizeof sink) > 0) {
    }
}

bool SimLine::PollOnce(short outEvents, int timeoutMs) {
    pollfd fds[2] = {{stopPipe[0], POLLIN, 0}, {out_, static_cast<short>(outEvents | (hasInput_ ? POLLIN : 0)), 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready > 0 && (fds[1].revents & POLLIN) != 0) DrainInput();
    // A device that hung up stays readable for ever; stop watching its input instead of spinning.
    if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) hasInput_ = false;
    return !StopRequested();
}

bool SimLine::WaitUntil(std::int64_t deadlineNs) {
    for (;;) {
        const std::int64_t left = deadlineNs - MonotonicNs();
        if (StopRequested()) return false;
        if (left <= 0) return true;
        if (left < 1000000) {
            // Under a millisecond: finish with an absolute sleep, which poll cannot resolve.
            const timespec until{static_cast<time_t>(deadlineNs / 1000000000),
                                 static_cast<long>(deadlineNs % 1000000000)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
            continue;
        }
        PollOnce(0, static_cast<int>(left / 1000000));
    }
}

bool SimLine::WriteAll(const std::vector<std::uint8_t>& bytes, std::string& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (StopRequested()) return false;
        const ssize_t written = write(out_, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            PollOnce(POLLOUT, -1);  // the reader's queue is full: wait for room
        } else {
            error = SystemError("write");
            return false;
        }
    }
    return true;
}

void SimLine::Linger(std::int64_t maxNs) {
    if (slave_ < 0) {
        if (isatty(out_)) tcdrain(out_);
        return;
    }
    // The kernel hands written bytes to the slave's queue a little later, so the queue must be
    // seen empty twice in a row.
    const std::int64_t deadline = MonotonicNs() + maxNs;
    int emptyChecks = 0;
    while (emptyChecks < 2 && MonotonicNs() < deadline && !StopRequested()) {
        int queued = 0;
        if (ioctl(slave_, FIONREAD, &queued) != 0) return;
        emptyChecks = queued == 0 ? emptyChecks + 1 : 0;
        PollOnce(0, 10);
    }
}

}  // namespace lc1sim
