#include "tools/lamdex-check/line_record.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace lamdex::check {
namespace {

constexpr std::size_t kBytesPerLine = 16;

}  // namespace

std::string FormatMilliseconds(std::uint64_t ms) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%llu.%03u", static_cast<unsigned long long>(ms / 1000),
                        static_cast<unsigned>(ms % 1000));
    return text;
}

LineRecord::~LineRecord() {
    if (file_ != nullptr) (void)std::fclose(file_);
}

bool LineRecord::Open(const std::string& path, int port, std::string& error) {
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    char started[32] = "an unknown time";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now))
        (void)std::strftime(started, sizeof started, "%Y-%m-%d %H:%M:%S", local);
    std::fprintf(file_,
                 "# COM%d as lamdex-check --record saw it from %s (local time).\n"
                 "# @S: the bytes after it had arrived S seconds after the start, in hex; lost and back: the\n"
                 "# port went and came back. lc1sim --replay sends it again with the same timing.\n",
                 port, started);
    std::fflush(file_);
    return true;
}

void LineRecord::Bytes(std::uint64_t ms, const std::vector<std::uint8_t>& bytes) {
    if (file_ == nullptr) return;
    Mark(ms);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (k != 0 && k % kBytesPerLine == 0) std::fputs("\n       ", file_);
        std::fprintf(file_, " %02X", bytes[k]);
    }
    std::fputc('\n', file_);
    std::fflush(file_);
}

void LineRecord::Lost(std::uint64_t ms, const std::string& why) {
    if (file_ == nullptr) return;
    Mark(ms);
    std::fprintf(file_, " lost  # %s\n", why.c_str());
    std::fflush(file_);
}

void LineRecord::Back(std::uint64_t ms, std::uint64_t outageMs) {
    if (file_ == nullptr) return;
    Mark(ms);
    std::fprintf(file_, " back  # after %.1f s\n", static_cast<double>(outageMs) / 1000.0);
    std::fflush(file_);
}

void LineRecord::Comment(const std::string& text) {
    if (file_ == nullptr) return;
    std::fprintf(file_, "# %s\n", text.c_str());
    std::fflush(file_);
}

void LineRecord::Mark(std::uint64_t ms) {
    std::fprintf(file_, "@%s", FormatMilliseconds(ms).c_str());
}

}  // namespace lamdex::check
