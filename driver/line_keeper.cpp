#include "driver/line_keeper.h"

namespace lamdex {
namespace {

// Whether `ms` have passed since `since`. A clock that went back counts as time passed, so
// that retries and checks go on rather than waiting for it to catch up.
bool HavePassed(std::uint64_t since, std::uint64_t now, std::uint64_t ms) {
    return now < since || now - since >= ms;
}

std::uint64_t Between(std::uint64_t from, std::uint64_t to) {
    return to >= from ? to - from : 0;
}

}  // namespace

LineKeeper::Change LineKeeper::Open(int portNumber) {
    portNumber_ = portNumber;
    kept_ = true;
    failureReported_ = false;
    failing_ = false;
    onTrial_ = false;
    failedOpenings_ = 0;
    retryMs_ = kRetryIntervalMs;
    longestOpenMs_ = 0;
    outageStart_ = clock_();
    if (TryOpen(outageStart_)) return Change::kNone;
    failureReported_ = true;
    return Change::kOpenFailed;
}

void LineKeeper::Close() {
    kept_ = false;
    link_.Close();
}

LineKeeper::Change LineKeeper::ReopenWhenDue() {
    const std::uint64_t now = clock_();
    if (!HavePassed(lastTry_, now, pauseMs_)) return Change::kNone;
    if (TryOpen(now)) {
        if (!failing_) return Change::kBack;
        onTrial_ = true;
        return Change::kNone;
    }
    if (failureReported_) return Change::kNone;
    failureReported_ = true;
    return Change::kOpenFailed;
}

LineKeeper::Change LineKeeper::CheckQuietLine() {
    const std::uint64_t now = clock_();
    if (heard_) {
        heard_ = false;
        quietSince_ = now;
    }
    if (onTrial_ && HavePassed(openedAt_, now, kHoldMs)) return EndTrialIfHeld(now);
    if (!HavePassed(quietSince_, now, kSilenceBeforeCheckMs)) return Change::kNone;
    quietSince_ = now;  // the next check comes after another quiet second
    std::uint32_t error = 0;
    return link_.IsStillThere(error) ? Change::kNone : Lose(error, now);
}

// A line reopened after failing at once is back when it has held, not when it opens.
LineKeeper::Change LineKeeper::EndTrialIfHeld(std::uint64_t now) {
    if (!HavePassed(openedAt_, now, kHoldMs)) return Change::kNone;
    onTrial_ = false;
    failing_ = false;
    if (link_.BytesReceived() != 0) retryMs_ = kRetryIntervalMs;
    return Change::kBack;
}

LineKeeper::Change LineKeeper::Lose(std::uint32_t error, std::uint64_t now) {
    const bool delivered = link_.BytesReceived() != 0;
    link_.Close();
    error_ = error;
    lastTry_ = now;
    const bool failedAtOnce = !HavePassed(openedAt_, now, kHoldMs);
    if (failedAtOnce) {
        // Opening did not help: the next try waits, and the one after longer still.
        pauseMs_ = PauseAfterAttempt();
        retryMs_ = retryMs_ * 2 < kLongestRetryIntervalMs ? retryMs_ * 2 : kLongestRetryIntervalMs;
    } else if (delivered) {
        // A working line: the device may already be back at the same name (a quick replug).
        retryMs_ = kRetryIntervalMs;
        pauseMs_ = 0;
    } else {
        pauseMs_ = retryMs_;
    }
    if (onTrial_) {  // the same outage goes on: counted, not reported again
        onTrial_ = false;
        ++failedOpenings_;
        return Change::kNone;
    }
    outageStart_ = now;
    outageEnd_ = now;
    failureReported_ = false;
    failing_ = failedAtOnce;
    failedOpenings_ = failedAtOnce ? 1 : 0;
    longestOpenMs_ = 0;
    return Change::kLost;
}

bool LineKeeper::TryOpen(std::uint64_t now) {
    outageEnd_ = now;
    link_.Open(portNumber_);
    lastTry_ = clock_();
    lastOpenMs_ = Between(now, lastTry_);
    if (lastOpenMs_ > longestOpenMs_) longestOpenMs_ = lastOpenMs_;
    if (!link_.IsOpen()) {
        error_ = link_.OpenError();
        pauseMs_ = PauseAfterAttempt();
        return false;
    }
    openedAt_ = lastTry_;
    bytesSeen_ = link_.BytesReceived();
    heard_ = true;
    return true;
}

// The usual interval, or longer after an attempt that took long.
std::uint64_t LineKeeper::PauseAfterAttempt() const {
    if (lastOpenMs_ >= kLongestPauseMs / kOpenCostFactor) return kLongestPauseMs;
    const std::uint64_t pause = lastOpenMs_ * kOpenCostFactor;
    return pause > retryMs_ ? pause : retryMs_;
}

}  // namespace lamdex
