// zbhost's command line.
#pragma once

#include <string>
#include <vector>

namespace zbhost {

struct Options {
    std::string library;
    int intervalMs = 20;
    double seconds = 5.0;  // polling time limit
    bool secondsGiven = false;
    unsigned long readings = 0;  // stop after this many readings; 0: no such limit
    bool readingsGiven = false;
    double quietSeconds = 0.0;  // stop once this long passes without a reading; 0: never
    std::string csvPath;
    std::string answersPath;  // every answer but "not ready", for comparing with what a device sent
    bool raw = false;
    bool configure = false;
    bool infoOnly = false;
    bool help = false;

    // Polling happens unless only identity was asked for, or only the dialog.
    bool Polls() const { return !infoOnly && (!configure || secondsGiven || readingsGiven); }
};

// Answers false with a one-line reason in `error` for anything it cannot accept.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();

}  // namespace zbhost
