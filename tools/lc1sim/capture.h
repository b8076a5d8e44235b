// Capture files to replay: hex text or raw bytes, cut into packets for pacing and logging.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lc1sim {

enum class LineChange { kNone, kLost, kBack };

// A timing mark of a hex capture: the bytes from `offset` on had arrived `atNs` after the
// start of the recording; the line may have gone or come back at that moment.
struct TimingMark {
    std::size_t offset = 0;
    std::int64_t atNs = 0;
    LineChange change = LineChange::kNone;
};

struct Capture {
    std::vector<std::uint8_t> bytes;
    std::vector<TimingMark> marks;  // none: the bytes go at the pace --rate sets
};

// Hex text: whitespace separated tokens of hex digit pairs ("B2", "b282431374"); '#' starts a
// comment that runs to the end of the line. "@12.345" is a timing mark, in seconds from the
// start; "lost" or "back" right after one says the line went or came back then, and no bytes
// come between the two. A bad token fails the whole parse with its line.
bool ParseHexCapture(const std::string& text, Capture& capture, std::string& error);

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error);

// Cuts a byte stream in front of every packet header (a byte with bits 7 and 5 set followed by
// one with bit 7 set). Bytes before the first header form a piece of their own.
std::vector<std::vector<std::uint8_t>> SplitAtHeaders(const std::vector<std::uint8_t>& bytes);

}  // namespace lc1sim
