#include "driver/line_keeper.h"

namespace lamdex {
namespace {

// Whether `ms` have passed since `since`. A clock that went back counts as time passed, so
// that retries and reopens go on rather than waiting for it to catch up.
bool HavePassed(std::uint64_t since, std::uint64_t now, std::uint64_t ms) {
    return now < since || now - since >= ms;
}

std::uint64_t Between(std::uint64_t from, std::uint64_t to) {
    return to >= from ? to - from : 0;
}

}  // namespace

LineKeeper::Change LineKeeper::Open(int portNumber) {
    const std::uint64_t now = clock_();
    portNumber_ = portNumber;
    state_ = State::kClosed;
    failing_ = false;
    outage_ = Outage{now, now, 0, 0, false};
    attempt_.retryMs = kRetryIntervalMs;
    if (TryOpen(now)) return Change::kNone;
    state_ = State::kRetrying;
    outage_.openFailureTold = true;
    return Change::kOpenFailed;
}

void LineKeeper::Close() {
    state_ = State::kClosed;
    link_.Close();
}

LineKeeper::Change LineKeeper::RetryWhenDue() {
    const std::uint64_t now = clock_();
    if (!HavePassed(attempt_.lastEnd, now, attempt_.pauseMs)) return Change::kNone;
    outage_.end = now;
    if (TryOpen(now)) {
        if (!failing_) return Change::kBack;
        state_ = State::kOnTrial;  // back only once it has held
        return Change::kNone;
    }
    if (outage_.openFailureTold) return Change::kNone;
    outage_.openFailureTold = true;
    return Change::kOpenFailed;
}

// An open line that is on trial, quiet, or has just gone quiet or been heard from again.
LineKeeper::Change LineKeeper::CheckOpenLine(bool heard) {
    const std::uint64_t now = clock_();
    if (state_ == State::kOnTrial) return HavePassed(openedAt_, now, kHoldMs) ? EndTrial(heard, now) : Change::kNone;
    if (state_ == State::kQuiet && !heard) {
        const bool due =
            HavePassed(quietSince_, now, kSilenceBeforeReopenMs) && HavePassed(attempt_.lastEnd, now, attempt_.pauseMs);
        return due ? ReopenSilentLine(now) : Change::kNone;
    }
    Settle(heard, now);
    return Change::kNone;
}

// A line opened after lines that failed at once has held: the outage is over.
LineKeeper::Change LineKeeper::EndTrial(bool heard, std::uint64_t now) {
    failing_ = false;
    if (link_.BytesReceived() != 0) attempt_.retryMs = kRetryIntervalMs;
    Settle(heard, now);
    return Change::kBack;
}

void LineKeeper::Settle(bool heard, std::uint64_t now) {
    state_ = heard ? State::kDelivering : State::kQuiet;
    quietSince_ = now;
}

// Some drivers leave a removed adapter's handle answering and reading nothing, and its
// name refuses a new open while that handle is held: closing it and opening the name again
// is the one test every driver answers. A line that is merely silent opens again at once.
LineKeeper::Change LineKeeper::ReopenSilentLine(std::uint64_t now) {
    if (TryOpen(now)) {
        Settle(false, attempt_.lastEnd);
        return Change::kReopened;
    }
    const Change change = EndLine(now);
    outage_.openFailureTold = true;  // the loss's text gives the open's reason
    outage_.longestOpenMs = attempt_.lastMs;
    return change;
}

LineKeeper::Change LineKeeper::Lose(std::uint32_t error, std::uint64_t now) {
    const bool delivered = link_.BytesReceived() != 0;
    link_.Close();
    error_ = error;
    attempt_.lastEnd = clock_();
    attempt_.lastMs = Between(now, attempt_.lastEnd);
    // A line that worked may have its device back at the same name already (a quick replug).
    attempt_.pauseMs = PauseAfterAttempt(delivered ? 0 : attempt_.retryMs);
    return EndLine(now);
}

// The one rule for every way a line ends: it held if it was open for kHoldMs. Lines that
// fail sooner are tried less and less often, and within an outage are counted, not told.
LineKeeper::Change LineKeeper::EndLine(std::uint64_t now) {
    const bool held = HavePassed(openedAt_, now, kHoldMs);
    const bool continuesOutage = state_ == State::kOnTrial;
    state_ = State::kRetrying;
    if (!held) {
        attempt_.pauseMs = PauseAfterAttempt(attempt_.retryMs);
        attempt_.retryMs =
            attempt_.retryMs * 2 < kLongestRetryIntervalMs ? attempt_.retryMs * 2 : kLongestRetryIntervalMs;
    }
    if (continuesOutage) {
        ++outage_.failedOpenings;
        return Change::kNone;
    }
    outage_ = Outage{now, now, held ? 0u : 1u, 0, false};
    failing_ = !held;
    return Change::kLost;
}

// Closes whatever the link holds and opens the port; every platform call is timed.
bool LineKeeper::TryOpen(std::uint64_t now) {
    link_.Open(portNumber_);
    attempt_.lastEnd = clock_();
    attempt_.lastMs = Between(now, attempt_.lastEnd);
    if (attempt_.lastMs > outage_.longestOpenMs) outage_.longestOpenMs = attempt_.lastMs;
    if (!link_.IsOpen()) {
        error_ = link_.OpenError();
        attempt_.pauseMs = PauseAfterAttempt(attempt_.retryMs);
        return false;
    }
    attempt_.pauseMs = PauseAfterAttempt(0);
    bytesSeen_ = link_.BytesReceived();
    // A silent line reopened goes on as the line that held; any other starts its hold now.
    if (state_ != State::kQuiet) openedAt_ = attempt_.lastEnd;
    state_ = State::kDelivering;  // the first Check without bytes makes it quiet
    return true;
}

// The usual pause, or longer after an attempt that took long.
std::uint64_t LineKeeper::PauseAfterAttempt(std::uint64_t usual) const {
    if (attempt_.lastMs >= kLongestPauseMs / kOpenCostFactor) return kLongestPauseMs;
    const std::uint64_t pause = attempt_.lastMs * kOpenCostFactor;
    return pause > usual ? pause : usual;
}

}  // namespace lamdex
