#include "tools/lamdex-check/commands.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/config_file.h"
#include "driver/clock.h"
#include "driver/debug_output.h"
#include "driver/lc1_state.h"
#include "tools/lamdex-check/check_options.h"
#include "tools/lamdex-check/line_record.h"
#include "tools/lamdex-check/line_watch.h"
#include "tools/lamdex-check/platform.h"

namespace lamdex::check {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kListenSeconds = 0.5;
constexpr int kHighestDialogPort = 12;  // the dialog lists Com1 to Com12
constexpr auto kPollPause = std::chrono::milliseconds(10);

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string PlatformReason(std::uint32_t error) {
    char reason[200];
    DescribePlatformError(error, reason, sizeof reason);
    return "error " + std::to_string(error) + " (" + reason + ")";
}

// Where the plug-in keeps its port, and what is there now.
struct Configuration {
    char path[kConfigPathSize] = {};
    std::string folder;  // the Plugins folder
    bool fileRead = false;
    int port = 0;  // 0: the file names none
    int sensor = kDefaultSensor;
    bool folderExists = false;
};

Configuration ReadConfiguration() {
    Configuration config;
    BuildConfigPath(config.path);
    if (config.path[0] == '\0') return config;
    const std::string path = config.path;
    config.folder = path.substr(0, path.rfind(kPathSeparator));
    config.folderExists = FolderExists(config.folder.c_str());
    char lastErrorText[kLastErrorTextSize] = {};
    LoadConfig(config.path, config.port, config.sensor, lastErrorText);
    config.fileRead = lastErrorText[0] == '\0';
    return config;
}

struct PortFinding {
    int port = 0;
    std::unique_ptr<LineWatch> watch = std::make_unique<LineWatch>();
    bool opened = false;
    Packet last;  // the latest packet with LC-1 data
};

// All ports at once, so the whole search takes half a second however many there are.
std::vector<PortFinding> ListenToPorts(const std::vector<int>& ports, int sensor) {
    std::vector<PortFinding> findings(ports.size());
    for (std::size_t k = 0; k < ports.size(); ++k) {
        findings[k].port = ports[k];
        findings[k].watch->ChooseSensor(sensor);
        findings[k].opened = findings[k].watch->Open(ports[k]) == LineKeeper::Change::kNone;
    }
    const Clock::time_point start = Clock::now();
    do {
        std::this_thread::sleep_for(kPollPause);
        for (PortFinding& finding : findings) {
            Packet packet;
            while (finding.opened && finding.watch->NextPacket(packet)) {
                if (packet.HasLc1Data()) finding.last = packet;
            }
        }
    } while (SecondsSince(start) < kListenSeconds);
    return findings;
}

std::string DescribeFinding(const PortFinding& finding) {
    const LineWatch& watch = *finding.watch;
    if (!finding.opened) {
        if (MeansInUse(watch.Error())) return "in use by another program";
        return "cannot be opened: " + PlatformReason(watch.Error());
    }
    if (watch.SawLc1Data()) {
        const Packet& last = finding.last;
        const bool lone = last.chain.lc1Count == 1 && last.chain.auxiliaryCount == 0;
        if (lone && last.sensor == kDefaultSensor) return "LC-1 found: " + DescribePacket(last);
        std::string text = DescribePacket(last) + "; the plug-in reads LC-1 #" + std::to_string(last.sensor);
        if (last.sensor > watch.MostLc1s()) {
            text += ", " + std::string(kNotInChainText) + ": COM" + std::to_string(finding.port) + " carries " +
                    CountLc1s(watch.MostLc1s());
        }
        return text;
    }
    if (watch.Counts().bytes == 0) return "nothing received";
    return "data, but no LC-1 packets (" + std::to_string(watch.Counts().bytes) + " bytes)";
}

bool IsListed(const std::vector<int>& ports, int port) {
    for (int listed : ports) {
        if (listed == port) return true;
    }
    return false;
}

void PrintConfiguration(const Configuration& config, const std::vector<int>& ports) {
    if (config.path[0] == '\0') {
        std::printf(
            "\nConfiguration: the user's profile folder cannot be found, so the plug-in keeps no port\n"
            "  and uses COM1.\n");
        return;
    }
    std::printf("\nConfiguration: %s\n", config.path);
    if (!config.fileRead) {
        std::printf("  There is no such file (or it cannot be read), so the plug-in uses COM1.\n");
    } else if (config.port == 0) {
        std::printf("  It names no port, so the plug-in uses COM1.\n");
    } else {
        std::printf("  It names COM%d%s.\n", config.port,
                    IsListed(ports, config.port) ? "" : ", which this computer does not have");
    }
    if (config.sensor != kDefaultSensor) {
        std::printf("  The plug-in reads LC-1 #%d of the chain on its port (SENSOR %d).\n", config.sensor,
                    config.sensor);
    }
    if (config.folderExists) {
        std::printf("  The Plugins folder exists.\n");
    } else {
        std::printf(
            "  The Plugins folder does not exist, so the plug-in cannot remember a port:\n"
            "  lamdex-check --save N makes it.\n");
    }
}

// The dialog chooses only the port: an LC-1 the chain does not have needs a save with --sensor.
void PrintWhereTheLc1Is(int port, const Configuration& config, int lc1s) {
    if (config.sensor > lc1s) {
        std::printf(
            "\nThe LC-1 is on COM%d, but the plug-in reads LC-1 #%d and COM%d carries %s: it would\n"
            "answer \"not connected\". Run: lamdex-check --save %d --sensor 1\n",
            port, config.sensor, port, CountLc1s(lc1s).c_str(), port);
        if (lc1s == 2) std::printf("(or --sensor 2 for the second LC-1 on the line)\n");
        if (lc1s > 2) std::printf("(or --sensor 2 to %d for another LC-1, counted from the first on the line)\n", lc1s);
        return;
    }
    if (config.fileRead && config.port == port) {
        std::printf("\nThe LC-1 is on COM%d, the port the plug-in is set to use.\n", port);
    } else if (port > kHighestDialogPort) {
        std::printf(
            "\nThe LC-1 is on COM%d. The plug-in's dialog lists only Com1 to Com%d, so run:\n"
            "lamdex-check --save %d\n",
            port, kHighestDialogPort, port);
    } else if (!config.folderExists) {
        std::printf(
            "\nThe LC-1 is on COM%d. Run: lamdex-check --save %d\n"
            "(without the Plugins folder, which that makes, the dialog's choice would be forgotten)\n",
            port, port);
    } else {
        std::printf("\nThe LC-1 is on COM%d. Choose Com%d in the plug-in's dialog, or run: lamdex-check --save %d\n",
                    port, port, port);
    }
    if (lc1s > 1) {
        std::printf(
            "COM%d carries %d LC-1s and the plug-in reads LC-1 #%d. For another: lamdex-check --save %d --sensor N\n",
            port, lc1s, config.sensor, port);
    }
}

void PrintWhatToTry(const std::vector<PortFinding>& findings) {
    std::printf("\nNo LC-1 found.\n");
    for (const PortFinding& finding : findings) {
        if (!finding.opened && MeansInUse(finding.watch->Error())) {
            std::printf(
                "COM%d is in use: close the program holding it (the host, a terminal program), then\n"
                "run lamdex-check again.\n",
                finding.port);
        }
    }
    std::printf(
        "Check that the LC-1 is powered and its cable or USB serial adapter is plugged in, then\n"
        "run lamdex-check again.\n");
}

// A port followed as the plug-in reads it, and what a person and the record are told.
struct FollowedPort {
    int port = 0;
    std::uint64_t startMs = 0;
    LineWatch watch;
    LineRecord record;
    std::vector<std::uint8_t> received;  // what the record has still to get
    bool everOpen = false;
    bool lineOpen = false;  // at the end of the last look at it
    unsigned long losses = 0;
    int sensor = kDefaultSensor;  // the LC-1 the saved configuration chooses
};

std::string DescribeOpenFailure(std::uint32_t error) {
    return MeansInUse(error) ? "is in use by another program" : "cannot be opened: " + PlatformReason(error);
}

void PrintAt(const FollowedPort& followed, std::uint64_t now, const std::string& text) {
    std::printf("%9.2f s  %s\n", static_cast<double>(now - followed.startMs) / 1000.0, text.c_str());
}

void ReportChange(FollowedPort& followed, LineKeeper::Change change, std::uint64_t now) {
    const std::string port = "COM" + std::to_string(followed.port);
    const std::uint64_t ms = now - followed.startMs;
    switch (change) {
        case LineKeeper::Change::kNone:
        case LineKeeper::Change::kReopened:
            break;
        case LineKeeper::Change::kOpenFailed: {
            const std::string text = port + " " + DescribeOpenFailure(followed.watch.Error());
            PrintAt(followed, now, text);
            followed.record.Comment(FormatMilliseconds(ms) + " s: " + text);
            break;
        }
        case LineKeeper::Change::kLost: {
            const std::string reason = PlatformReason(followed.watch.Error());
            ++followed.losses;
            PrintAt(followed, now, port + " lost: " + reason);
            followed.record.Lost(ms, reason);
            break;
        }
        case LineKeeper::Change::kBack: {
            char after[32];
            (void)std::snprintf(after, sizeof after, " after %.1f s",
                                static_cast<double>(followed.watch.OutageMs()) / 1000.0);
            PrintAt(followed, now, port + (followed.everOpen ? " back" : " opened") + after);
            followed.everOpen = true;
            break;
        }
    }
}

// A packet as followed: every place, and the chosen LC-1 when the chain does not reach it.
std::string DescribeFollowed(const Packet& packet) {
    std::string text = DescribePacket(packet);
    if (packet.sensor > packet.chain.lc1Count) {
        text += "; LC-1 #" + std::to_string(packet.sensor) + " " + kNotInChainText;
    }
    return text;
}

// What the plug-in's Read does with the port, once.
void FollowOnce(FollowedPort& followed, std::uint64_t now) {
    ReportChange(followed, followed.watch.Reopen(), now);
    // The record marks the line back when it opens; it is told back only once it has held.
    if (followed.watch.IsOpen() && !followed.lineOpen)
        followed.record.Back(now - followed.startMs, followed.watch.OutageMs());
    Packet packet;
    while (followed.watch.NextPacket(packet)) PrintAt(followed, now, DescribeFollowed(packet));
    if (!followed.received.empty()) {
        followed.record.Bytes(now - followed.startMs, followed.received);
        followed.received.clear();
    }
    ReportChange(followed, followed.watch.Check(), now);
    followed.lineOpen = followed.watch.IsOpen();
    std::fflush(stdout);
}

void PrintFollowHeading(const FollowedPort& followed, double seconds, const std::string& recordPath) {
    if (!followed.everOpen) {
        const std::uint32_t error = followed.watch.Error();
        if (MeansInUse(error)) {
            std::printf("COM%d is in use by another program: it is taken as soon as that program lets it go.\n",
                        followed.port);
        } else {
            std::printf(
                "COM%d cannot be opened: %s.\n"
                "If its adapter is unplugged, plug it in: the port is opened as soon as it appears.\n",
                followed.port, PlatformReason(error).c_str());
        }
    }
    std::string duration = "until Ctrl-C";
    if (seconds != kUntilCtrlC) {
        char text[32];
        (void)std::snprintf(text, sizeof text, "for %.1f s", seconds);
        duration = text;
    }
    const std::string sensor =
        followed.sensor == kDefaultSensor ? "" : " (the plug-in reads LC-1 #" + std::to_string(followed.sensor) + ")";
    std::printf("Following COM%d %s at 19200 baud, 8N1%s%s:\n", followed.port, duration.c_str(), sensor.c_str(),
                recordPath.empty() ? "" : (", writing what it sends to " + recordPath).c_str());
    std::fflush(stdout);
}

void PrintFollowCounts(const FollowedPort& followed, double seconds) {
    const LineCounts& counts = followed.watch.Counts();
    const std::string without =
        followed.sensor == kDefaultSensor ? "LC-1 data" : "LC-1 #" + std::to_string(followed.sensor);
    std::printf(
        "\nCOM%d, %.1f s: %lu packets: %lu readings, %lu not ready, %lu errors, %lu without %s;\n"
        "%lu bytes belonged to no packet.\n",
        followed.port, seconds, counts.packets, counts.readings, counts.notReady, counts.errors, counts.withoutLc1Data,
        without.c_str(), followed.watch.StrayBytes());
    if (followed.losses > 0) {
        std::printf("COM%d was lost %s; the counts cover the whole time.\n", followed.port,
                    followed.losses == 1 ? "once" : (std::to_string(followed.losses) + " times").c_str());
    }
}

}  // namespace

