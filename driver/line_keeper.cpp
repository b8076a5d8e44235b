#include "driver/line_keeper.h"

namespace lamdex {

LineKeeper::Change LineKeeper::Open(int portNumber, std::uint64_t now) {
    portNumber_ = portNumber;
    kept_ = true;
    lastTry_ = now;
    outageStart_ = now;
    link_.Open(portNumber);
    if (link_.IsOpen()) {
        StartListening(now);
        return Change::kNone;
    }
    error_ = link_.OpenError();
    failureReported_ = true;
    return Change::kOpenFailed;
}

void LineKeeper::Close() {
    kept_ = false;
    link_.Close();
}

LineKeeper::Change LineKeeper::Reopen(std::uint64_t now) {
    if (!kept_ || link_.IsOpen() || now - lastTry_ < kRetryIntervalMs) return Change::kNone;
    lastTry_ = now;
    link_.Open(portNumber_);
    if (link_.IsOpen()) {
        StartListening(now);
        return Change::kBack;
    }
    error_ = link_.OpenError();
    if (failureReported_) return Change::kNone;
    failureReported_ = true;
    return Change::kOpenFailed;
}

LineKeeper::Change LineKeeper::Check(std::uint64_t now) {
    if (!kept_ || !link_.IsOpen()) return Change::kNone;
    if (link_.ReadFailed()) return Lose(link_.ReadError(), now);
    if (link_.BytesReceived() != bytesSeen_) {
        bytesSeen_ = link_.BytesReceived();
        quietSince_ = now;
        return Change::kNone;
    }
    if (now - quietSince_ < kSilenceBeforeCheckMs) return Change::kNone;
    quietSince_ = now;  // the next check comes after another quiet second
    std::uint32_t error = 0;
    return link_.IsStillThere(error) ? Change::kNone : Lose(error, now);
}

// The device may already be back at the same name (a quick replug): it is tried at once.
LineKeeper::Change LineKeeper::Lose(std::uint32_t error, std::uint64_t now) {
    link_.Close();
    error_ = error;
    failureReported_ = false;
    outageStart_ = now;
    lastTry_ = now - kRetryIntervalMs;
    return Change::kLost;
}

void LineKeeper::StartListening(std::uint64_t now) {
    bytesSeen_ = link_.BytesReceived();
    quietSince_ = now;
}

}  // namespace lamdex
