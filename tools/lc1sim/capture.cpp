#include "tools/lc1sim/capture.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "lamdex/host_helpers.h"

namespace lc1sim {

namespace {

constexpr double kLongestCaptureSeconds = 31536000.0;  // a year

bool ParseHexRun(const std::string& token, std::vector<std::uint8_t>& bytes) {
    if (token.size() % 2 != 0) return false;
    for (std::size_t k = 0; k < token.size(); k += 2) {
        const int high = zb::HexDigitValue(token[k]);
        const int low = zb::HexDigitValue(token[k + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

bool ParseSeconds(const std::string& text, std::int64_t& ns) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || seconds > kLongestCaptureSeconds) return false;
    ns = std::llround(seconds * 1e9);
    return true;
}

// Takes a capture's tokens in order; each answers what is wrong with it, or nothing.
class CaptureParser {
public:
    std::string Take(const std::string& token) {
        const bool afterMark = afterMark_;
        afterMark_ = false;
        if (token[0] == '@') return TakeMark(token);
        if (token == "lost" || token == "back") {
            if (!afterMark) return "'" + token + "' goes right after a timing mark, as in @12.345 " + token;
            lineLost_ = token == "lost";
            capture.marks.back().change = lineLost_ ? LineChange::kLost : LineChange::kBack;
            return "";
        }
        // Nobody could receive them: the recording cannot have held them.
        if (lineLost_) return "bytes while the line is lost: a timing mark with 'back' comes first";
        if (!ParseHexRun(token, capture.bytes)) return "'" + token + "' is not a run of hex byte pairs";
        return "";
    }

    Capture capture;

private:
    std::string TakeMark(const std::string& token) {
        std::int64_t atNs = 0;
        if (!ParseSeconds(token.substr(1), atNs)) {
            return "'" + token + "' is not a timing mark: @ and the seconds since the start, as in @12.345";
        }
        if (!capture.marks.empty() && atNs < capture.marks.back().atNs) {
            return token + " is earlier than the timing mark before it";
        }
        capture.marks.push_back({capture.bytes.size(), atNs, LineChange::kNone});
        afterMark_ = true;
        return "";
    }

    bool afterMark_ = false;
    bool lineLost_ = false;
};

bool IsHeader(const std::vector<std::uint8_t>& bytes, std::size_t i) {
    return i + 1 < bytes.size() && (bytes[i] & 0xA0u) == 0xA0u && (bytes[i + 1] & 0x80u) != 0;
}

}  // namespace

bool ParseHexCapture(const std::string& text, Capture& capture, std::string& error) {
    CaptureParser parser;
    std::istringstream lines(text);
    std::string line;
    for (int lineNumber = 1; std::getline(lines, line); ++lineNumber) {
        const auto comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream tokens(line);
        std::string token;
        while (tokens >> token) {
            const std::string problem = parser.Take(token);
            if (!problem.empty()) {
                error = "line " + std::to_string(lineNumber) + ": " + problem;
                return false;
            }
        }
    }
    capture = std::move(parser.capture);
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
