// The component, its line keeper and the Windows serial link against models of real port
// drivers, which no machine here has: serial_link_win32.cpp is compiled natively against the
// Win32 calls below, which behave as drivers are documented to, and the clock is the
// model's. A host Read every 10 ms drives the real LC1Driver through each row's story.
#include <windows.h>  // the model's (tests/unit/win32_model)

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "driver/clock.h"
#include "driver/debug_output.h"
#include "driver/lc1_driver.h"

namespace {

// A driver, as documented.
struct Profile {
    bool refusesEqualXonXoff = false;  // as IOCTL_SERIAL_SET_CHARS does
    bool refusesCommConfig = false;    // the provider takes only SetCommState
    bool leftByATerminal = false;      // 9600 7E1, XON/XOFF, abort on error, a framing error pending
    // What a removed device's handle does while it is still open: fails every call with this
    // error, or with 0 answers every call, reads nothing and keeps the port's name taken.
    DWORD removedHandleError = ERROR_GEN_FAILURE;
    std::uint64_t openMs = 2;
    bool releasesNameLate = false;  // an open just after a close is refused
};

enum class Device { kSending, kSwitchedOff, kPulled, kReadsFail };
struct Phase {
    std::uint64_t ms;
    Device device;
    bool clockStepsBack = false;  // by an hour, as the phase begins
};

struct Handle {
    bool open = false;
    int instance = 0;  // which plugging-in of the device it was opened on
};

// One port and the device behind it. The port's settings outlive every handle.
struct Model {
    Profile profile;
    DCB dcb{};
    bool lineError = false;
    Device device = Device::kSending;
    int instance = 1;
    std::deque<std::uint8_t> queue;
    std::vector<Handle> handles;
    DWORD lastError = 0;
    std::uint64_t realMs = 0;
    std::int64_t clockOffsetMs = 10000000000;  // hours after the clock began
    std::uint64_t msInCalls = 0;
    int opens = 0;
    std::int64_t lastCloseMs = -1000;
} model;

Handle* Find(HANDLE handle) {
    const auto index = reinterpret_cast<std::uintptr_t>(handle);
    return index >= 1 && index <= model.handles.size() ? &model.handles[index - 1] : nullptr;
}
bool Removed(const Handle& handle) {
    return handle.instance != model.instance || model.device == Device::kPulled;
}
bool Fail(DWORD error) {
    model.lastError = error;
    return false;
}
// A removed device's handle: false with the profile's error, or true when it still answers.
bool RemovedHandleFails(const Handle& handle) {
    if (!Removed(handle) || model.profile.removedHandleError == 0) return false;
    model.lastError = model.profile.removedHandleError;
    return true;
}
bool Apply(const DCB& dcb) {
    if (model.profile.refusesEqualXonXoff && dcb.XonChar == dcb.XoffChar) return Fail(ERROR_INVALID_PARAMETER);
    model.dcb = dcb;
    return true;
}

// The device's line through the port's settings: a wrong speed or frame garbles every byte
// with a framing error; XON/XOFF on eats 0x11 and 0x13.
void Receive(std::uint8_t byte) {
    const DCB& dcb = model.dcb;
    if (dcb.BaudRate != 19200 || dcb.ByteSize != 8 || dcb.Parity != NOPARITY) {
        model.lineError = true;
        model.queue.push_back(static_cast<std::uint8_t>(byte ^ 0x5A));
    } else if (!(dcb.fOutX && (static_cast<char>(byte) == dcb.XonChar || static_cast<char>(byte) == dcb.XoffChar))) {
        model.queue.push_back(byte);
    }
}

}  // namespace

