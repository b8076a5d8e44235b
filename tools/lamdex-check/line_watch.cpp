#include "tools/lamdex-check/line_watch.h"

#include <cstdio>
#include <cstring>

namespace lamdex::check {
namespace {

std::string Format(const char* format, double value) {
    char text[64];
    (void)std::snprintf(text, sizeof text, format, value);
    return text;
}

// The status codes as the LC-1 reports them; the plug-in answers only 0 with a reading.
std::string DescribeStatus(const Lc1Reading& reading) {
    switch (reading.status) {
        case 1:
            return Format("free air: oxygen %.1f %% (no AFR)", reading.lambda / 10.0);
        case 2:
            return "calibrating in free air";
        case 3:
            return "error: needs a free-air calibration";
        case 4:  // the heater's progress, in tenths of a percent like the oxygen level
            return Format("warming up (%.1f %%)", reading.lambda / 10.0);
        case 5:
            return "calibrating its heater";
        case 6:
            return Format("error (code %.0f)", reading.lambda);
        default:
            return "error (status 7)";
    }
}

}  // namespace

LineWatch::LineWatch() : reader_(ByteSource{&LineWatch::TakeNextByte, this}) {}

LineKeeper::Change LineWatch::Open(int portNumber) {
    reader_.ResetForOpen();
    return keeper_.Open(portNumber);
}

LineKeeper::Change LineWatch::Check() {
    const LineKeeper::Change change = keeper_.Check();
    if (change == LineKeeper::Change::kLost) reader_.DropPartialPacket();
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
// doing it: the decoder then holds nothing, and the packet is what it held plus that byte.
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
    packet.hasLc1Data = FindLc1DataGroup(held_, held + 1, packet.reading);
    Count(packet, held + 1);
    return true;
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
    if (!packet.hasLc1Data) {
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

std::string DescribePacket(const Packet& packet) {
    if (!packet.hasLc1Data) return "a packet without LC-1 data";
    if (packet.answer == zb::kOk) return Format("AFR %.2f", packet.afr / 65536.0);
    return DescribeStatus(packet.reading);
}

}  // namespace lamdex::check