int FindLc1() {
    const std::vector<int> ports = ListPorts();
    if (ports.empty()) {
        std::printf(
            "This computer has no serial ports. Plug in the LC-1's USB serial adapter (install its\n"
            "driver first), then run lamdex-check again.\n");
        return kExitNoLc1;
    }
    std::printf("Listening to every serial port for %.1f s at 19200 baud, 8N1, as the plug-in opens them:\n",
                kListenSeconds);
    std::fflush(stdout);
    const Configuration config = ReadConfiguration();
    const std::vector<PortFinding> findings = ListenToPorts(ports, config.sensor);
    // The advice is about the port the plug-in is set to use when an LC-1 is there, else the first.
    const PortFinding* lc1 = nullptr;
    for (const PortFinding& finding : findings) {
        std::printf("  COM%-4d %s\n", finding.port, DescribeFinding(finding).c_str());
        const bool found = finding.opened && finding.watch->SawLc1Data();
        if (found && (lc1 == nullptr || (finding.port == config.port && config.fileRead))) lc1 = &finding;
    }
    PrintConfiguration(config, ports);
    if (lc1 == nullptr) {
        PrintWhatToTry(findings);
        return kExitNoLc1;
    }
    PrintWhereTheLc1Is(lc1->port, config, lc1->watch->MostLc1s());
    return kExitDone;
}

