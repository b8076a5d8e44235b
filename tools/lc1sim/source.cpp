#include "tools/lc1sim/source.h"

#include <utility>

#include "tools/lc1sim/capture.h"

namespace lc1sim {

PacketSource PacketSource::ForScenario(const ScenarioSettings& settings) {
    ChainDevice lone;
    lone.scenario = settings;
    return ForChain({lone});
}

PacketSource PacketSource::ForChain(const std::vector<ChainDevice>& chain) {
    PacketSource source;
    source.chain_ = chain;
    return source;
}

PacketSource PacketSource::ForCapture(const Capture& capture) {
    PacketSource source;
    source.replay_ = true;
    source.timed_ = !capture.marks.empty();
    if (!source.timed_) {
        for (std::vector<std::uint8_t>& piece : SplitAtHeaders(capture.bytes))
            source.AddPiece(std::move(piece), kPaced);
        return source;
    }
    const auto at = [&capture](std::size_t offset) {
        return capture.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    };
    std::size_t from = 0;
    std::int64_t fromNs = 0;  // bytes in front of the first mark go at the start
    for (const TimingMark& mark : capture.marks) {
        if (mark.offset > from) source.AddPiece({at(from), at(mark.offset)}, fromNs);
        if (mark.change != LineChange::kNone) {
            Outgoing change;
            change.atNs = mark.atNs;
            change.change = mark.change;
            source.pieces_.push_back(change);
        }
        from = mark.offset;
        fromNs = mark.atNs;
    }
    if (capture.bytes.size() > from) source.AddPiece({at(from), capture.bytes.end()}, fromNs);
    return source;
}

void PacketSource::AddPiece(std::vector<std::uint8_t> bytes, std::int64_t atNs) {
    Outgoing piece;
    piece.readings = FindChainGroups(bytes);
    piece.bytes = std::move(bytes);
    piece.atNs = atNs;
    pieces_.push_back(std::move(piece));
}

bool PacketSource::Next(std::uint64_t index, Outgoing& outgoing) const {
    if (replay_) {
        if (index >= pieces_.size()) return false;
        outgoing = pieces_[static_cast<std::size_t>(index)];
        return true;
    }
    const std::vector<ChainEntry> entries = ChainEntries(chain_, index);
    outgoing.bytes = EncodeChainPacket(entries);
    outgoing.readings.clear();
    for (const ChainEntry& entry : entries) {
        if (!entry.auxiliary && entry.reading.hasGroup) outgoing.readings.push_back(entry.reading);
    }
    return true;
}

std::string LogLine(std::uint64_t index, const std::vector<Reading>& readings) {
    std::string line = std::to_string(index);
    if (readings.empty()) return line + " - - - -";
    for (const Reading& reading : readings) {
        if (reading.broken) {
            line += " broken - - -";
            continue;
        }
        line += " " + std::to_string(reading.status) + " " + std::to_string(reading.multiplier) + " " +
                std::to_string(reading.lambda) + " ";
        line +=
            reading.status == kStatusLambda ? std::to_string(ExpectedValue(reading.lambda, reading.multiplier)) : "-";
    }
    return line;
}

}  // namespace lc1sim
