// The real lc1sim on a real pseudo-terminal, read the way a host reads a serial port.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tools/lc1sim/lc1_packet.h"
#include "tools/lc1sim/scenarios.h"

extern char** environ;

namespace lc1sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Simulator {
public:
    explicit Simulator(std::vector<std::string> args) {
        args.insert(args.begin(), LC1SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = fdopen(out[0], "r");
    }
    ~Simulator() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ != nullptr) std::fclose(stdout_);
    }

    std::string Line() {
        char line[512] = {};
        if (stdout_ == nullptr || std::fgets(line, sizeof line, stdout_) == nullptr) return "";
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

    // The exit status, or -1 if it has not exited within the time.
    int WaitForExit(int milliseconds) {
        for (int waited = 0; waited < milliseconds; waited += 10) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }

    void Signal(int number) { kill(pid_, number); }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::FILE* stdout_ = nullptr;
};

int OpenRaw(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    if (fd >= 0 && tcgetattr(fd, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

Bytes ReadAtLeast(int fd, std::size_t wanted, int timeoutMs) {
    Bytes bytes;
    std::uint8_t chunk[512];
    while (bytes.size() < wanted) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) break;
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

std::string TempDir() {
    char name[] = "/tmp/lc1sim-test-XXXXXX";
    return mkdtemp(name) != nullptr ? name : "/tmp";
}

TEST(Lc1simOnPty, SendsTheSequenceIntactAndStopsByItself) {
    const std::string dir = TempDir();
    const std::string link = dir + "/com5";
    const std::string log = dir + "/sent.log";
    const auto& readings = SequenceReadings();
    const std::size_t count = 2 * readings.size();
    Simulator simulator(
        {"--scenario", "sequence", "--rate", "line", "--count", std::to_string(count), "--link", link, "--log", log});
    const std::string first = simulator.Line();
    ASSERT_EQ(first.rfind("pty /dev/", 0), 0u) << first;
    ASSERT_EQ(simulator.Line(), "link " + link);

    const int fd = OpenRaw(link);
    ASSERT_GE(fd, 0);
    Bytes expected;
    for (std::size_t k = 0; k < count; ++k) {
        const Bytes packet = EncodePacket(readings[k % readings.size()]);
        expected.insert(expected.end(), packet.begin(), packet.end());
    }
    const Bytes received = ReadAtLeast(fd, expected.size(), 3000);
    EXPECT_EQ(received, expected);  // 0x11 and 0x13 among them
    EXPECT_EQ(simulator.WaitForExit(5000), 0);
    close(fd);

    struct stat info {};
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "link removed on exit";
    std::ifstream sent(log);
    std::string line;
    std::getline(sent, line);
    EXPECT_EQ(line[0], '#');
    std::getline(sent, line);
    EXPECT_EQ(line, "0 0 147 500 963379");
    std::size_t lines = 1;
    while (std::getline(sent, line)) ++lines;
    EXPECT_EQ(lines, count);
    std::remove(log.c_str());
    rmdir(dir.c_str());
}

TEST(Lc1simOnPty, ReaderComingAndGoingAndSigtermEndCleanly) {
    Simulator simulator({"--scenario", "sweep", "--rate", "line"});
    const std::string first = simulator.Line();
    ASSERT_EQ(first.rfind("pty ", 0), 0u) << first;
    const std::string path = first.substr(4);
    for (int round = 0; round < 2; ++round) {  // closing the slave must not hang the line up
        const int fd = OpenRaw(path);
        ASSERT_GE(fd, 0);
        const Bytes received = ReadAtLeast(fd, 60, 3000);
        EXPECT_GE(received.size(), 60u);
        close(fd);
    }
    simulator.Signal(SIGTERM);
    EXPECT_EQ(simulator.WaitForExit(3000), 0);
}

TEST(Lc1simOnPty, BadOptionExitsWithTwo) {
    Simulator simulator({"--rate", "warp"});
    EXPECT_EQ(simulator.Line(), "");
    EXPECT_EQ(simulator.WaitForExit(3000), 2);
}

}  // namespace
}  // namespace lc1sim
