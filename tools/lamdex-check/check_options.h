// lamdex-check's command line.
#pragma once

#include <string>
#include <vector>

namespace lamdex::check {

enum class Command { kFindLc1, kFollowPort, kSavePort, kHelp };

struct Options {
    Command command = Command::kFindLc1;
    int port = 0;
    double seconds = 10.0;   // kUntilCtrlC: follow until Ctrl-C
    std::string recordPath;  // empty: no record
    int sensor = 0;          // with --save: the LC-1 of a chain the plug-in reads; 0: as saved
};

constexpr double kUntilCtrlC = 0.0;

// False with a one-line reason in `error` for anything it cannot accept.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();

}  // namespace lamdex::check