DWORD GetLastError() {
    return model.lastError;
}
HANDLE CreateFileA(const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) {
    ++model.opens;
    model.realMs += model.profile.openMs;
    model.msInCalls += model.profile.openMs;
    bool taken = false;
    for (const Handle& handle : model.handles) taken = taken || handle.open;
    if (taken || (model.profile.releasesNameLate &&
                  static_cast<std::int64_t>(model.realMs - model.profile.openMs) <= model.lastCloseMs)) {
        return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    }
    if (model.device == Device::kPulled) return Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    model.queue.clear();
    model.handles.push_back(Handle{true, model.instance});
    return reinterpret_cast<HANDLE>(model.handles.size());
}
BOOL CloseHandle(HANDLE handle) {
    Handle* found = Find(handle);
    if (found == nullptr || !found->open) return Fail(6);
    found->open = false;
    model.lastCloseMs = static_cast<std::int64_t>(model.realMs);
    return TRUE;
}
BOOL ReadFile(HANDLE handle, void* buffer, DWORD, DWORD* count, OVERLAPPED*) {
    *count = 0;
    const Handle* found = Find(handle);
    if (found == nullptr || !found->open || RemovedHandleFails(*found)) return FALSE;
    if (Removed(*found)) return TRUE;
    if (model.device == Device::kReadsFail) return Fail(ERROR_BAD_COMMAND);
    if (model.lineError && model.dcb.fAbortOnError) return Fail(ERROR_OPERATION_ABORTED);
    if (model.queue.empty()) return TRUE;
    *static_cast<std::uint8_t*>(buffer) = model.queue.front();
    model.queue.pop_front();
    *count = 1;
    return TRUE;
}
BOOL GetCommState(HANDLE handle, DCB* dcb) {
    const Handle* found = Find(handle);
    if (found == nullptr || RemovedHandleFails(*found)) return FALSE;
    *dcb = model.dcb;
    return TRUE;
}
BOOL SetCommState(HANDLE handle, DCB* dcb) {
    const Handle* found = Find(handle);
    return found != nullptr && !RemovedHandleFails(*found) && Apply(*dcb);
}
BOOL SetCommConfig(HANDLE handle, COMMCONFIG* config, DWORD size) {
    if (model.profile.refusesCommConfig || size < sizeof(COMMCONFIG)) return Fail(ERROR_INVALID_FUNCTION);
    return SetCommState(handle, &config->dcb);
}
BOOL SetCommTimeouts(HANDLE handle, COMMTIMEOUTS*) {
    const Handle* found = Find(handle);
    return found != nullptr && !RemovedHandleFails(*found);
}
BOOL ClearCommError(HANDLE handle, DWORD* errors, COMSTAT*) {
    const Handle* found = Find(handle);
    if (found == nullptr || RemovedHandleFails(*found)) return FALSE;
    *errors = model.lineError ? 8u : 0u;  // CE_FRAME
    model.lineError = false;
    return TRUE;
}

namespace lamdex {

std::vector<std::string> texts;

std::uint64_t MonotonicMilliseconds() {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(model.realMs) + model.clockOffsetMs);
}
void WriteDebugText(const char* text) {
    texts.emplace_back(text);
}
void DescribePlatformError(std::uint32_t, char* text, std::size_t size) {
    (void)std::snprintf(text, size, "reason");
}

namespace test {
namespace {

constexpr std::uint64_t kPacketMs = 82;
constexpr std::uint8_t kMultiplier = 147;  // 14.7: 0x13 in every packet, its top bit in 0x43

// Packet n carries lambda 300 + n % 1000, so that each reading names its packet; its last
// byte runs through every 7-bit value, 0x11 and 0x13 included.
std::uint16_t LambdaOf(int packet) {
    return static_cast<std::uint16_t>(300 + packet % 1000);
}

struct Row {
    const char* story;
    Profile profile;
    std::vector<Phase> phases;
    std::vector<std::string> texts;  // "lost", "open failed", "back"
    int mostOpens;
    // Within this of a phase in which the device sends, every packet it sends is read.
    std::uint64_t readingsWithinMs;
};

struct Outcome {
    std::vector<std::string> texts;
    std::vector<std::uint64_t> firstReadingMs;  // after each sending phase began
    std::vector<std::string> faults;
};

// The line's texts; what the LC-1 says is another matter.
std::string KindOf(const std::string& text) {
    if (text.rfind("LC1Driver::Open ", 0) == 0 && text.find(" failed: ") != std::string::npos) return "open failed";
    if (text.find(" lost: ") != std::string::npos) return "lost";
    if (text.find(" back after ") != std::string::npos) return "back";
    return "";
}

class DriverModel {
public:
    explicit DriverModel(const Row& row) : row_(row) {
        model = Model{};
        model.profile = row.profile;
        model.dcb.DCBlength = sizeof(DCB);
        model.dcb.BaudRate = 9600;
        model.dcb.ByteSize = 8;
        model.dcb.XonLim = 2048;
        model.dcb.XoffLim = 512;
        if (row.profile.leftByATerminal) {
            model.dcb.ByteSize = 7;
            model.dcb.Parity = EVENPARITY;
            model.dcb.fOutX = model.dcb.fInX = model.dcb.fAbortOnError = 1;
            model.dcb.XonChar = 0x11;
            model.dcb.XoffChar = 0x13;
            model.lineError = true;
        }
        texts.clear();
        for (int packet = 0; packet < 1000; ++packet)
            packetOf_[ConvertToFixedAfr(LambdaOf(packet), kMultiplier)] = packet;
    }

