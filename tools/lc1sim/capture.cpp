#include "tools/lc1sim/capture.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

#include "lamdex/host_helpers.h"

namespace lc1sim {

namespace {

bool ParseToken(const std::string& token, std::vector<std::uint8_t>& bytes) {
    if (token.size() % 2 != 0) return false;
    for (std::size_t k = 0; k < token.size(); k += 2) {
        const int high = zb::HexDigitValue(token[k]);
        const int low = zb::HexDigitValue(token[k + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

bool IsHeader(const std::vector<std::uint8_t>& bytes, std::size_t i) {
    return i + 1 < bytes.size() && (bytes[i] & 0xA0u) == 0xA0u && (bytes[i + 1] & 0x80u) != 0;
}

}  // namespace

bool ParseHexCapture(const std::string& text, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::vector<std::uint8_t> parsed;
    std::istringstream lines(text);
    std::string line;
    for (int lineNumber = 1; std::getline(lines, line); ++lineNumber) {
        const auto comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream tokens(line);
        std::string token;
        while (tokens >> token) {
            if (!ParseToken(token, parsed)) {
                error = "line " + std::to_string(lineNumber) + ": '" + token + "' is not a run of hex byte pairs";
                return false;
            }
        }
    }
    bytes = std::move(parsed);
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

std::vector<std::vector<std::uint8_t>> SplitAtHeaders(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::vector<std::uint8_t>> pieces;
    std::size_t start = 0;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        if (!IsHeader(bytes, i)) continue;
        pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                            bytes.begin() + static_cast<std::ptrdiff_t>(i));
        start = i;
    }
    if (start < bytes.size()) {
        pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    }
    return pieces;
}

}  // namespace lc1sim
