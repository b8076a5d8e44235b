// An in-memory byte source: the test decides which bytes have "arrived" so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "driver/packet_reader.h"

namespace lamdex::test {

class ByteFeed {
public:
    void Arrive(std::initializer_list<std::uint8_t> bytes) { pending_.insert(pending_.end(), bytes); }
    void Arrive(const std::vector<std::uint8_t>& bytes) { pending_.insert(pending_.end(), bytes.begin(), bytes.end()); }

    std::size_t Requests() const { return requests_; }
    std::size_t Waiting() const { return pending_.size() - next_; }

    ByteSource Source() { return ByteSource{&ByteFeed::Next, this}; }

private:
    static bool Next(void* context, std::uint8_t* byte) {
        auto* self = static_cast<ByteFeed*>(context);
        ++self->requests_;
        if (self->next_ == self->pending_.size()) {
            return false;
        }
        *byte = self->pending_[self->next_++];
        return true;
    }

    std::vector<std::uint8_t> pending_;
    std::size_t next_ = 0;
    std::size_t requests_ = 0;
};

// One LC-1's two words: its data group.
inline std::vector<std::uint8_t> Lc1Group(unsigned lambda, unsigned multiplier, unsigned status = 0) {
    return {static_cast<std::uint8_t>(0x42 | (status << 2) | ((multiplier >> 7) & 1)),
            static_cast<std::uint8_t>(multiplier & 0x7F), static_cast<std::uint8_t>((lambda >> 7) & 0x3F),
            static_cast<std::uint8_t>(lambda & 0x7F)};
}

// One auxiliary-input channel's word: 13 bits, the first byte 00xxxxxx.
inline std::vector<std::uint8_t> AuxiliaryWord(unsigned value) {
    return {static_cast<std::uint8_t>((value >> 7) & 0x3F), static_cast<std::uint8_t>(value & 0x7F)};
}

// A packet of the devices' words in chain order, behind a header that counts them.
inline std::vector<std::uint8_t> ChainPacket(const std::vector<std::vector<std::uint8_t>>& devices) {
    std::vector<std::uint8_t> packet(2);
    for (const auto& device : devices) packet.insert(packet.end(), device.begin(), device.end());
    const std::size_t words = (packet.size() - 2) / 2;
    packet[0] = static_cast<std::uint8_t>(0xB2 | ((words >> 7) & 1));
    packet[1] = static_cast<std::uint8_t>(0x80 | (words & 0x7F));
    return packet;
}

// One lone LC-1's packet: B2 82 and its data group.
inline std::vector<std::uint8_t> Lc1Packet(unsigned lambda, unsigned multiplier, unsigned status = 0) {
    return ChainPacket({Lc1Group(lambda, multiplier, status)});
}

}  // namespace lamdex::test