    Outcome Run() {
        setenv("HOME", "/nonexistent/lamdex-model", 1);
        model.device = row_.phases.front().device;
        LC1Driver driver;
        zb::OpenParams params{zb::kOpenParamsSize, {}};
        driver.Open(&params);
        for (std::size_t phase = 0; phase < row_.phases.size(); ++phase) RunPhase(driver, phase);
        model.device = Device::kSwitchedOff;  // what is on its way is read; no time to reopen
        Poll(driver, 300);
        driver.Close();
        for (const std::string& text : texts) {
            if (!KindOf(text).empty()) outcome_.texts.push_back(KindOf(text));
        }
        CheckEveryPacketRead();
        return outcome_;
    }

private:
    void RunPhase(LC1Driver& driver, std::size_t phase) {
        const Phase& now = row_.phases[phase];
        if (now.device != Device::kPulled && model.device == Device::kPulled) ++model.instance;
        model.device = now.device;
        if (now.clockStepsBack) model.clockOffsetMs -= 3600000;
        phase_ = phase;
        phaseStarts_.push_back(model.realMs);
        outcome_.firstReadingMs.push_back(0);
        Poll(driver, now.ms);
    }

    void Poll(LC1Driver& driver, std::uint64_t ms) {
        for (const std::uint64_t end = model.realMs + ms; model.realMs < end; model.realMs += 10) {
            Send();
            std::int32_t afr = 0;
            std::uint32_t transferred = 0;
            zb::TransferRecord record{zb::kTransferRecordSize, &afr, sizeof afr, &transferred, 0};
            if (driver.Read(&record) == zb::kOk) Note(afr);
        }
    }

    void Send() {
        for (; nextPacketMs_ <= model.realMs; nextPacketMs_ += kPacketMs) {
            if (model.device != Device::kSending) continue;
            const int packet = sent_++;
            phaseOf_.push_back(phase_);
            sentAt_.push_back(model.realMs);
            const bool listened =
                !model.handles.empty() && model.handles.back().open && model.handles.back().instance == model.instance;
            if (!listened) continue;  // a port nobody has open loses what arrives
            const std::uint16_t lambda = LambdaOf(packet);
            for (std::uint8_t byte :
                 {std::uint8_t{0xB2}, std::uint8_t{0x82}, std::uint8_t{0x43}, std::uint8_t{kMultiplier & 0x7F},
                  static_cast<std::uint8_t>(lambda >> 7), static_cast<std::uint8_t>(lambda & 0x7F)}) {
                Receive(byte);
            }
        }
    }

    void Note(std::int32_t afr) {
        const auto found = packetOf_.find(afr);
        if (found == packetOf_.end()) return outcome_.faults.push_back("a reading no packet carried");
        const int packet = found->second;  // runs are shorter than 1000 packets
        if (packet <= lastRead_) return outcome_.faults.push_back("a reading read twice, or out of order");
        lastRead_ = packet;
        read_.push_back(packet);
        const std::size_t phase = phaseOf_[static_cast<std::size_t>(packet)];
        if (outcome_.firstReadingMs[phase] == 0) outcome_.firstReadingMs[phase] = model.realMs - phaseStarts_[phase];
    }

    // Of each sending phase, every packet sent after readingsWithinMs was read.
    void CheckEveryPacketRead() {
        std::vector<bool> wasRead(static_cast<std::size_t>(sent_));
        for (int packet : read_) wasRead[static_cast<std::size_t>(packet)] = true;
        for (std::size_t packet = 0; packet < wasRead.size(); ++packet) {
            const std::size_t phase = phaseOf_[packet];
            if (!wasRead[packet] && sentAt_[packet] >= phaseStarts_[phase] + row_.readingsWithinMs) {
                outcome_.faults.push_back("packet " + std::to_string(packet) + " of phase " + std::to_string(phase) +
                                          " never read");
            }
        }
    }

