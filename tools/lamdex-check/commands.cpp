#include "tools/lamdex-check/commands.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/config_file.h"
#include "driver/debug_output.h"
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
    LoadConfig(config.path, config.port, lastErrorText);
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
std::vector<PortFinding> ListenToPorts(const std::vector<int>& ports) {
    std::vector<PortFinding> findings(ports.size());
    for (std::size_t k = 0; k < ports.size(); ++k) {
        findings[k].port = ports[k];
        findings[k].opened = findings[k].watch->Open(ports[k]);
    }
    const Clock::time_point start = Clock::now();
    do {
        std::this_thread::sleep_for(kPollPause);
        for (PortFinding& finding : findings) {
            Packet packet;
            while (finding.opened && finding.watch->NextPacket(packet)) {
                if (packet.hasLc1Data) finding.last = packet;
            }
        }
    } while (SecondsSince(start) < kListenSeconds);
    return findings;
}

std::string DescribeFinding(const PortFinding& finding) {
    const LineWatch& watch = *finding.watch;
    if (!finding.opened) {
        if (MeansInUse(watch.OpenError())) return "in use by another program";
        return "cannot be opened: " + PlatformReason(watch.OpenError());
    }
    if (watch.SawLc1Data()) return "LC-1 found: " + DescribePacket(finding.last);
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
    if (config.folderExists) {
        std::printf("  The Plugins folder exists.\n");
    } else {
        std::printf(
            "  The Plugins folder does not exist, so the plug-in cannot remember a port:\n"
            "  lamdex-check --save N makes it.\n");
    }
}

void PrintWhereTheLc1Is(int port, const Configuration& config) {
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
}

void PrintWhatToTry(const std::vector<PortFinding>& findings) {
    std::printf("\nNo LC-1 found.\n");
    for (const PortFinding& finding : findings) {
        if (!finding.opened && MeansInUse(finding.watch->OpenError())) {
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

void PrintFollowCounts(int port, double seconds, const LineWatch& watch) {
    const LineCounts& counts = watch.Counts();
    std::printf(
        "\nCOM%d, %.1f s: %lu packets: %lu readings, %lu not ready, %lu errors, %lu without LC-1 data;\n"
        "%lu bytes belonged to no packet.\n",
        port, seconds, counts.packets, counts.readings, counts.notReady, counts.errors, counts.withoutLc1Data,
        watch.StrayBytes());
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
    const std::vector<PortFinding> findings = ListenToPorts(ports);
    int lc1Port = 0;
    for (const PortFinding& finding : findings) {
        std::printf("  COM%-4d %s\n", finding.port, DescribeFinding(finding).c_str());
        if (lc1Port == 0 && finding.opened && finding.watch->SawLc1Data()) lc1Port = finding.port;
    }
    const Configuration config = ReadConfiguration();
    PrintConfiguration(config, ports);
    if (lc1Port == 0) {
        PrintWhatToTry(findings);
        return kExitNoLc1;
    }
    PrintWhereTheLc1Is(lc1Port, config);
    return kExitDone;
}

int FollowPort(int port, double seconds) {
    LineWatch watch;
    if (!watch.Open(port)) {
        if (MeansInUse(watch.OpenError())) {
            std::printf("COM%d is in use by another program: close it, then try again.\n", port);
        } else {
            std::printf("COM%d cannot be opened: %s.\n", port, PlatformReason(watch.OpenError()).c_str());
        }
        return kExitNoLc1;
    }
    std::printf("Following COM%d for %.1f s at 19200 baud, 8N1:\n", port, seconds);
    std::fflush(stdout);
    const Clock::time_point start = Clock::now();
    while (SecondsSince(start) < seconds) {
        std::this_thread::sleep_for(kPollPause);
        Packet packet;
        while (watch.NextPacket(packet)) {
            std::printf("%9.2f s  %s\n", SecondsSince(start), DescribePacket(packet).c_str());
        }
        std::fflush(stdout);
    }
    PrintFollowCounts(port, seconds, watch);
    if (watch.SawLc1Data()) return kExitDone;
    std::printf("No LC-1 packets on COM%d%s.\n", port, watch.Counts().bytes == 0 ? ": nothing was received" : "");
    return kExitNoLc1;
}

int SavePort(int port) {
    Configuration config = ReadConfiguration();
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
    SaveConfig(config.path, port, lastErrorText);
    if (lastErrorText[0] != '\0') {
        std::printf("%s: %s. Is the file read-only, or open in another program?\n", lastErrorText, config.path);
        return kExitNotSaved;
    }
    std::printf(
        "Saved COM%d in %s\n"
        "The plug-in reads it when the host loads it: restart the host if it is running.\n",
        port, config.path);
    return kExitDone;
}

}  // namespace lamdex::check
