// lamdex-check: which port is the LC-1 on, and is it talking? Built from the plug-in's own
// serial link, packet decoder and configuration code, not from its library.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/lamdex-check/check_options.h"
#include "tools/lamdex-check/commands.h"

int main(int argc, char** argv) {
    using namespace lamdex::check;
    const std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(stderr, "lamdex-check: %s\n(lamdex-check --help lists the options)\n", error.c_str());
        return kExitUsage;
    }
    switch (options.command) {
        case Command::kHelp:
            std::fputs(UsageText(), stdout);
            return kExitDone;
        case Command::kFollowPort:
            return FollowPort(options.port, options.seconds, options.recordPath);
        case Command::kSavePort:
            return SavePort(options.port, options.sensor);
        case Command::kFindLc1:
            break;
    }
    return FindLc1();
}
