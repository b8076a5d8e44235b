#include "tools/zbhost/host_format.h"

#include <cstdio>

namespace zbhost {

namespace {

constexpr double kGaugeLow = 10.0;
constexpr double kGaugeHigh = 20.0;
constexpr int kGaugeCells = 20;

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

}  // namespace

std::string ResultName(HResult code) {
    switch (code) {
        case kOk:
            return "ok";
        case kNotReady:
            return "not ready";
        case kNotConnected:
            return "not connected";
        case kFail:
            return "device error";
        default:
            return Format("0x%08X", static_cast<unsigned>(code));
    }
}

double AfrFromFixed(std::int32_t value) {
    return value / 65536.0;
}

std::string AfrGauge(double afr) {
    std::string cells(kGaugeCells, ' ');
    const double perCell = (kGaugeHigh - kGaugeLow) / kGaugeCells;
    const int filled = afr <= kGaugeLow    ? 0
                       : afr >= kGaugeHigh ? kGaugeCells
                                           : static_cast<int>((afr - kGaugeLow) / perCell);
    for (int k = 0; k < filled; ++k) cells[static_cast<std::size_t>(k)] = '#';
    if (afr < kGaugeLow) cells.front() = '<';
    if (afr > kGaugeHigh) cells.back() = '>';
    return "[" + cells + "]";
}

std::string FormatReadingLine(double elapsedSeconds, std::int32_t value, bool withRaw) {
    const double afr = AfrFromFixed(value);
    std::string line = Format("%8.3f s  %6.2f AFR  ", elapsedSeconds, afr) + AfrGauge(afr);
    if (withRaw) line += Format("  (0x%08X)", static_cast<unsigned>(value));
    return line;
}

std::string FormatAnswerRunLine(double firstSeconds, double lastSeconds, HResult code, unsigned count) {
    std::string line = Format("%8.3f s  ", firstSeconds) + ResultName(code);
    if (count > 1) line += Format("  (x%u until %.3f s)", count, lastSeconds);
    return line;
}

std::vector<std::string> AnswerFolder::Add(double elapsedSeconds, HResult code, std::int32_t value) {
    std::vector<std::string> lines;
    if (inRun_ && (code != runCode_ || elapsedSeconds - runFirst_ >= window_)) FlushRun(lines);
    if (code == kOk) {
        lines.push_back(FormatReadingLine(elapsedSeconds, value, withRaw_));
        return lines;
    }
    if (!inRun_) {
        inRun_ = true;
        runCode_ = code;
        runFirst_ = elapsedSeconds;
        runCount_ = 0;
    }
    runLast_ = elapsedSeconds;
    ++runCount_;
    return lines;
}

std::vector<std::string> AnswerFolder::Finish() {
    std::vector<std::string> lines;
    FlushRun(lines);
    return lines;
}

void AnswerFolder::FlushRun(std::vector<std::string>& lines) {
    if (!inRun_) return;
    lines.push_back(FormatAnswerRunLine(runFirst_, runLast_, runCode_, runCount_));
    inRun_ = false;
}

std::string CsvHeader() {
    return "seconds,afr,raw";
}

std::string CsvReadingLine(double elapsedSeconds, std::int32_t value) {
    return Format("%.3f,%.4f,%ld", elapsedSeconds, AfrFromFixed(value), static_cast<long>(value));
}

std::string AnswersHeader() {
    return "seconds,answer,raw";
}

std::string AnswerLine(double elapsedSeconds, HResult code, std::int32_t value) {
    return Format("%.3f,%s,%ld", elapsedSeconds, ResultName(code).c_str(), static_cast<long>(code == kOk ? value : 0));
}

std::string FormatGuid(const unsigned char* b) {
    return Format("%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[3], b[2], b[1], b[0], b[5],
                  b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
}

}  // namespace zbhost
