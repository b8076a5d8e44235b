// Keeps a serial line open for as long as its owner wants it, through a pulled USB adapter,
// a dropped cable or a port that appears only after the owner opened it. There is no
// thread and no timer: the owner calls Reopen before it takes bytes and Check after, and
// each call does at most one open attempt or one presence check. The clock is read only
// while a line is kept and quiet or closed, or just reopened after failing at once.
//
// Opening has to pay off. A port that opens but fails within a second (a driver stuck in an
// error state, a name that outlives its adapter, a wireless port out of range) is tried at a
// doubling interval and reported as one outage with a count, not once per attempt; an open
// attempt that took long is followed by a pause ten times as long, so the owner's calls
// spend at most about a tenth of their time opening.
#pragma once

#include <cstdint>

#include "driver/clock.h"
#include "driver/serial_link.h"

namespace lamdex {

class LineKeeper {
public:
    // A line silent this long is asked whether its port is still there, and no more often.
    static constexpr std::uint64_t kSilenceBeforeCheckMs = 1000;
    // A closed line is tried again this often at first...
    static constexpr std::uint64_t kRetryIntervalMs = 500;
    // ...doubling up to this while the lines it opens fail within kHoldMs.
    static constexpr std::uint64_t kLongestRetryIntervalMs = 4000;
    // A line open this long has held; one lost sooner was not worth opening.
    static constexpr std::uint64_t kHoldMs = 1000;
    // After an open attempt that took d, the next waits at least this many times d...
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
        kBack,        // the line is open again after an outage
    };

    using Clock = std::uint64_t (*)();  // milliseconds, meant never to go back

    explicit LineKeeper(SerialLink& link, Clock clock = &MonotonicMilliseconds) : link_(link), clock_(clock) {}

    // Opens the port and keeps it from now on.
    Change Open(int portNumber);
    // Closes the port for good: nothing is reopened until the next Open.
    void Close();

    // Before taking bytes: tries a kept line that is closed again, when a try is due.
    Change Reopen() { return kept_ && !link_.IsOpen() ? ReopenWhenDue() : Change::kNone; }
    // After taking bytes: closes a line whose read failed, or which has been silent and
    // whose port has gone. A line that delivers costs a counter comparison and a flag.
    Change Check() {
        if (!kept_ || !link_.IsOpen()) return Change::kNone;
        if (link_.ReadFailed()) return Lose(link_.ReadError(), clock_());
        if (link_.BytesReceived() == bytesSeen_) return CheckQuietLine();
        bytesSeen_ = link_.BytesReceived();
        heard_ = true;
        return onTrial_ ? EndTrialIfHeld(clock_()) : Change::kNone;
    }

    // The platform's error code of the last loss or failed open.
    std::uint32_t Error() const { return error_; }
    // How long the last outage lasted, or has lasted so far.
    std::uint64_t OutageMs() const { return outageEnd_ >= outageStart_ ? outageEnd_ - outageStart_ : 0; }
    // Lines of the last outage that were lost within kHoldMs of opening; the first, lost at
    // kLost, included.
    std::uint32_t FailedOpenings() const { return failedOpenings_; }
    // The last open attempt, the longest of the last outage, and the pause after the last
    // attempt or loss before the next attempt.
    std::uint64_t LastOpenMs() const { return lastOpenMs_; }
    std::uint64_t LongestOpenMs() const { return longestOpenMs_; }
    std::uint64_t PauseMs() const { return pauseMs_; }

private:
    Change ReopenWhenDue();
    Change CheckQuietLine();
    Change EndTrialIfHeld(std::uint64_t now);
    Change Lose(std::uint32_t error, std::uint64_t now);
    bool TryOpen(std::uint64_t now);
    std::uint64_t PauseAfterAttempt() const;

    SerialLink& link_;
    Clock clock_;
    int portNumber_ = 0;
    bool kept_ = false;
    bool failureReported_ = false;
    // The outage began with a line lost within kHoldMs of opening: lines it opens again are
    // on trial, and back only once they have held.
    bool failing_ = false;
    bool onTrial_ = false;
    std::uint32_t error_ = 0;
    std::uint32_t bytesSeen_ = 0;
    bool heard_ = false;  // bytes came since quietSince_ was last set
    std::uint32_t failedOpenings_ = 0;
    std::uint64_t quietSince_ = 0;
    std::uint64_t openedAt_ = 0;
    std::uint64_t lastTry_ = 0;  // when the last attempt ended, or the line was lost
    std::uint64_t pauseMs_ = 0;  // from lastTry_ to the next attempt
    std::uint64_t retryMs_ = kRetryIntervalMs;
    std::uint64_t lastOpenMs_ = 0;
    std::uint64_t longestOpenMs_ = 0;
    std::uint64_t outageStart_ = 0;
    std::uint64_t outageEnd_ = 0;
};

}  // namespace lamdex
