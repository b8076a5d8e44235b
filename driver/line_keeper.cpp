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
    outage_ = Outage{now, now, 0, 0, false};
    attempt_.retryMs = kRetryIntervalMs;
    if (TryOpen(now, false)) {
        state_ = State::kQuiet;  // until the first bytes
        quietSince_ = attempt_.lastEnd;
        return Change::kNone;
    }
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
    if (TryOpen(now, false)) {
        state_ = State::kOnTrial;
        quietSince_ = attempt_.lastEnd;
        return Change::kNone;
    }
    if (outage_.openFailureTold) return Change::kNone;
    outage_.openFailureTold = true;
    return Change::kOpenFailed;
}

// An open line that is on trial, quiet, or has just gone quiet or been heard from again.
LineKeeper::Change LineKeeper::CheckOpenLine(bool heard) {
    const std::uint64_t now = clock_();
    if (heard) {
        heardSinceOpen_ = true;
        quietSince_ = now;
    }
    if (state_ == State::kOnTrial) {
        if (Held(now)) {
            attempt_.retryMs = kRetryIntervalMs;
            state_ = heard ? State::kDelivering : State::kQuiet;
            return Change::kBack;
        }
        return heard ? Change::kNone : ReopenWhenSilent(now);
    }
    if (heard) {
        state_ = State::kDelivering;
        return Change::kNone;
    }
    if (state_ == State::kDelivering) {
        state_ = State::kQuiet;
        quietSince_ = now;
        return Change::kNone;
    }
    return ReopenWhenSilent(now);
}

LineKeeper::Change LineKeeper::ReopenWhenSilent(std::uint64_t now) {
    const bool due =
        HavePassed(quietSince_, now, kSilenceBeforeReopenMs) && HavePassed(attempt_.lastEnd, now, attempt_.pauseMs);
    return due ? ReopenSilentLine(now) : Change::kNone;
}

// Some drivers leave a removed adapter's handle answering and reading nothing, and its
// name refuses a new open while that handle is held: closing it and opening the name again
// is the one test every driver answers. A line that is merely silent opens again at once,
// in the state it had.
LineKeeper::Change LineKeeper::ReopenSilentLine(std::uint64_t now) {
    if (TryOpen(now, true)) {
        quietSince_ = attempt_.lastEnd;
        return Change::kReopened;
    }
    const Change change = EndLine(now);
    if (change == Change::kLost) {
        outage_.openFailureTold = true;  // the loss's text gives the open's reason
        outage_.longestOpenMs = attempt_.lastMs;
    }
    return change;
}

LineKeeper::Change LineKeeper::Lose(std::uint32_t error, std::uint64_t now) {
    link_.Close();
    error_ = error;
    attempt_.lastEnd = clock_();
    attempt_.lastMs = Between(now, attempt_.lastEnd);
    // A line that held may have its device back at the same name already (a quick replug).
    attempt_.pauseMs = PauseAfterAttempt(0);
    return EndLine(now);
}

// Every way a line ends comes here. Lines that had not held are tried less and less often,
// and on trial they count within the outage rather than start one.
LineKeeper::Change LineKeeper::EndLine(std::uint64_t now) {
    const bool held = Held(now);
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
    outage_ = Outage{now, now, held ? 0U : 1U, 0, false};
    return Change::kLost;
}

// The one rule for whether a line was worth opening: it delivered, and was open for kHoldMs.
bool LineKeeper::Held(std::uint64_t now) const {
    return heardSinceOpen_ && HavePassed(openedAt_, now, kHoldMs);
}

bool LineKeeper::TryOpen(std::uint64_t now, bool continuesLine) {
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
    if (!continuesLine) {
        openedAt_ = attempt_.lastEnd;
        heardSinceOpen_ = false;
    }
    return true;
}

// The usual pause, or longer after an attempt that took long.
std::uint64_t LineKeeper::PauseAfterAttempt(std::uint64_t usual) const {
    if (attempt_.lastMs >= kLongestPauseMs / kOpenCostFactor) return kLongestPauseMs;
    const std::uint64_t pause = attempt_.lastMs * kOpenCostFactor;
    return pause > usual ? pause : usual;
}

}  // namespace lamdex
