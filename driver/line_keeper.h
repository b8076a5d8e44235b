// Keeps a serial line open for as long as its owner wants it, through a pulled USB adapter,
// a dropped cable or a port that appears only after the owner opened it. There is no
// thread and no timer: the owner calls Reopen before it takes bytes and Check after, and
// each call does at most one open attempt or one presence check. The clock is read only
// while a line is kept and quiet or closed.
#pragma once

#include <cstdint>

#include "driver/clock.h"
#include "driver/serial_link.h"

namespace lamdex {

class LineKeeper {
public:
    // A line silent this long is asked whether its port is still there, and no more often.
    static constexpr std::uint64_t kSilenceBeforeCheckMs = 1000;
    // A closed line is tried again at most this often.
    static constexpr std::uint64_t kRetryIntervalMs = 500;

    enum class Change {
        kNone,
        kOpenFailed,  // the first failed open of an outage; later ones stay quiet
        kLost,        // the line was open and has gone: now closed
        kBack,        // the line is open again after an outage
    };

    using Clock = std::uint64_t (*)();  // milliseconds, never going back

    explicit LineKeeper(SerialLink& link, Clock clock = &MonotonicMilliseconds) : link_(link), clock_(clock) {}

    // Opens the port and keeps it from now on.
    Change Open(int portNumber);
    // Closes the port for good: nothing is reopened until the next Open.
    void Close();

    // Before taking bytes: tries a kept line that is closed again, when a try is due.
    Change Reopen() { return kept_ && !link_.IsOpen() ? ReopenWhenDue() : Change::kNone; }
    // After taking bytes: closes a line whose read failed, or which has been silent and
    // whose port has gone. A line that delivers costs a counter comparison.
    Change Check() {
        if (!kept_ || !link_.IsOpen()) return Change::kNone;
        if (link_.ReadFailed()) return Lose(link_.ReadError());
        if (link_.BytesReceived() == bytesSeen_) return CheckQuietLine();
        bytesSeen_ = link_.BytesReceived();
        heard_ = true;
        return Change::kNone;
    }

    // The platform's error code of the last loss or failed open.
    std::uint32_t Error() const { return error_; }
    // How long the last outage lasted, or has lasted so far.
    std::uint64_t OutageMs() const { return lastTry_ - outageStart_; }

private:
    Change ReopenWhenDue();
    Change CheckQuietLine();
    Change Lose(std::uint32_t error);
    bool TryOpen();

    SerialLink& link_;
    Clock clock_;
    int portNumber_ = 0;
    bool kept_ = false;
    bool failureReported_ = false;
    std::uint32_t error_ = 0;
    std::uint32_t bytesSeen_ = 0;
    bool heard_ = false;  // bytes came since quietSince_ was last set
    std::uint64_t quietSince_ = 0;
    std::uint64_t lastTry_ = 0;
    std::uint64_t outageStart_ = 0;
};

}  // namespace lamdex
