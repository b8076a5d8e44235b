#include "driver/line_keeper.h"

namespace lamdex {

LineKeeper::Change LineKeeper::Open(int portNumber) {
    portNumber_ = portNumber;
    kept_ = true;
    lastTry_ = clock_();
    outageStart_ = lastTry_;
    if (TryOpen()) return Change::kNone;
    failureReported_ = true;
    return Change::kOpenFailed;
}

void LineKeeper::Close() {
    kept_ = false;
    link_.Close();
}

LineKeeper::Change LineKeeper::ReopenWhenDue() {
    const std::uint64_t now = clock_();
    if (now - lastTry_ < kRetryIntervalMs) return Change::kNone;
    lastTry_ = now;
    if (TryOpen()) return Change::kBack;
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
    if (now - quietSince_ < kSilenceBeforeCheckMs) return Change::kNone;
    quietSince_ = now;  // the next check comes after another quiet second
    std::uint32_t error = 0;
    return link_.IsStillThere(error) ? Change::kNone : Lose(error);
}

// The device may already be back at the same name (a quick replug): it is tried at once.
LineKeeper::Change LineKeeper::Lose(std::uint32_t error) {
    link_.Close();
    error_ = error;
    failureReported_ = false;
    outageStart_ = clock_();
    lastTry_ = outageStart_ - kRetryIntervalMs;
    return Change::kLost;
}

bool LineKeeper::TryOpen() {
    link_.Open(portNumber_);
    if (!link_.IsOpen()) {
        error_ = link_.OpenError();
        return false;
    }
    bytesSeen_ = link_.BytesReceived();
    heard_ = true;
    return true;
}

}  // namespace lamdex
