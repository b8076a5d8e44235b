// lc1sim: behaves like an LC-1 wideband controller on a serial line.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tools/lc1sim/capture.h"
#include "tools/lc1sim/faults.h"
#include "tools/lc1sim/options.h"
#include "tools/lc1sim/pacer.h"
#include "tools/lc1sim/sim_line.h"
#include "tools/lc1sim/source.h"

namespace lc1sim {
namespace {

constexpr std::int64_t kLingerNs = 2000000000;
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "lc1sim: %s\n", message.c_str());
    return kExitFailure;
}

bool LoadCapture(const Options& options, Capture& capture, std::string& error) {
    std::string contents;
    if (!ReadWholeFile(options.replayPath, contents, error)) return false;
    if (options.replayBinary) {
        capture.bytes.assign(contents.begin(), contents.end());
        return true;
    }
    if (ParseHexCapture(contents, capture, error)) return true;
    error = options.replayPath + ": " + error;
    return false;
}

bool OpenLine(const Options& options, SimLine& line, std::string& error) {
    if (!options.devicePath.empty()) return line.OpenDevice(options.devicePath, error);
    std::string slavePath;
    if (!line.OpenPseudoTerminal(slavePath, error)) return false;
    std::printf("pty %s\n", slavePath.c_str());
    if (!options.linkPath.empty()) {
        if (!line.PlaceLink(options.linkPath, error)) return false;
        std::printf("link %s\n", options.linkPath.c_str());
    }
    std::fflush(stdout);
    return true;
}

std::uint64_t ChooseSeed(const Options& options) {
    if (options.seedGiven) return options.seed;
    std::random_device device;
    const std::uint64_t seed = (std::uint64_t{device()} << 32) | device();
    if (options.faults.garbage > 0.0 || options.faults.split) {
        std::fprintf(stderr, "lc1sim: seed %llu\n", static_cast<unsigned long long>(seed));
    }
    return seed;
}

enum class Outcome { kFinished, kTimeUp, kStopped, kFailed };

class Run {
public:
    Run(const Options& options, const PacketSource& source, SimLine& line, std::FILE* log)
        : options_(options), source_(source), line_(line), log_(log), random_(ChooseSeed(options)) {}

    Outcome Play(std::string& error) {
        start_ = MonotonicNs();
        const auto limit = static_cast<std::int64_t>(options_.durationSeconds * 1e9);
        deadline_ = options_.durationSeconds > 0.0 ? start_ + limit : INT64_MAX;
        Outgoing outgoing;
        std::uint64_t sent = 0;
        for (std::uint64_t index = 0; options_.count == 0 || sent < options_.count; ++index) {
            if (!source_.Next(index, outgoing)) return Outcome::kFinished;
            const Outcome outcome =
                outgoing.change == LineChange::kNone ? Send(outgoing, error) : ChangeLine(outgoing, error);
            if (outcome == Outcome::kTimeUp) return Outcome::kFinished;
            if (outcome != Outcome::kFinished) return outcome;
            if (outgoing.change == LineChange::kNone) Log(sent++, outgoing);
            if (deadline_ != INT64_MAX && MonotonicNs() >= deadline_) break;
        }
        return Outcome::kFinished;
    }

private:
    // A device or file keeps its line through a recorded outage: only the gap is replayed.
    Outcome ChangeLine(const Outgoing& outgoing, std::string& error) {
        if (start_ + outgoing.atNs > deadline_) return Outcome::kTimeUp;
        if (!line_.WaitUntil(start_ + outgoing.atNs)) return Outcome::kStopped;
        if (!options_.devicePath.empty()) return Outcome::kFinished;
        if (outgoing.change == LineChange::kLost) {
            line_.Linger(kLingerNs);  // a hang-up discards what the reader has not taken, which the record had
            line_.HangUp();
        } else if (!line_.IsOpen() && !OpenLine(options_, line_, error)) {
            return Outcome::kFailed;
        }
        return Outcome::kFinished;
    }

    Outcome Send(const Outgoing& outgoing, std::string& error) {
        if (outgoing.atNs == kPaced) {
            pacer_.StartPacket();
        } else {
            pacer_.StartPacketAt(outgoing.atNs);
        }
        for (const Piece& piece : PlanWrites(outgoing.bytes, options_.faults, random_)) {
            const std::int64_t due = start_ + pacer_.Schedule(piece.bytes.size(), piece.pauseNs);
            if (due > deadline_) return Outcome::kTimeUp;
            if (!line_.WaitUntil(due)) return Outcome::kStopped;
            if (!line_.WriteAll(piece.bytes, error)) return StopRequested() ? Outcome::kStopped : Outcome::kFailed;
            pacer_.Delivered(MonotonicNs() - start_);
        }
        return Outcome::kFinished;
    }

    void Log(std::uint64_t index, const Outgoing& outgoing) {
        if (log_ == nullptr) return;
        std::fprintf(log_, "%s\n", LogLine(index, outgoing.readings).c_str());
        std::fflush(log_);  // a test may compare while the run goes on
    }

    const Options& options_;
    const PacketSource& source_;
    SimLine& line_;
    std::FILE* log_;
    Random random_;
    Pacer pacer_{source_.Timed() ? Rate::kUnlimited : options_.rate};
    std::int64_t start_ = 0;
    std::int64_t deadline_ = 0;
};

int Main(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(stderr, "lc1sim: %s\n(lc1sim --help lists the options)\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return kExitOk;
    }
    Capture capture;
    if (!options.replayPath.empty() && !LoadCapture(options, capture, error)) return Fail(error);
    const PacketSource source =
        options.replayPath.empty() ? PacketSource::ForChain(options.chain) : PacketSource::ForCapture(capture);
    std::FILE* log = nullptr;
    if (!options.logPath.empty()) {
        log = std::fopen(options.logPath.c_str(), "w");
        if (log == nullptr) return Fail("cannot write " + options.logPath);
        std::fprintf(log, "%s\n", kLogHeader);
    }
    InstallStopHandlers();
    SimLine line;
    Outcome outcome = Outcome::kFailed;
    if (OpenLine(options, line, error)) {
        Run run(options, source, line, log);
        outcome = run.Play(error);
        if (outcome == Outcome::kFinished) line.Linger(kLingerNs);
    }
    if (log != nullptr) std::fclose(log);
    return outcome == Outcome::kFailed ? Fail(error) : kExitOk;
}

}  // namespace
}  // namespace lc1sim

int main(int argc, char** argv) {
    return lc1sim::Main(std::vector<std::string>(argv + 1, argv + argc));
}
