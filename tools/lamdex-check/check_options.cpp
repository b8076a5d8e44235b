#include "tools/lamdex-check/check_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "driver/packet_reader.h"
#include "lamdex/port_number.h"

namespace lamdex::check {
namespace {

// "5" or, as Windows names it, "COM5".
bool ParsePort(const std::string& text, int& port, std::string& error) {
    std::size_t digits = 0;
    if (text.size() > 3 && (text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') &&
        (text[2] == 'M' || text[2] == 'm')) {
        digits = 3;
    }
    std::string number = text.substr(digits);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        error = "\"" + text + "\" is not a port number: give one from 1 to 255, such as 5 for COM5";
        return false;
    }
    // "0005" and "COM0005" are port 5, however many zeros lead.
    number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
    const unsigned long value = std::strtoul(number.c_str(), nullptr, 10);
    if (number.size() > 3 || !IsPortNumber(static_cast<int>(value))) {
        error = "there is no COM" + number + ": port numbers go from 1 to 255";
        return false;
    }
    port = static_cast<int>(value);
    return true;
}

bool ParseSeconds(const std::string& text, double& seconds, std::string& error) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(begin, &end);
    if (end == begin || errno != 0 || *end != '\0' || !(seconds >= 0.1 && seconds <= 86400.0)) {
        error = "--seconds wants a number of seconds from 0.1 to 86400, not \"" + text + "\"";
        return false;
    }
    return true;
}

// The LC-1's place in the chain, counted from the head of the packet.
bool ParseSensor(const std::string& text, int& sensor, std::string& error) {
    std::string number = text;
    if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) {
        number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
        const unsigned long value = number.size() <= 3 ? std::strtoul(number.c_str(), nullptr, 10) : 0;
        if (value >= kDefaultSensor && value <= kMaxSensor) {
            sensor = static_cast<int>(value);
            return true;
        }
    }
    error = "--sensor wants the LC-1's place in the chain, from 1 (the first) to " + std::to_string(kMaxSensor) +
            ", not \"" + text + "\"";
    return false;
}

bool TakeCommand(Command command, const std::string& name, Options& options, std::string& error) {
    if (options.command != Command::kFindLc1) {
        error = "give only one of --port and --save (" + name + " came second)";
        return false;
    }
    options.command = command;
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    bool secondsGiven = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            options.command = Command::kHelp;
            return true;
        }
        const bool takesValue =
            arg == "--port" || arg == "--save" || arg == "--seconds" || arg == "--record" || arg == "--sensor";
        if (!takesValue) {
            error = (!arg.empty() && arg[0] == '-') ? "unknown option " + arg
                                                    : "unexpected \"" + arg + "\": a port goes after --port or --save";
            return false;
        }
        if (k + 1 == args.size() || (arg == "--record" && args[k + 1].empty())) {
            error = arg + (arg == "--seconds"  ? " needs a number of seconds"
                           : arg == "--record" ? " needs a file name"
                           : arg == "--sensor" ? " needs the LC-1's place in the chain"
                                               : " needs a port number");
            return false;
        }
        if ((arg == "--seconds" && secondsGiven) || (arg == "--record" && !options.recordPath.empty()) ||
            (arg == "--sensor" && options.sensor != 0)) {
            error = "give " + arg + " only once";
            return false;
        }
        const std::string& value = args[++k];
        if (arg == "--seconds") {
            if (!ParseSeconds(value, options.seconds, error)) return false;
            secondsGiven = true;
        } else if (arg == "--record") {
            options.recordPath = value;
        } else if (arg == "--sensor") {
            if (!ParseSensor(value, options.sensor, error)) return false;
        } else if (!TakeCommand(arg == "--port" ? Command::kFollowPort : Command::kSavePort, arg, options, error) ||
                   !ParsePort(value, options.port, error)) {
            return false;
        }
    }
    if ((secondsGiven || !options.recordPath.empty()) && options.command != Command::kFollowPort) {
        error = (secondsGiven ? "--seconds" : "--record") + std::string(" goes with --port");
        return false;
    }
    if (options.sensor != 0 && options.command != Command::kSavePort) {
        error = "--sensor goes with --save";
        return false;
    }
    // A fault may take its time to show: a record goes on until the user has seen it.
    if (!options.recordPath.empty() && !secondsGiven) options.seconds = kUntilCtrlC;
    return true;
}

const char* UsageText() {
    return "usage: lamdex-check [--port N [--seconds S] [--record FILE] | --save N [--sensor M]]\n"
           "Finds the LC-1 and checks what the Lamdex plug-in would read, with the plug-in's own\n"
           "serial port and packet code.\n"
           "\n"
           "  (no option)      listen to every serial port for half a second and say what each\n"
           "                   carries (each LC-1 of a chain and the auxiliary inputs, and which\n"
           "                   LC-1 the plug-in reads); show the plug-in's configuration file and\n"
           "                   what to do\n"
           "  --port N         follow COMN live, through unplugging as the plug-in does: one line\n"
           "                   per packet and whenever the port goes or comes back, then the counts;\n"
           "                   Ctrl-C ends it early\n"
           "  --seconds S      how long --port follows (default 10; with --record, until Ctrl-C)\n"
           "  --record FILE    also write everything COMN sends, with its timing, to FILE (text):\n"
           "                   send it with a fault report, and the fault can be replayed\n"
           "  --save N         make the plug-in use COMN: writes its configuration file, making\n"
           "                   the Plugins folder first if it is missing; the LC-1 it reads stays\n"
           "                   as saved unless --sensor says otherwise\n"
           "  --sensor M       with --save: the plug-in reads LC-1 #M of a chain, counted from\n"
           "                   the head of each packet (1, the default, for a lone LC-1)\n"
           "  --help           this text\n"
           "\n"
           "Exit codes: 0 LC-1 found, or the port saved; 1 bad command line, or FILE cannot be\n"
           "written; 2 no LC-1 found; 3 the configuration could not be saved.\n";
}

}  // namespace lamdex::check