    const Row& row_;
    Outcome outcome_;
    std::map<std::int32_t, int> packetOf_;
    std::vector<std::size_t> phaseOf_;
    std::vector<std::uint64_t> sentAt_;
    std::vector<std::uint64_t> phaseStarts_;
    std::vector<int> read_;
    std::size_t phase_ = 0;
    std::uint64_t nextPacketMs_ = kPacketMs;
    int sent_ = 0;
    int lastRead_ = -1;
};

constexpr Profile kStrict{true, false, false, ERROR_GEN_FAILURE, 2};
constexpr Profile kStrictLeftByATerminal{true, false, true, ERROR_GEN_FAILURE, 2};
constexpr Profile kNoCommConfigLeftByATerminal{false, true, true, ERROR_GEN_FAILURE, 2};
constexpr Profile RemovedHandleFailsWith(DWORD error) {
    return Profile{true, false, false, error, 2};
}
constexpr Profile kRemovedHandleAnswers{true, false, false, 0, 2};
constexpr Profile kSlowOpens{true, false, false, ERROR_GEN_FAILURE, 300};
constexpr Profile kReleasesNameLate{true, false, false, ERROR_GEN_FAILURE, 2, true};

const std::vector<Phase> kPulledFor3s{{3000, Device::kSending}, {3000, Device::kPulled}, {4000, Device::kSending}};

const Row kRows[] = {
    {"equal XON and XOFF refused", kStrict, {{10000, Device::kSending}}, {}, 1, 0},
    {"equal XON and XOFF refused, the port left at 9600 7E1 with XON/XOFF and abort-on-error",
     kStrictLeftByATerminal,
     {{10000, Device::kSending}},
     {},
     1,
     0},
    {"no SetCommConfig, the port left as above", kNoCommConfigLeftByATerminal, {{10000, Device::kSending}}, {}, 1, 0},
    {"removed handle fails its calls (31; 22 and 5 are met alike)",
     RemovedHandleFailsWith(31),
     kPulledFor3s,
     {"lost", "open failed", "back"},
     12,
     1000},
    {"removed handle answers, reads nothing and holds the name",
     kRemovedHandleAnswers,
     kPulledFor3s,
     {"lost", "back"},
     12,
     2000},
    {"removed handle answers, plugged back within half a second",
     kRemovedHandleAnswers,
     {{3000, Device::kSending}, {500, Device::kPulled}, {3000, Device::kSending}},
     {},
     3,
     2000},
    {"removed handle fails, plugged back at once",
     RemovedHandleFailsWith(31),
     {{3000, Device::kSending}, {10, Device::kPulled}, {3000, Device::kSending}},
     {"lost", "back"},
     3,
     1000},
    {"LC-1 switched off for a minute",
     kStrict,
     {{3000, Device::kSending}, {60000, Device::kSwitchedOff}, {4000, Device::kSending}},
     {},
     64,
     2000},
    {"the name refuses an open just after a close, LC-1 switched off for a minute",
     kReleasesNameLate,
     {{3000, Device::kSending}, {60000, Device::kSwitchedOff}, {4000, Device::kSending}},
     {"lost", "back"},
     36,
     5000},
    {"port opens but every read fails for a minute, then mends",
     kStrict,
     {{60000, Device::kReadsFail}, {8000, Device::kSending}},
     {"lost", "back"},
     30,
     LineKeeper::kLongestRetryIntervalMs + 2000},
    {"300 ms opens with the device away for a minute",
     kSlowOpens,
     {{60000, Device::kPulled}, {4000, Device::kSending}},
     {"open failed", "back"},
     25,
     3500},
    {"clock stepped back an hour while the device was away",
     kStrict,
     {{2000, Device::kPulled}, {3000, Device::kSending, true}},
     {"open failed", "back"},
     8,
     1000},
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.story;
}

class LineKeeperTest : public ::testing::TestWithParam<Row> {};

TEST_P(LineKeeperTest, ReadsEveryPacketTellsEachOutageOnceAndOpensSparingly) {
    const Row& row = GetParam();
    const Outcome outcome = DriverModel(row).Run();
    const double share = static_cast<double>(model.msInCalls) / static_cast<double>(model.realMs);
    std::printf("%s: %d opens, %.1f %% of the time opening; first reading after", row.story, model.opens, share * 100);
    for (std::uint64_t ms : outcome.firstReadingMs) std::printf(" %llu ms", static_cast<unsigned long long>(ms));
    std::printf("\n");
    EXPECT_EQ(outcome.faults, std::vector<std::string>{});
    EXPECT_EQ(outcome.texts, row.texts);
    EXPECT_LE(model.opens, row.mostOpens);
    EXPECT_LE(share, 0.10);
}

INSTANTIATE_TEST_SUITE_P(Drivers, LineKeeperTest, ::testing::ValuesIn(kRows));

}  // namespace
}  // namespace test
}  // namespace lamdex
