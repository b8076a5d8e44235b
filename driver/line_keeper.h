// Keeps a serial line open for as long as its owner wants it, through a pulled USB adapter,
// a dropped cable or a port that appears only after the owner opened it. There is no
// thread and no timer: the owner calls Reopen before it takes bytes and Check after, and
// each call makes at most one open attempt. A line that delivers costs a counter
// comparison; the clock is read only while a line is quiet, closed or on trial.
//
// A kept line is in one of four states:
//   delivering  open, and bytes came at the last Check;
//   quiet       open, and nothing since a moment the keeper noted. After a silent second it
//               is closed and opened again, quietly: some drivers keep a removed adapter's
//               handle answering and reading nothing, and only a new open tells whether
//               the device is there. A failed reopen is the loss;
//   retrying    closed, tried again when a pause has passed;
//   on trial    opened again during an outage: back only once it has held.
// One rule says whether a line held, whatever ended it (a failed read, a failed reopen of a
// silent line): it delivered, and was open for kHoldMs. Lines that fail sooner are tried at
// a doubling interval and count within one outage, which is told once. Every open is timed
// with the close before it, and the next attempt waits at least ten times as long, so the
// owner's calls spend at most about a tenth of their time in them.
#pragma once

#include <cstdint>

#include "driver/clock.h"
#include "driver/serial_link.h"

namespace lamdex {

class LineKeeper {
public:
    // A line silent this long is closed and opened again, and no more often.
    static constexpr std::uint64_t kSilenceBeforeReopenMs = 1000;
    // A closed line is tried again this often at first...
    static constexpr std::uint64_t kRetryIntervalMs = 500;
    // ...doubling up to this while the lines it opens fail within kHoldMs.
    static constexpr std::uint64_t kLongestRetryIntervalMs = 4000;
    // A line open this long has held; one lost sooner was not worth opening.
    static constexpr std::uint64_t kHoldMs = 1000;
    // After an attempt that took d, the next waits at least this many times d...
    static constexpr std::uint64_t kOpenCostFactor = 10;
    // ...though never longer than this: a clock that leapt during an attempt (a machine put
    // to sleep) must not stop the retries for good.
    static constexpr std::uint64_t kLongestPauseMs = 300000;
    // Opens this long make the pause several times the usual, and the outage's texts say so.
    static constexpr std::uint64_t kSlowOpenMs = 200;

    enum class Change {
        kNone,
        kOpenFailed,  // the first failed open of an outage; later ones stay quiet
        kLost,        // the line was open and has gone: now closed
        kBack,        // a line opened after an outage has held
        kReopened,    // a silent line was closed and opened again: nothing to tell, but
                      // bytes from before belong to no packet that can still complete
    };

    // Whether bytes taken before the change belong to no packet that can still complete.
    static bool CutsTheLine(Change change) { return change == Change::kLost || change == Change::kReopened; }

    using Clock = std::uint64_t (*)();  // milliseconds, meant never to go back

    explicit LineKeeper(SerialLink& link, Clock clock = &MonotonicMilliseconds) : link_(link), clock_(clock) {}

    // Opens the port and keeps it from now on.
    Change Open(int portNumber);
    // Closes the port for good: nothing is reopened until the next Open.
    void Close();

    // Before taking bytes: tries a closed line again, when a try is due.
    Change Reopen() { return state_ == State::kRetrying ? RetryWhenDue() : Change::kNone; }
    // After taking bytes: closes a line whose read failed, and reopens one that has been
    // silent.
    Change Check() {
        if (state_ == State::kClosed || state_ == State::kRetrying) return Change::kNone;
        if (link_.ReadFailed()) return Lose(link_.ReadError(), clock_());
        const bool heard = link_.BytesReceived() != bytesSeen_;
        bytesSeen_ = link_.BytesReceived();
        if (heard && state_ == State::kDelivering) return Change::kNone;
        return CheckOpenLine(heard);
    }

    // The platform's error code of the last loss or failed open.
    std::uint32_t Error() const { return error_; }
    // How long the last outage lasted, or has lasted so far.
    std::uint64_t OutageMs() const { return outage_.end >= outage_.start ? outage_.end - outage_.start : 0; }
    // Lines of the last outage that were lost before they held; the first, lost at kLost,
    // included.
    std::uint32_t FailedOpenings() const { return outage_.failedOpenings; }
    // The last open attempt, the longest of the last outage, and the pause after the last
    // attempt or loss before the next attempt.
    std::uint64_t LastOpenMs() const { return attempt_.lastMs; }
    std::uint64_t LongestOpenMs() const { return outage_.longestOpenMs; }
    std::uint64_t PauseMs() const { return attempt_.pauseMs; }

private:
    enum class State { kClosed, kDelivering, kQuiet, kOnTrial, kRetrying };

    // The outage in progress, or the last one: what its texts tell.
    struct Outage {
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        std::uint32_t failedOpenings = 0;
        std::uint64_t longestOpenMs = 0;
        bool openFailureTold = false;
    };
    // Open attempts: when the last ended, what it cost, and when the next may come.
    struct Attempts {
        std::uint64_t lastEnd = 0;
        std::uint64_t lastMs = 0;
        std::uint64_t pauseMs = 0;                 // from lastEnd to the next attempt
        std::uint64_t retryMs = kRetryIntervalMs;  // the usual pause of a closed line
    };

    Change RetryWhenDue();
    Change CheckOpenLine(bool heard);
    Change ReopenWhenSilent(std::uint64_t now);
    Change ReopenSilentLine(std::uint64_t now);
    Change Lose(std::uint32_t error, std::uint64_t now);
    Change EndLine(std::uint64_t now);
    bool Held(std::uint64_t now) const;
    // Closes and opens the port; a reopen that continues the line keeps its hold.
    bool TryOpen(std::uint64_t now, bool continuesLine);
    std::uint64_t PauseAfterAttempt(std::uint64_t usual) const;

    SerialLink& link_;
    Clock clock_;
    int portNumber_ = 0;
    State state_ = State::kClosed;
    std::uint32_t bytesSeen_ = 0;
    std::uint64_t openedAt_ = 0;
    bool heardSinceOpen_ = false;
    std::uint64_t quietSince_ = 0;  // or when bytes last came, while on trial
    std::uint32_t error_ = 0;
    Outage outage_;
    Attempts attempt_;
};

}  // namespace lamdex
