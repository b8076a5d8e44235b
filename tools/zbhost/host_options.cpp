#include "tools/zbhost/host_options.h"

#include <cerrno>
#include <cstdlib>

namespace zbhost {

namespace {

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0';
}

bool ParseWhole(const std::string& text, unsigned long maximum, unsigned long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value <= maximum;
}

bool ParseValueOption(const std::string& name, const std::string& value, Options& options, std::string& error) {
    unsigned long whole = 0;
    if (name == "--interval-ms") {
        if (!ParseWhole(value, 60000, whole)) {
            error = "--interval-ms wants a whole number of milliseconds up to 60000";
            return false;
        }
        options.intervalMs = static_cast<int>(whole);
    } else if (name == "--seconds") {
        if (!ParseNumber(value, options.seconds) || !(options.seconds >= 0.0) || options.seconds > 86400.0) {
            error = "--seconds wants a number of seconds from 0 to 86400";
            return false;
        }
        options.secondsGiven = true;
    } else if (name == "--readings") {
        if (!ParseWhole(value, 100000000, whole) || whole == 0) {
            error = "--readings wants a whole number above 0";
            return false;
        }
        options.readings = whole;
        options.readingsGiven = true;
    } else if (name == "--quiet") {
        if (!ParseNumber(value, options.quietSeconds) || !(options.quietSeconds > 0.0) ||
            options.quietSeconds > 86400.0) {
            error = "--quiet wants a number of seconds above 0, up to 86400";
            return false;
        }
    } else if (name == "--answers") {
        options.answersPath = value;
    } else {
        options.csvPath = value;
    }
    return true;
}

bool TakesValue(const std::string& name) {
    return name == "--interval-ms" || name == "--seconds" || name == "--readings" || name == "--quiet" ||
           name == "--csv" || name == "--answers";
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--raw") {
            options.raw = true;
        } else if (arg == "--configure") {
            options.configure = true;
        } else if (arg == "--info") {
            options.infoOnly = true;
        } else if (TakesValue(arg)) {
            if (k + 1 == args.size()) {
                error = arg + " needs a value";
                return false;
            }
            if (!ParseValueOption(arg, args[++k], options, error)) return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (options.library.empty()) {
            options.library = arg;
        } else {
            error = "only one library may be given (" + arg + ")";
            return false;
        }
    }
    // With only a reading count, the time limit still ends a run against a silent device.
    if (options.readingsGiven && !options.secondsGiven) options.seconds = 60.0;
    if (!options.help && options.library.empty()) {
        error = "no plug-in library given";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "usage: zbhost LIBRARY [options]\n"
           "Loads a data-acquisition plug-in as the host does, prints its identity and polls its\n"
           "component's Read.\n"
           "\n"
           "  --interval-ms N   time between two Read calls (default 20)\n"
           "  --seconds S       poll for S seconds (default 5; 60 when only --readings is given)\n"
           "  --readings N      stop after N readings\n"
           "  --quiet S         stop once S seconds pass without a reading, after the first one\n"
           "  --csv FILE        write every reading to FILE (seconds,afr,raw)\n"
           "  --answers FILE    write every answer but not ready to FILE (seconds,answer,raw)\n"
           "  --raw             also print the raw 16.16 value of each reading\n"
           "  --configure       show the component's configuration dialog and wait until it closes;\n"
           "                    polls afterwards only when --seconds or --readings is given\n"
           "  --info            print the identity only\n"
           "  --help            this text\n"
           "\n"
           "Exit codes: 0 done; 1 bad command line; 2 library not loaded; 3 export missing;\n"
           "4 plug-in failed a contract check; 5 a component call failed; 6 CSV file not writable;\n"
           "7 fewer readings than --readings asked for.\n";
}

}  // namespace zbhost
