// What an LC-1 says, in the words a person reads: the plug-in's debug texts and lamdex-check
// use the same ones.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/packet_reader.h"

namespace lamdex {

// One LC-1's group in words: "reading AFR 14.70", "warming up (63.0 %)", "error 8: sensor
// timing error: ...", with what helps where something does. Bounded by size.
void DescribeLc1(const Lc1Reading& reading, char* text, std::size_t size);

constexpr char kNotInChainText[] = "not in the chain";
constexpr char kBrokenPlaceText[] = "broken data";

// Tells the debug output what the chosen LC-1 says, once each time that changes: its status,
// an error's code, or another tenth of a warm-up (so a warm-up that stalls shows where).
// A broken place changes nothing: it says what the line did to one packet, not what the
// LC-1 says.
class Lc1StateReport {
public:
    // The next packet's state is told whatever it is: after an open, on a new port.
    void Forget() { known_ = false; }
    // place: the chosen LC-1's place in the packet a Read answered, nullptr for none.
    void Observe(int portNumber, int sensor, const Lc1Place* place);

    struct State {
        bool inChain;
        std::uint8_t status;
        std::uint16_t detail;  // an error's code, the warm-up's tenth, else 0
    };

private:
    bool known_ = false;
    State told_{};
};

}  // namespace lamdex