int FollowPort(int port, double seconds, const std::string& recordPath) {
    FollowedPort followed;
    followed.port = port;
    followed.sensor = ReadConfiguration().sensor;
    followed.watch.ChooseSensor(followed.sensor);
    if (!recordPath.empty()) {
        std::string error;
        if (!followed.record.Open(recordPath, port, error)) {
            std::printf("Cannot write %s: %s. Give a file in a folder you can write to.\n", recordPath.c_str(),
                        error.c_str());
            return kExitUsage;
        }
        followed.watch.CollectInto(&followed.received);
    }
    followed.startMs = MonotonicMilliseconds();
    if (followed.watch.Open(port) == LineKeeper::Change::kNone) {
        followed.everOpen = true;
        followed.lineOpen = true;
    } else {
        followed.record.Lost(0, DescribeOpenFailure(followed.watch.Error()));
    }
    PrintFollowHeading(followed, seconds, recordPath);
    CatchCtrlC();
    std::uint64_t now = followed.startMs;
    while (!CtrlCPressed() &&
           (seconds == kUntilCtrlC || static_cast<double>(now - followed.startMs) < seconds * 1000.0)) {
        std::this_thread::sleep_for(kPollPause);
        now = MonotonicMilliseconds();
        FollowOnce(followed, now);
    }
    followed.record.Comment("ended after " + FormatMilliseconds(now - followed.startMs) + " s");
    PrintFollowCounts(followed, static_cast<double>(now - followed.startMs) / 1000.0);
    const int lc1s = followed.watch.MostLc1s();
    if (followed.watch.SawLc1Data() && followed.sensor > lc1s) {
        std::printf(
            "The plug-in reads LC-1 #%d, but COM%d carries %s: it answers \"not connected\".\n"
            "Run: lamdex-check --save %d --sensor 1\n",
            followed.sensor, port, CountLc1s(lc1s).c_str(), port);
    }
    if (followed.watch.SawLc1Data()) return kExitDone;
    const char* why = !followed.everOpen                   ? ": it could not be opened"
                      : followed.watch.Counts().bytes == 0 ? ": nothing was received"
                                                           : "";
    std::printf("No LC-1 packets on COM%d%s.\n", port, why);
    return kExitNoLc1;
}

