// Helpers every filler of host records uses: the bounded text copy, hex digits and the GUID parser.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lamdex/host_api.h"

namespace zb {

// Copies at most capacity - 1 characters and always terminates the field.
// Answers kInsufficientBuffer when the source had to be cut.
template <std::size_t N>
HResult CopyText(char (&field)[N], const char* source) {
    static_assert(N > 0, "a text field holds at least its NUL");
    std::size_t copied = 0;
    while (copied + 1 < N && source[copied] != '\0') {
        field[copied] = source[copied];
        ++copied;
    }
    field[copied] = '\0';
    return source[copied] == '\0' ? kOk : kInsufficientBuffer;
}

// The value of one hex digit, either case; -1 for any other character.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

namespace detail {

// Reads 2 * byteCount hex digits starting at text[pos] as one big-endian number.
inline bool ReadHex(const char* text, std::size_t pos, std::size_t byteCount, std::uint64_t& value) {
    value = 0;
    for (std::size_t k = 0; k < 2 * byteCount; ++k) {
        const int digit = HexDigitValue(text[pos + k]);
        if (digit < 0) return false;
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return true;
}
}  // namespace detail

// Parses the 36-character text form "8-4-4-4-12" (hex digits, either case) the way
// UuidFromStringA does. Answers false, leaving guid untouched, for anything else.
inline bool ParseGuid(const char* text, Guid& guid) {
    for (std::size_t k = 0; k < 36; ++k) {
        const bool hyphenPlace = k == 8 || k == 13 || k == 18 || k == 23;
        if (text[k] == '\0' || (text[k] == '-') != hyphenPlace) return false;
    }
    if (text[36] != '\0') return false;

    std::uint64_t part1 = 0, part2 = 0, part3 = 0, part4 = 0, part5 = 0;
    if (!detail::ReadHex(text, 0, 4, part1) || !detail::ReadHex(text, 9, 2, part2) ||
        !detail::ReadHex(text, 14, 2, part3) || !detail::ReadHex(text, 19, 2, part4) ||
        !detail::ReadHex(text, 24, 6, part5)) {
        return false;
    }
    guid.data1 = static_cast<std::uint32_t>(part1);
    guid.data2 = static_cast<std::uint16_t>(part2);
    guid.data3 = static_cast<std::uint16_t>(part3);
    guid.data4[0] = static_cast<std::uint8_t>(part4 >> 8);
    guid.data4[1] = static_cast<std::uint8_t>(part4);
    for (int k = 0; k < 6; ++k) {
        guid.data4[2 + k] = static_cast<std::uint8_t>(part5 >> (8 * (5 - k)));
    }
    return true;
}

}  // namespace zb
