// The simulator's end of the serial line: a pseudo-terminal it creates, or a device or file.
// One implementation per platform; only POSIX exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lc1sim {

std::int64_t MonotonicNs();

// SIGINT, SIGTERM and SIGHUP ask the simulator to stop; waits and writes return early.
void InstallStopHandlers();
bool StopRequested();

class SimLine {
public:
    SimLine() = default;
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Creates a pseudo-terminal with its slave in raw mode and keeps the slave open for the
    // line's whole life, so readers opening and closing it never cause a hang-up.
    bool OpenPseudoTerminal(std::string& slavePath, std::string& error);
    // An existing serial device (set to 19200 8N1 raw) or a file.
    bool OpenDevice(const std::string& path, std::string& error);
    // A symlink to the pseudo-terminal's slave; removed again when the line closes.
    bool PlaceLink(const std::string& linkPath, std::string& error);
    // Removes the link and closes the line, as a pulled adapter takes its port away: a reader's
    // line is hung up. Opening a pseudo-terminal again makes a new one.
    void HangUp();
    bool IsOpen() const { return out_ >= 0; }

    // Sleeps until the monotonic time deadlineNs, discarding whatever a reader writes to us.
    // false when a stop was requested.
    bool WaitUntil(std::int64_t deadlineNs);
    // Waits while the receiving side is full. false on a stop request or a failure (error set).
    bool WriteAll(const std::vector<std::uint8_t>& bytes, std::string& error);
    // Gives a reader up to maxNs to take the bytes still queued for it before the line closes.
    void Linger(std::int64_t maxNs);

private:
    void DrainInput();
    bool PollOnce(short outEvents, int timeoutMs);

    int out_ = -1;
    int slave_ = -1;
    bool hasInput_ = false;
    std::string slavePath_;
    std::string linkPath_;
};

}  // namespace lc1sim
