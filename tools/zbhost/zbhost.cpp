// zbhost: loads a data-acquisition plug-in the way the host application does (exports,
// slots by index, records by byte offset), shows what it says about itself and polls
// its component's Read.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/zbhost/configuration_loop.h"
#include "tools/zbhost/debug_texts.h"
#include "tools/zbhost/host_abi.h"
#include "tools/zbhost/host_format.h"
#include "tools/zbhost/host_options.h"
#include "tools/zbhost/plugin_library.h"

namespace zbhost {
namespace {

enum ExitCode : int {
    kExitDone = 0,
    kExitUsage = 1,
    kExitNotLoaded = 2,
    kExitExportMissing = 3,
    kExitContract = 4,
    kExitCallFailed = 5,
    kExitCsv = 6,
    kExitTooFewReadings = 7,
};

// Non-reading answers are folded over at most this long, so a silent device still shows.
constexpr double kFoldWindowSeconds = 1.0;

using Clock = std::chrono::steady_clock;

void PrintLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Fail(ExitCode code, const std::string& message) {
    std::fprintf(stderr, "zbhost: %s\n", message.c_str());
    return code;
}

std::string Field(const char* label, const std::string& value) {
    return std::string("  ") + label + value;
}

bool PrintPluginIdentity(void* plugin) {
    namespace pi = plugin_info;
    Record<pi::kRecordBytes> info;
    if (plugin_call::GetPluginInfo(plugin, info.Data()) == 0) return false;
    PrintLine("Plug-in     " + info.Text(pi::kName, pi::kNameCapacity));
    PrintLine(Field("description  ", info.Text(pi::kDescription, pi::kDescriptionCapacity)));
    PrintLine(Field("version      ", info.Text(pi::kVersion, pi::kVersionCapacity)));
    PrintLine(Field("author       ", info.Text(pi::kAuthor, pi::kAuthorCapacity)));
    PrintLine(Field("identifier   ", FormatGuid(info.Data() + pi::kGuid)));
    PrintLine(Field("values       ",
                    std::to_string(info.Get32(pi::kLevel)) + " / " + std::to_string(info.Get32(pi::kValue704)) + " " +
                        std::to_string(info.Get32(pi::kValue708)) + " " + std::to_string(info.Get16(pi::kValue712)) +
                        " " + std::to_string(info.Get16(pi::kValue714))));
    return true;
}

bool PrintComponentIdentity(void* component) {
    namespace ci = component_info;
    Record<ci::kRecordBytes> info;
    if (component_call::GetComponentInfo(component, info.Data()) == 0) return false;
    PrintLine("Component   " + info.Text(ci::kName, ci::kNameCapacity));
    PrintLine(Field("description  ", info.Text(ci::kDescription, ci::kDescriptionCapacity)));
    PrintLine(Field("version      ", info.Text(ci::kVersion, ci::kVersionCapacity)));
    PrintLine(Field("identifier   ", FormatGuid(info.Data() + ci::kGuid)));
    PrintLine(Field("type         ", std::to_string(component_call::GetComponentType(component))));
    return true;
}

HResult PrintDeviceDescription(void* component) {
    namespace dd = device_description;
    Record<dd::kRecordBytes> description;
    description.Put32(dd::kSize, dd::kSizeValue);
    const HResult result = component_call::GetDeviceDescription(component, description.Data());
    if (result == kOk) PrintLine("Device      " + description.Text(dd::kName, dd::kNameCapacity));
    return result;
}

void PrintLastError(void* component) {
    std::int32_t code = -1;
    const char* text = component_call::GetLastErrorInfo(component, &code);
    PrintLine("Last error  code " + std::to_string(code) + ": \"" + (text != nullptr ? text : "(null)") + "\"");
}

// The component, found and checked as the host would before using it.
int FindComponent(void* plugin, void*& component) {
    if (!PrintPluginIdentity(plugin)) return Fail(kExitContract, "GetPluginInfo answered 0");
    component = plugin_call::GetComponent(plugin, 0);
    if (component == nullptr) return Fail(kExitContract, "GetComponent(0) answered null");
    const std::int32_t type = component_call::GetComponentType(component);
    if (type != kDataAcqIoComponentType) {
        return Fail(kExitContract,
                    "component type is " + std::to_string(type) + ", not " + std::to_string(kDataAcqIoComponentType));
    }
    if (!PrintComponentIdentity(component)) return Fail(kExitContract, "GetComponentInfo answered 0");
    const HResult described = PrintDeviceDescription(component);
    if (described != kOk) return Fail(kExitCallFailed, "GetDeviceDescription answered " + ResultName(described));
    PrintLastError(component);
    return kExitDone;
}

struct ReadAnswer {
    HResult code;
    std::int32_t value;
    std::uint32_t transferred;
};

ReadAnswer ReadOnce(void* component) {
    namespace tr = transfer_record;
    alignas(4) unsigned char buffer[4] = {};
    std::uint32_t transferred = 0xFFFFFFFFu;
    Record<tr::kRecordBytes> record;
    record.Put32(tr::kSize, tr::kSizeValue);
    record.PutPointer(tr::kBuffer, buffer);
    record.Put32(tr::kCapacity, sizeof buffer);
    record.PutPointer(tr::kBytesTransferred, &transferred);
    const HResult code = component_call::Read(component, record.Data());
    const std::uint32_t raw = static_cast<std::uint32_t>(buffer[0] | buffer[1] << 8 | buffer[2] << 16) |
                              static_cast<std::uint32_t>(buffer[3]) << 24;
    return {code, static_cast<std::int32_t>(raw), transferred};
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool FellQuiet(const Options& options, unsigned long readings, Clock::time_point lastReading) {
    return options.quietSeconds > 0.0 && readings > 0 && SecondsSince(lastReading) >= options.quietSeconds;
}

// Polls Read until the time or the reading count runs out, or the device falls quiet; answers
// the readings seen.
unsigned long PollReadings(void* component, const Options& options, std::FILE* csv, std::FILE* answers) {
    AnswerFolder folder(kFoldWindowSeconds, options.raw);
    unsigned long readings = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point next = start;
    Clock::time_point lastReading = start;
    while (SecondsSince(start) < options.seconds && (!options.readingsGiven || readings < options.readings) &&
           !FellQuiet(options, readings, lastReading)) {
        const ReadAnswer answer = ReadOnce(component);
        const double elapsed = SecondsSince(start);
        for (const std::string& line : folder.Add(elapsed, answer.code, answer.value)) PrintLine(line);
        if (answers != nullptr && answer.code != kNotReady) {
            std::fprintf(answers, "%s\n", AnswerLine(elapsed, answer.code, answer.value).c_str());
        }
        if (answer.code == kOk) {
            ++readings;
            lastReading = Clock::now();
            if (answer.transferred != 4) {
                std::fprintf(stderr, "zbhost: Read answered S_OK with %lu bytes transferred, not 4\n",
                             static_cast<unsigned long>(answer.transferred));
            }
            if (csv != nullptr) std::fprintf(csv, "%s\n", CsvReadingLine(elapsed, answer.value).c_str());
        }
        next += std::chrono::milliseconds(options.intervalMs);
        std::this_thread::sleep_until(next);
    }
    for (const std::string& line : folder.Finish()) PrintLine(line);
    return readings;
}

// A file that closes itself; null when no path was given.
struct OutputFile {
    std::FILE* file = nullptr;
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() {
        if (file != nullptr) std::fclose(file);
    }
    bool Open(const std::string& path, const std::string& header) {
        if (path.empty()) return true;
        file = std::fopen(path.c_str(), "w");
        if (file != nullptr) std::fprintf(file, "%s\n", header.c_str());
        return file != nullptr;
    }
    bool Finish() {
        std::FILE* done = file;
        file = nullptr;
        return done == nullptr || std::fclose(done) == 0;
    }
};

int Acquire(void* component, const Options& options) {
    OutputFile csv;
    OutputFile answers;
    if (!csv.Open(options.csvPath, CsvHeader())) return Fail(kExitCsv, "cannot write " + options.csvPath);
    if (!answers.Open(options.answersPath, AnswersHeader())) {
        return Fail(kExitCsv, "cannot write " + options.answersPath);
    }
    Record<open_params::kRecordBytes> params;
    params.Put32(open_params::kSize, open_params::kSizeValue);
    const HResult opened = component_call::Open(component, params.Data());
    if (opened != kOk) return Fail(kExitCallFailed, "Open answered " + ResultName(opened));
    PrintLine("Polling every " + std::to_string(options.intervalMs) + " ms");
    const unsigned long readings = PollReadings(component, options, csv.file, answers.file);
    const HResult closed = component_call::Close(component);
    PrintLine(std::to_string(readings) + " readings; Close answered " + ResultName(closed));
    if (!csv.Finish()) return Fail(kExitCsv, "cannot finish " + options.csvPath);
    if (!answers.Finish()) return Fail(kExitCsv, "cannot finish " + options.answersPath);
    if (options.readingsGiven && readings < options.readings) {
        return Fail(kExitTooFewReadings, "only " + std::to_string(readings) + " of " +
                                             std::to_string(options.readings) + " readings arrived");
    }
    return kExitDone;
}

int Configure(void* component) {
    std::string note;
    const HResult result = RunConfiguration(component, note);
    PrintLine("ShowConfiguration answered " + ResultName(result) + "; " + note);
    if (result != kOk) return Fail(kExitCallFailed, "ShowConfiguration answered " + ResultName(result));
    return kExitDone;
}

int UseComponent(void* component, const Options& options) {
    if (options.configure) {
        const int configured = Configure(component);
        if (configured != kExitDone) return configured;
    }
    return options.Polls() ? Acquire(component, options) : kExitDone;
}

int RunWithLibrary(LibraryHandle library, const Options& options) {
    auto create = reinterpret_cast<CreatePluginFunction>(FindExport(library, kCreatePluginExport));
    auto release = reinterpret_cast<ReleasePluginFunction>(FindExport(library, kReleasePluginExport));
    if (create == nullptr) return Fail(kExitExportMissing, std::string("no export ") + kCreatePluginExport);
    if (release == nullptr) return Fail(kExitExportMissing, std::string("no export ") + kReleasePluginExport);

    void* plugin = create();
    if (plugin == nullptr) return Fail(kExitContract, std::string(kCreatePluginExport) + " answered null");
    void* component = nullptr;
    int result = FindComponent(plugin, component);
    if (result == kExitDone && !options.infoOnly) result = UseComponent(component, options);
    release();
    return result;
}

int Run(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zbhost: %s (see --help)\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return kExitDone;
    }
    // Why Open found no port, for one, is said only there.
    ShowPluginDebugTexts();
    LibraryHandle library = LoadPluginLibrary(options.library, error);
    if (library == nullptr) return Fail(kExitNotLoaded, "cannot load " + options.library + ": " + error);
    const int result = RunWithLibrary(library, options);
    UnloadPluginLibrary(library);
    return result;
}

}  // namespace
}  // namespace zbhost

int main(int argc, char** argv) {
    return zbhost::Run(argc, argv);
}
