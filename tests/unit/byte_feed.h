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

// Encodes one LC-1 packet: header B2 82 and a data group.
inline std::vector<std::uint8_t> Lc1Packet(unsigned lambda, unsigned multiplier, unsigned status = 0) {
    return {0xB2,
            0x82,
            static_cast<std::uint8_t>(0x42 | (status << 2) | ((multiplier >> 7) & 1)),
            static_cast<std::uint8_t>(multiplier & 0x7F),
            static_cast<std::uint8_t>((lambda >> 7) & 0x3F),
            static_cast<std::uint8_t>(lambda & 0x7F)};
}

}  // namespace lamdex::test
