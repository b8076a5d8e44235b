// Capture files to replay: hex text or raw bytes, cut into packets for pacing and logging.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lc1sim {

// Hex text: whitespace separated tokens of hex digit pairs ("B2", "b282431374"); '#' starts a
// comment that runs to the end of the line. A bad token fails the whole parse with its line.
bool ParseHexCapture(const std::string& text, std::vector<std::uint8_t>& bytes, std::string& error);

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error);

// Cuts a byte stream in front of every packet header (a byte with bits 7 and 5 set followed by
// one with bit 7 set). Bytes before the first header form a piece of their own.
std::vector<std::vector<std::uint8_t>> SplitAtHeaders(const std::vector<std::uint8_t>& bytes);

}  // namespace lc1sim