int SavePort(int port, int sensor) {
    Configuration config = ReadConfiguration();
    const bool sensorGiven = sensor != 0;
    if (!sensorGiven) sensor = config.sensor;  // a port change keeps the LC-1 chosen
    if (config.path[0] == '\0') {
        std::printf("The user's profile folder cannot be found, so there is nowhere to save the port.\n");
        return kExitNotSaved;
    }
    if (!config.folderExists) {
        std::uint32_t error = 0;
        if (!MakeFolders(config.folder.c_str(), error)) {
            std::printf("Cannot make the folder %s: %s.\n", config.folder.c_str(), PlatformReason(error).c_str());
            return kExitNotSaved;
        }
        std::printf("Made the folder %s\n", config.folder.c_str());
    }
    char lastErrorText[kLastErrorTextSize] = {};
    SaveConfig(config.path, port, sensor, lastErrorText);
    if (lastErrorText[0] != '\0') {
        std::printf("%s: %s. Is the file read-only, or open in another program?\n", lastErrorText, config.path);
        return kExitNotSaved;
    }
    const std::string lc1 =
        sensorGiven || sensor != kDefaultSensor ? " and LC-1 #" + std::to_string(sensor) + " of its chain" : "";
    std::printf(
        "Saved COM%d%s in %s\n"
        "The plug-in reads it when the host loads it: restart the host if it is running.\n",
        port, lc1.c_str(), config.path);
    return kExitDone;
}

}  // namespace lamdex::check
