#include "tools/lamdex-check/line_watch.h"

#include <cstdio>
#include <cstring>

#include "driver/lc1_state.h"

namespace lamdex::check {
namespace {

// A place in words, as the plug-in's debug texts say it.
std::string DescribePlace(const Lc1Place& place) {
    if (place.kind == PlaceKind::kBroken) return kBrokenPlaceText;
    char text[200];
    DescribeLc1(place.reading, text, sizeof text);
    return text;
}

}  // namespace

LineWatch::LineWatch() : reader_(ByteSource{&LineWatch::TakeNextByte, this}) {}

LineKeeper::Change LineWatch::Open(int portNumber) {
    reader_.ResetForOpen();
    return keeper_.Open(portNumber);
}

LineKeeper::Change LineWatch::Check() {
    const LineKeeper::Change change = keeper_.Check();
    if (LineKeeper::CutsTheLine(change)) reader_.DropPartialPacket();
    return change;
}

bool LineWatch::NextPacket(Packet& packet) {
    std::uint8_t byte = 0;
    while (link_.ReadByte(&byte)) {
        ++counts_.bytes;
        if (collected_ != nullptr) collected_->push_back(byte);
        if (Decode(byte, packet)) return true;
    }
    return false;
}

// The decoder is handed one byte per Read, so the byte that completes a packet is seen
// doing it: the decoder then holds nothing, and the packet ends what it held plus that byte.
bool LineWatch::Decode(std::uint8_t byte, Packet& packet) {
    const std::size_t held = reader_.BufferedCount();
    std::memcpy(held_, reader_.BufferedBytes(), held);
    held_[held] = byte;
    nextByte_ = byte;
    hasNextByte_ = true;

    std::uint32_t transferred = 0;
    zb::TransferRecord record{zb::kTransferRecordSize, &packet.afr, sizeof packet.afr, &transferred, 0};
    packet.answer = reader_.Read(&record);
    if (reader_.BufferedCount() != 0) return false;
    packet.sensor = reader_.Sensor();
    const std::size_t size = DescribeTail(held_, held + 1, packet.chain);
    if (size == 0) return false;  // emptied without a packet
    Count(packet, size);
    return true;
}

// The whole packet at the end of bytes, described; its size, or 0 when bytes end in none.
// Bytes the decoder had not yet dropped may stand in front of it.
std::size_t LineWatch::DescribeTail(const std::uint8_t* bytes, std::size_t size, ChainContents& chain) {
    for (std::size_t start = 0; start + 1 < size; ++start) {
        if (DescribeChain(bytes + start, size - start, chain)) return size - start;
    }
    chain.lc1Count = 0;
    chain.auxiliaryCount = 0;
    return 0;
}

bool LineWatch::TakeNextByte(void* watch, std::uint8_t* byte) {
    auto* self = static_cast<LineWatch*>(watch);
    if (!self->hasNextByte_) return false;
    *byte = self->nextByte_;
    self->hasNextByte_ = false;
    return true;
}

void LineWatch::Count(const Packet& packet, std::size_t size) {
    ++counts_.packets;
    counts_.packetBytes += static_cast<unsigned long>(size);
    if (packet.HasLc1Data()) ++counts_.withLc1Data;
    if (packet.chain.lc1Count > mostLc1s_) mostLc1s_ = packet.chain.lc1Count;
    if (!packet.HasChosenLc1()) {
        ++counts_.withoutLc1Data;
    } else if (packet.answer == zb::kOk) {
        ++counts_.readings;
    } else if (packet.answer == zb::kFail) {
        ++counts_.errors;
    } else {
        ++counts_.notReady;
    }
}

unsigned long LineWatch::StrayBytes() const {
    return counts_.bytes - counts_.packetBytes - static_cast<unsigned long>(reader_.BufferedCount());
}

std::string CountLc1s(int count) {
    return std::to_string(count) + (count == 1 ? " LC-1" : " LC-1s");
}

std::string DescribePacket(const Packet& packet) {
    const ChainContents& chain = packet.chain;
    std::string auxiliary;
    if (chain.auxiliaryCount > 0) {
        auxiliary = std::to_string(chain.auxiliaryCount) +
                    (chain.auxiliaryCount == 1 ? " auxiliary input" : " auxiliary inputs");
    }
    if (chain.lc1Count == 0) {
        return "a packet without LC-1 data" + (auxiliary.empty() ? "" : " (" + auxiliary + ")");
    }
    if (chain.lc1Count == 1 && auxiliary.empty() && packet.sensor == kDefaultSensor) {
        return DescribePlace(chain.lc1[0]);
    }
    std::string text;
    for (int k = 0; k < chain.lc1Count; ++k) {
        text += (k == 0 ? "LC-1 #" : ", LC-1 #") + std::to_string(k + 1) + " " + DescribePlace(chain.lc1[k]);
    }
    return auxiliary.empty() ? text : text + ", " + auxiliary;
}

}  // namespace lamdex::check
