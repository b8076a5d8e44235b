// A host that a script steers line by line: loads the real plug-in library once, then
// opens, reads and closes its component on command, so a script can hang up, remove and
// bring back the device between the calls. It talks to the plug-in only through the
// host's view of the contract (slots by index, records as raw bytes).
//
// usage: fault_host LIBRARY          then commands on standard input, one per line:
//   open | close                     -> "open 0x00000000" (the answer)
//   poll MS [READINGS] [GAP_US]      -> Reads as fast as allowed (GAP_US between calls) for
//                                       MS milliseconds or until READINGS readings:
//                                       "polled calls=.. readings=.. notready=.. fail=..
//                                        notconnected=.. other=.. badcount=.. maxus=..
//                                        firstms=.. lastms=.. answers=A,A,..."
//                                       where an answer is a value ("963379"), "E" for a
//                                       device error, "N" for not connected, "X<hex>" else
//   time-read                        -> one Read: "read 0x.. us=.. transferred=.."
//   idle-reads N                     -> N Reads, each timed: "idle n=.. minus=.. medianus=..
//                                       p99us=.. maxus=.. readings=.."
//   drain                            -> Reads until one answers not ready: "drain calls=..
//                                       readings=.. firstus=.. totalus=.."
//   error                            -> "error code=.. text=..." (GetLastErrorInfo)
//   texts                            -> "texts A | B | ...": the plug-in's debug texts since the
//                                       last ask
//   unload                           -> unloads the library without closing the component and
//                                       answers "unloaded"; the host stays alive (so a script
//                                       can see what the unload alone released) until quit
//   quit
// Every answer line is flushed at once.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/contract/debug_capture.h"
#include "tools/zbhost/host_abi.h"
#include "tools/zbhost/plugin_library.h"

