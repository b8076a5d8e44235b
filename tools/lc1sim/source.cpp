#include "tools/lc1sim/source.h"

#include "tools/lc1sim/capture.h"

namespace lc1sim {

PacketSource PacketSource::ForScenario(const ScenarioSettings& settings) {
    PacketSource source;
    source.settings_ = settings;
    return source;
}

PacketSource PacketSource::ForCapture(const std::vector<std::uint8_t>& capture) {
    PacketSource source;
    source.replay_ = true;
    source.pieces_ = SplitAtHeaders(capture);
    return source;
}

bool PacketSource::Next(std::uint64_t index, Outgoing& outgoing) const {
    if (replay_) {
        if (index >= pieces_.size()) return false;
        outgoing.bytes = pieces_[static_cast<std::size_t>(index)];
        outgoing.reading = FindGroup(outgoing.bytes);
        return true;
    }
    const Reading reading = ScenarioReading(settings_, index);
    outgoing.bytes = EncodePacket(reading);
    outgoing.reading.reset();
    if (reading.hasGroup) outgoing.reading = reading;
    return true;
}

std::string LogLine(std::uint64_t index, const std::optional<Reading>& reading) {
    std::string line = std::to_string(index);
    if (!reading || !reading->hasGroup) return line + " - - - -";
    line += " " + std::to_string(reading->status) + " " + std::to_string(reading->multiplier) + " " +
            std::to_string(reading->lambda) + " ";
    line +=
        reading->status == kStatusLambda ? std::to_string(ExpectedValue(reading->lambda, reading->multiplier)) : "-";
    return line;
}

}  // namespace lc1sim
