// Where the packets come from (a scenario or a capture) and how each is logged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/lc1sim/capture.h"
#include "tools/lc1sim/chain.h"
#include "tools/lc1sim/lc1_packet.h"
#include "tools/lc1sim/scenarios.h"

namespace lc1sim {

constexpr std::int64_t kPaced = -1;

struct Outgoing {
    std::vector<std::uint8_t> bytes;
    std::vector<Reading> readings;          // the LC-1 places a receiver finds in the bytes, in chain order
    std::int64_t atNs = kPaced;             // from a timed capture: when the bytes go, from the start
    LineChange change = LineChange::kNone;  // from a timed capture: instead of bytes, the line goes or comes back
};

class PacketSource {
public:
    static PacketSource ForScenario(const ScenarioSettings& settings);
    static PacketSource ForChain(const std::vector<ChainDevice>& chain);
    // Without timing marks the capture is cut in front of its headers; with them, into the
    // chunks between the marks, each with its time.
    static PacketSource ForCapture(const Capture& capture);

    // false when a capture has run out; scenarios never do.
    bool Next(std::uint64_t index, Outgoing& outgoing) const;
    // Whether the pieces carry their own times, so no rate paces them.
    bool Timed() const { return timed_; }

private:
    void AddPiece(std::vector<std::uint8_t> bytes, std::int64_t atNs);

    std::vector<ChainDevice> chain_;
    bool replay_ = false;
    bool timed_ = false;
    std::vector<Outgoing> pieces_;
};

// "index status multiplier lambda value", the four again for each further LC-1 place; value
// only for status 0, "-" otherwise; "broken - - -" for a broken place, and the four "-" for
// bytes that hold no LC-1 place.
std::string LogLine(std::uint64_t index, const std::vector<Reading>& readings);

constexpr const char* kLogHeader = "# index status multiplier lambda value";

}  // namespace lc1sim
