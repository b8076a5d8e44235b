#include "tools/lc1sim/options.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace lc1sim {

namespace {

bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

bool ParseWhole(const std::string& text, std::uint64_t maximum, std::uint64_t& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed > maximum) return false;
    value = parsed;
    return true;
}

bool ParseReal(const std::string& text, double minimum, double maximum, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(parsed >= minimum && parsed <= maximum)) return false;
    value = parsed;
    return true;
}

bool ParseRate(const std::string& text, Rate& rate) {
    if (text == "device") {
        rate = Rate::kDevice;
    } else if (text == "line") {
        rate = Rate::kLine;
    } else if (text == "unlimited") {
        rate = Rate::kUnlimited;
    } else {
        return false;
    }
    return true;
}

bool IsFlag(const std::string& name) {
    return name == "--help" || name == "-h" || name == "--split" || name == "--garbage-any";
}

void ApplyFlag(const std::string& name, Options& options) {
    if (name == "--split") {
        options.faults.split = true;
    } else if (name == "--garbage-any") {
        options.faults.garbageAny = true;
    } else {
        options.help = true;
    }
}

bool ApplyNumber(const std::string& name, const std::string& value, Options& options, std::string& error) {
    std::uint64_t whole = 0;
    if (name == "--multiplier") {
        if (!ParseWhole(value, 255, whole)) return Fail(error, "--multiplier wants a raw value from 0 to 255");
        options.scenario.multiplier = static_cast<unsigned>(whole);
    } else if (name == "--error-status") {
        if (!ParseWhole(value, 7, whole) || (whole != 3 && whole != 6 && whole != 7)) {
            return Fail(error, "--error-status wants 3, 6 or 7");
        }
        options.scenario.errorStatus = static_cast<unsigned>(whole);
    } else if (name == "--count") {
        if (!ParseWhole(value, UINT64_MAX, whole) || whole == 0)
            return Fail(error, "--count wants a whole number above 0");
        options.count = whole;
    } else if (name == "--seed") {
        if (!ParseWhole(value, UINT64_MAX, whole)) return Fail(error, "--seed wants a whole number");
        options.seed = whole;
        options.seedGiven = true;
    } else if (name == "--duration") {
        if (!ParseReal(value, 0.001, 31536000.0, options.durationSeconds)) {
            return Fail(error, "--duration wants a number of seconds above 0");
        }
    } else if (!ParseReal(value, 0.0, 1.0, options.faults.garbage)) {  // --garbage
        return Fail(error, "--garbage wants a probability from 0 to 1");
    }
    return true;
}

bool ApplyValue(const std::string& name, const std::string& value, Options& options, std::string& error) {
    if (name == "--scenario") {
        const auto kind = ScenarioByName(value);
        if (!kind) return Fail(error, "unknown scenario '" + value + "'");
        options.scenario.kind = *kind;
    } else if (name == "--rate") {
        if (!ParseRate(value, options.rate)) return Fail(error, "--rate wants device, line or unlimited");
    } else if (name == "--replay" || name == "--replay-binary") {
        if (!options.replayPath.empty()) return Fail(error, "give only one replay file");
        options.replayPath = value;
        options.replayBinary = name == "--replay-binary";
    } else if (name == "--chain") {
        if (value.empty()) return Fail(error, "--chain wants devices, such as aux,lc1,lc1");
        options.chainText = value;
    } else if (name == "--link") {
        options.linkPath = value;
    } else if (name == "--device") {
        options.devicePath = value;
    } else if (name == "--log") {
        options.logPath = value;
    } else {
        return ApplyNumber(name, value, options, error);
    }
    return true;
}

bool TakesValue(const std::string& name) {
    static const char* const names[] = {"--scenario", "--rate",   "--multiplier",    "--error-status", "--garbage",
                                        "--seed",     "--replay", "--replay-binary", "--count",        "--duration",
                                        "--log",      "--link",   "--device",        "--chain"};
    for (const char* known : names) {
        if (name == known) return true;
    }
    return false;
}

bool CheckCombination(Options& options, std::string& error) {
    if (!options.linkPath.empty() && !options.devicePath.empty()) {
        error = "--link makes sense only with the pseudo-terminal, not with --device";
        return false;
    }
    if (!options.chainText.empty() && !options.replayPath.empty()) {
        error = "--chain makes the packets, a replay sends its own: give only one";
        return false;
    }
    // Last, so that --scenario and --multiplier anywhere on the line reach the LC-1s.
    if (!options.chainText.empty()) return ParseChain(options.chainText, options.scenario, options.chain, error);
    options.chain.assign(1, ChainDevice{});
    options.chain[0].scenario = options.scenario;
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    for (std::size_t k = 0; k < args.size(); ++k) {
        std::string name = args[k];
        std::string value;
        const auto equals = name.find('=');
        const bool inlineValue = name.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        if (IsFlag(name) && !inlineValue) {
            ApplyFlag(name, options);
            continue;
        }
        if (!TakesValue(name)) {
            error = "unknown option '" + args[k] + "'";
            return false;
        }
        if (!inlineValue) {
            if (k + 1 == args.size()) {
                error = name + " wants a value";
                return false;
            }
            value = args[++k];
        }
        if (!ApplyValue(name, value, options, error)) return false;
    }
    return CheckCombination(options, error);
}

const char* UsageText() {
    return "usage: lc1sim [options]\n"
           "Behaves like an LC-1 wideband controller on a serial line.\n"
           "\n"
           "Output (default: a new pseudo-terminal; the first stdout line is \"pty /dev/pts/N\"):\n"
           "  --link PATH          also place a symlink to the pseudo-terminal at PATH (removed on exit)\n"
           "  --device PATH        write to this serial device (set to 19200 8N1 raw) or file instead\n"
           "What it sends:\n"
           "  --scenario NAME      demo (default), warmup, sweep, calibration, error, sequence, ramp\n"
           "  --multiplier RAW     air-fuel multiplier in tenths, 0..255 (default 147)\n"
           "  --error-status S     status of the error scenario: 3, 6 (default) or 7\n"
           "  --chain DEVICES      a chain on one line, in order, such as aux,lc1,lc1:warmup:150: each\n"
           "                       lc1 with its own scenario and/or multiplier (else those above),\n"
           "                       lc1:broken sending every group with a flipped bit (its place stays),\n"
           "                       each aux one channel with its value 0..8191 (aux:100; default 66)\n"
           "  --replay FILE        send a capture written as hex text ('#' comments) instead; one\n"
           "                       with timing marks (@seconds) goes at its own times, whatever\n"
           "                       the rate, and hangs up its line where it was lost\n"
           "  --replay-binary FILE send a capture of raw bytes instead\n"
           "Pace:\n"
           "  --rate device        one packet every 81.92 ms (default)\n"
           "  --rate line          as fast as 19200 baud carries bytes (1920 bytes/s)\n"
           "  --rate unlimited     as fast as the output takes them\n"
           "Faults:\n"
           "  --garbage P          garbage run before a packet with probability P (bytes with bit 7 clear)\n"
           "  --garbage-any        garbage may hold any byte, even fake headers\n"
           "  --split              write packets in random pieces with pauses of 1..10 ms\n"
           "  --seed N             repeat every random choice of an earlier run\n"
           "Stop and record:\n"
           "  --count N            stop after N packets\n"
           "  --duration SECONDS   stop after this time (also on SIGINT/SIGTERM, or at the end of a replay)\n"
           "  --log FILE           one line per packet: index status multiplier lambda value\n"
           "  --help               this text\n";
}

}  // namespace lc1sim