namespace {

using Clock = std::chrono::steady_clock;
using zbhost::HResult;

std::int64_t MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

void Reply(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Hex(HResult code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

class Component {
public:
    explicit Component(void* component) : component_(component) {
        record_.Put32(zbhost::transfer_record::kSize, zbhost::transfer_record::kSizeValue);
        record_.PutPointer(zbhost::transfer_record::kBuffer, sample_);
        record_.Put32(zbhost::transfer_record::kCapacity, sizeof sample_);
        record_.PutPointer(zbhost::transfer_record::kBytesTransferred, &transferred_);
    }

    HResult Open() {
        zbhost::Record<zbhost::open_params::kRecordBytes> params;
        params.Put32(zbhost::open_params::kSize, zbhost::open_params::kSizeValue);
        return zbhost::component_call::Open(component_, params.Data());
    }
    HResult Close() { return zbhost::component_call::Close(component_); }

    // One Read; the count is poisoned first so an answer that forgets to set it shows.
    HResult Read() {
        transferred_ = 0xDEADBEEFu;
        return zbhost::component_call::Read(component_, record_.Data());
    }
    std::uint32_t Transferred() const { return transferred_; }
    std::int32_t Sample() const {
        std::int32_t value = 0;
        std::memcpy(&value, sample_, sizeof value);
        return value;
    }
    std::string LastError(std::int32_t& code) {
        code = -1;
        const char* text = zbhost::component_call::GetLastErrorInfo(component_, &code);
        return text != nullptr ? std::string(text) : std::string("(null)");
    }

private:
    void* component_;
    zbhost::Record<zbhost::transfer_record::kRecordBytes> record_;
    unsigned char sample_[4] = {};
    std::uint32_t transferred_ = 0;
};

void Poll(Component& component, long milliseconds, long wantedReadings, long gapMicroseconds) {
    long calls = 0, readings = 0, notReady = 0, fail = 0, notConnected = 0, other = 0, badCount = 0;
    std::int64_t longest = 0, first = -1, last = -1;
    std::string answers;
    const auto start = Clock::now();
    const std::int64_t limit = static_cast<std::int64_t>(milliseconds) * 1000;
    while (MicrosecondsSince(start) < limit && (wantedReadings <= 0 || readings < wantedReadings)) {
        const auto before = Clock::now();
        const HResult answer = component.Read();
        longest = std::max(longest, MicrosecondsSince(before));
        ++calls;
        const std::uint32_t expectedCount = answer == zbhost::kOk ? 4u : 0u;
        if (component.Transferred() != expectedCount) ++badCount;
        std::string token;
        if (answer == zbhost::kOk) {
            ++readings;
            token = std::to_string(component.Sample());
            last = MicrosecondsSince(start);
            if (first < 0) first = last;
        } else if (answer == zbhost::kNotReady) {
            ++notReady;
        } else if (answer == zbhost::kFail) {
            ++fail;
            token = "E";
        } else if (answer == zbhost::kNotConnected) {
            ++notConnected;
            token = "N";
        } else {
            ++other;
            token = "X" + Hex(answer);
        }
        if (!token.empty()) answers += (answers.empty() ? "" : ",") + token;
        if (gapMicroseconds > 0) std::this_thread::sleep_for(std::chrono::microseconds(gapMicroseconds));
    }
    char summary[320];
    std::snprintf(summary, sizeof summary,
                  "polled calls=%ld readings=%ld notready=%ld fail=%ld notconnected=%ld other=%ld badcount=%ld "
                  "maxus=%lld firstms=%.3f lastms=%.3f answers=",
                  calls, readings, notReady, fail, notConnected, other, badCount, static_cast<long long>(longest),
                  static_cast<double>(first) / 1000.0, static_cast<double>(last) / 1000.0);
    Reply(summary + answers);
}

void IdleReads(Component& component, long count) {
    std::vector<std::int64_t> times;  // nanoseconds: a native Read takes well under one microsecond
    long readings = 0;
    for (long i = 0; i < count; ++i) {
        const auto before = Clock::now();
        if (component.Read() == zbhost::kOk) ++readings;
        times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - before).count());
    }
    if (times.empty()) {
        Reply("idle n=0");
        return;
    }
    std::sort(times.begin(), times.end());
    const auto at = [&times](double fraction) {
        const auto index = static_cast<std::size_t>(fraction * static_cast<double>(times.size() - 1));
        return static_cast<double>(times[index]) / 1000.0;
    };
    char summary[200];
    std::snprintf(summary, sizeof summary, "idle n=%zu minus=%.2f medianus=%.2f p99us=%.2f maxus=%.2f readings=%ld",
                  times.size(), at(0.0), at(0.5), at(0.99), at(1.0), readings);
    Reply(summary);
}

void Drain(Component& component) {
    long calls = 0, readings = 0;
    std::int64_t firstCall = 0;
    const auto start = Clock::now();
    for (;;) {
        const HResult answer = component.Read();
        if (calls++ == 0) firstCall = MicrosecondsSince(start);
        if (answer == zbhost::kOk) ++readings;
        if (answer == zbhost::kNotReady || calls > 1000) break;
    }
    char summary[160];
    std::snprintf(summary, sizeof summary, "drain calls=%ld readings=%ld firstus=%lld totalus=%lld", calls, readings,
                  static_cast<long long>(firstCall), static_cast<long long>(MicrosecondsSince(start)));
    Reply(summary);
}

long Argument(const std::vector<std::string>& words, std::size_t index, long fallback) {
    return index < words.size() ? std::strtol(words[index].c_str(), nullptr, 10) : fallback;
}

std::vector<std::string> Words(const char* line) {
    std::vector<std::string> words;
    std::string word;
    for (const char* p = line; *p != '\0'; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += *p;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fault_host LIBRARY  (commands on standard input)\n");
        return 1;
    }
    std::string error;
    zbhost::LibraryHandle library = zbhost::LoadPluginLibrary(argv[1], error);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    auto create =
        reinterpret_cast<zbhost::CreatePluginFunction>(zbhost::FindExport(library, zbhost::kCreatePluginExport));
    void* object = create != nullptr ? zbhost::plugin_call::GetComponent(create(), 0) : nullptr;
    if (object == nullptr) {
        std::fprintf(stderr, "no component\n");
        return 3;
    }
    Component component(object);
    contract::StartDebugCapture();
    Reply("loaded");

    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        const std::vector<std::string> words = Words(line);
        if (words.empty()) continue;
        const std::string& command = words[0];
        if (command == "open") {
            Reply("open " + Hex(component.Open()));
        } else if (command == "close") {
            Reply("close " + Hex(component.Close()));
        } else if (command == "poll") {
            Poll(component, Argument(words, 1, 1000), Argument(words, 2, 0), Argument(words, 3, 0));
        } else if (command == "time-read") {
            const auto before = Clock::now();
            const HResult answer = component.Read();
            const std::int64_t took = MicrosecondsSince(before);
            Reply("read " + Hex(answer) + " us=" + std::to_string(took) +
                  " transferred=" + std::to_string(component.Transferred()));
        } else if (command == "idle-reads") {
            IdleReads(component, Argument(words, 1, 1000));
        } else if (command == "drain") {
            Drain(component);
        } else if (command == "texts") {
            std::string texts;
            for (const std::string& text : contract::StopDebugCapture()) texts += (texts.empty() ? "" : " | ") + text;
            contract::StartDebugCapture();
            Reply("texts " + texts);
        } else if (command == "error") {
            std::int32_t code = 0;
            const std::string text = component.LastError(code);
            Reply("error code=" + std::to_string(code) + " text=" + text);
        } else if (command == "unload") {
            zbhost::UnloadPluginLibrary(library);
            library = nullptr;
            Reply("unloaded");
            while (std::fgets(line, sizeof line, stdin) != nullptr && Words(line) != std::vector<std::string>{"quit"}) {
            }
            return 0;
        } else if (command == "quit") {
            break;
        } else {
            Reply("unknown " + command);
        }
    }
    zbhost::UnloadPluginLibrary(library);
    Reply("unloaded");
    return 0;
}
