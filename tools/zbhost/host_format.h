// What zbhost prints: result code names, AFR lines with a gauge, folded runs of
// non-reading answers, CSV lines and GUID text. Portable and free of I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zbhost/host_abi.h"

namespace zbhost {

// "not ready", "not connected", "device error", "ok", or the code as 0xXXXXXXXX.
std::string ResultName(HResult code);

// 16.16 fixed point to a plain number.
double AfrFromFixed(std::int32_t value);

// A 20-cell bar over 10..20 AFR, e.g. "[##########          ]"; '<' or '>' at the end
// that was passed when the value lies outside the scale.
std::string AfrGauge(double afr);

// "   1.234 s  14.70 AFR  [...]" and, with raw, "  (0x000EB333)" appended.
std::string FormatReadingLine(double elapsedSeconds, std::int32_t value, bool withRaw);

// One line for a run of identical non-reading answers.
std::string FormatAnswerRunLine(double firstSeconds, double lastSeconds, HResult code, unsigned count);

// Folds consecutive identical non-reading answers into one line. A run ends when a
// different answer arrives, when it has lasted `window` seconds (so a silent device
// still shows up while polling), or at Finish.
class AnswerFolder {
public:
    explicit AnswerFolder(double windowSeconds, bool withRaw) : window_(windowSeconds), withRaw_(withRaw) {}

    // Lines ready to print after this answer (value is read only for S_OK).
    std::vector<std::string> Add(double elapsedSeconds, HResult code, std::int32_t value);
    std::vector<std::string> Finish();

private:
    void FlushRun(std::vector<std::string>& lines);

    double window_;
    bool withRaw_;
    bool inRun_ = false;
    HResult runCode_ = kOk;
    double runFirst_ = 0.0;
    double runLast_ = 0.0;
    unsigned runCount_ = 0;
};

std::string CsvHeader();
std::string CsvReadingLine(double elapsedSeconds, std::int32_t value);
std::string AnswersHeader();
// "1.234,ok,963379" or "1.300,device error,0".
std::string AnswerLine(double elapsedSeconds, HResult code, std::int32_t value);

// The 36-character text form of a 16-byte identifier (little-endian integer parts).
std::string FormatGuid(const unsigned char* bytes);

}  // namespace zbhost
