#include "driver/lc1_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/contract/debug_capture.h"
#include "tests/serial/serial_peer.h"

namespace lamdex::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kPacket500 = {0xB2, 0x82, 0x43, 0x13, 0x03, 0x74};   // 14.7, multiplier byte 0x13
const Bytes kPacket1000 = {0xB2, 0x82, 0x43, 0x13, 0x07, 0x68};  // lambda 1.5
constexpr std::int32_t kValue500 = 963379;
constexpr std::int32_t kValue1000 = 1445068;
constexpr int kLinePort = kTestPort;
constexpr int kOtherLinePort = kOtherTestPort;
constexpr int kAbsentPort = 200;

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

std::string SavedPortLine(int port) {
    const std::string saved = "COMPORT " + std::to_string(port);
    return saved;
}

// Where the component keeps its configuration here (a private home natively, the test
// prefix's profile under Wine), with its folder made and any earlier file put back after.
class ConfigurationFile {
public:
    ConfigurationFile() {
        char path[kConfigPathSize];
        BuildConfigPath(path);
        path_ = path;
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
        existed_ = std::filesystem::exists(path_);
        if (existed_) original_ = ReadWholeFile(path_);
    }
    ~ConfigurationFile() {
        if (existed_) {
            WriteWholeFile(path_, original_);
        } else {
            std::remove(path_.c_str());
        }
    }
    ConfigurationFile(const ConfigurationFile&) = delete;
    ConfigurationFile& operator=(const ConfigurationFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool existed_ = false;
    std::string original_;
};

struct Answer {
    zb::HResult result;
    std::int32_t value;
};

class LC1DriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PrepareTestPorts(); }

    void SetUp() override {
        config = std::make_unique<ConfigurationFile>();
        configPath = config->Path();
        ASSERT_FALSE(configPath.empty());
    }

    void TearDown() override {
        driver.reset();
        config.reset();
    }

    void CreateDriver(int configuredPort) {
        WriteWholeFile(configPath, SavedPortLine(configuredPort) + "\n");
        driver = std::make_unique<LC1Driver>();
        ASSERT_EQ(driver->PortNumber(), configuredPort);
    }

    zb::HResult OpenDriver() {
        zb::OpenParams params{zb::kOpenParamsSize, {}};
        return driver->Open(&params);
    }

    Answer ReadOnce() {
        std::int32_t value = 0;
        std::uint32_t transferred = 0;
        zb::TransferRecord record{zb::kTransferRecordSize, &value, sizeof value, &transferred, 0};
        const zb::HResult result = driver->Read(&record);
        return {result, value};
    }

    // Bytes take a moment to cross a real line, longer on a loaded machine; poll the way a
    // host does, up to a bound far above it.
    Answer ReadUntilAnswer(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        const auto deadline = Clock::now() + limit;
        Answer answer = ReadOnce();
        while (answer.result == zb::kNotReady && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            answer = ReadOnce();
        }
        return answer;
    }

    void ReadUntilBuffered(std::size_t count) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(10000);
        while (driver->Reader().BufferedCount() < count && Clock::now() < deadline) {
            ASSERT_EQ(ReadOnce().result, zb::kNotReady);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(driver->Reader().BufferedCount(), count);
    }

    std::unique_ptr<ConfigurationFile> config;
    std::string configPath;
    std::unique_ptr<LC1Driver> driver;
};

TEST_F(LC1DriverTest, DeliversReadingsFromTheLineIncludingSplitPackets) {
    SerialPeer line;
    ASSERT_TRUE(line.Attach(kLinePort));
    CreateDriver(kLinePort);
    ASSERT_EQ(OpenDriver(), zb::kOk);
    EXPECT_TRUE(driver->IsLinkOpen());

    line.Send(kPacket500);
    Answer answer = ReadUntilAnswer();
    EXPECT_EQ(answer.result, zb::kOk);
    EXPECT_EQ(answer.value, kValue500);

    line.Send(Bytes(kPacket1000.begin(), kPacket1000.begin() + 3));
    ReadUntilBuffered(3);
    line.Send(Bytes(kPacket1000.begin() + 3, kPacket1000.end()));
    answer = ReadUntilAnswer();
    EXPECT_EQ(answer.result, zb::kOk);
    EXPECT_EQ(answer.value, kValue1000);
}

// Silence alone is no loss either: the device may pause. After a quiet second the line is
// opened again, without a text, and a packet begun before it can no longer complete.
TEST_F(LC1DriverTest, PurgeKeepsBufferedBytesButSilenceAndCloseDropThem) {
    SerialPeer line;
    ASSERT_TRUE(line.Attach(kLinePort));
    CreateDriver(kLinePort);
    ASSERT_EQ(OpenDriver(), zb::kOk);

    line.Send(Bytes(kPacket500.begin(), kPacket500.begin() + 4));
    ReadUntilBuffered(4);
    EXPECT_EQ(driver->PurgeReceiveBuffer(), zb::kOk);
    EXPECT_EQ(driver->PurgeTransmitBuffer(), zb::kOk);
    line.Send(Bytes(kPacket500.begin() + 4, kPacket500.end()));
    EXPECT_EQ(ReadUntilAnswer().value, kValue500);

    line.Send(Bytes(kPacket500.begin(), kPacket500.begin() + 4));
    ReadUntilBuffered(4);
    contract::StartDebugCapture();
    for (const auto quietUntil = Clock::now() + std::chrono::milliseconds(2500); Clock::now() < quietUntil;) {
        ASSERT_EQ(ReadOnce().result, zb::kNotReady);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(contract::StopDebugCapture().empty()) << "a silent line is not lost";
    line.Send(Bytes(kPacket500.begin() + 4, kPacket500.end()));
    EXPECT_EQ(ReadUntilAnswer(std::chrono::milliseconds(300)).result, zb::kNotReady)
        << "the tail of a packet from before a silent second must not complete it";
    line.Send(kPacket1000);
    EXPECT_EQ(ReadUntilAnswer().value, kValue1000);

    line.Send(Bytes(kPacket500.begin(), kPacket500.begin() + 4));
    ReadUntilBuffered(4);
    EXPECT_EQ(driver->Close(), zb::kOk);
    EXPECT_FALSE(driver->IsLinkOpen());
    EXPECT_EQ(ReadOnce().result, zb::kNotReady) << "a closed component reads nothing";
    ASSERT_EQ(OpenDriver(), zb::kOk);
    EXPECT_EQ(driver->Reader().BufferedCount(), 0u);
    line.Send(Bytes(kPacket500.begin() + 4, kPacket500.end()));
    EXPECT_EQ(ReadUntilAnswer(std::chrono::milliseconds(300)).result, zb::kNotReady)
        << "the tail of a packet from before the close must not complete it";
    line.Send(kPacket1000);
    EXPECT_EQ(ReadUntilAnswer().value, kValue1000);
}

// Open still answers S_OK and Read not ready, as the host expects; one debug text names
// the port and gives the platform's reason, so a user can tell the two cases apart.
TEST_F(LC1DriverTest, PortThatCannotBeOpenedAnswersNotReadyAndADebugTextSaysWhy) {
    struct Case {
        const char* name;
        int port;
        bool heldElsewhere;
    };
    const Case cases[] = {
        {"port that does not exist", kAbsentPort, false},
        {"port held by another program", kLinePort, true},
    };
    std::vector<std::string> reasons;
    for (const Case& c : cases) {
        if (c.heldElsewhere && !PortsAreExclusive()) continue;  // Wine lets a second open through
        SerialPeer line;
        SerialLink otherProgram;
        if (c.heldElsewhere) {
            ASSERT_TRUE(line.Attach(c.port));
            otherProgram.Open(c.port);
            ASSERT_TRUE(otherProgram.IsOpen());
        }
        CreateDriver(c.port);
        contract::StartDebugCapture();
        EXPECT_EQ(OpenDriver(), zb::kOk) << c.name;
        EXPECT_TRUE(driver->IsOpen()) << c.name;
        EXPECT_FALSE(driver->IsLinkOpen()) << c.name;
        EXPECT_EQ(ReadOnce().result, zb::kNotReady) << c.name;
        const std::vector<std::string> texts = contract::StopDebugCapture();
        ASSERT_EQ(texts.size(), 1u) << c.name;
        const std::string named = "LC1Driver::Open COM" + std::to_string(c.port) + " failed: error ";
        EXPECT_EQ(texts[0].rfind(named, 0), 0u) << texts[0];
        EXPECT_TRUE(std::regex_match(texts[0], std::regex(".*: error [0-9]+ \\([^()]+\\)(; .+)?"))) << texts[0];
        reasons.push_back(texts[0].substr(std::min(named.size(), texts[0].size())));
    }
    if (reasons.size() == 2) {
        EXPECT_NE(reasons[0], reasons[1]);
    }

    SerialPeer line;
    ASSERT_TRUE(line.Attach(kLinePort));
    CreateDriver(kLinePort);
    contract::StartDebugCapture();
    ASSERT_EQ(OpenDriver(), zb::kOk);
    EXPECT_TRUE(contract::StopDebugCapture().empty()) << "a port that opens says nothing";
}

TEST_F(LC1DriverTest, ChangePortToTheCurrentPortChangesNothing) {
    SerialPeer line;
    ASSERT_TRUE(line.Attach(kLinePort));
    CreateDriver(kLinePort);
    std::remove(configPath.c_str());
    ASSERT_EQ(OpenDriver(), zb::kOk);
    line.Send(Bytes(kPacket500.begin(), kPacket500.begin() + 4));
    ReadUntilBuffered(4);

    driver->ChangePort(kLinePort);
    EXPECT_TRUE(driver->IsLinkOpen());
    EXPECT_EQ(driver->Reader().BufferedCount(), 4u) << "no close, no reopen";
    EXPECT_EQ(ReadWholeFile(configPath), "") << "nothing saved";
}

TEST_F(LC1DriverTest, ChangePortWhileOpenClosesSavesAndReopensOnTheNewPort) {
    SerialPeer oldLine;
    SerialPeer newLine;
    ASSERT_TRUE(oldLine.Attach(kLinePort));
    ASSERT_TRUE(newLine.Attach(kOtherLinePort));
    CreateDriver(kLinePort);
    ASSERT_EQ(OpenDriver(), zb::kOk);
    oldLine.Send(Bytes(kPacket500.begin(), kPacket500.begin() + 4));
    ReadUntilBuffered(4);

    driver->ChangePort(kOtherLinePort);
    EXPECT_EQ(driver->PortNumber(), kOtherLinePort);
    EXPECT_TRUE(driver->IsOpen());
    EXPECT_TRUE(driver->IsLinkOpen());
    EXPECT_EQ(driver->Reader().BufferedCount(), 0u);
    const std::string saved = ReadWholeFile(configPath);
    EXPECT_TRUE(saved == SavedPortLine(kOtherLinePort) + "\n" || saved == SavedPortLine(kOtherLinePort) + "\r\n")
        << saved;

    oldLine.Send(kPacket1000);
    newLine.Send(kPacket500);
    EXPECT_EQ(ReadUntilAnswer().value, kValue500);
    EXPECT_EQ(ReadUntilAnswer(std::chrono::milliseconds(300)).result, zb::kNotReady)
        << "the old port is no longer read";
}

// A host that acquires on its own thread while the user changes the port in the dialog:
// thousands of changes back and forth between two lines that carry packets, each line its
// own value, with Read called all the while. Every reading must be whole and come from the
// port that was open while it was read.
TEST_F(LC1DriverTest, ReadOnAnotherThreadDuringPortChangesGetsOnlyWholeReadingsOfTheOpenPort) {
    constexpr int kRounds = 2000;
    SerialPeer lines[2];
    const int ports[2] = {kLinePort, kOtherLinePort};
    const Bytes packets[2] = {kPacket500, kPacket1000};
    const std::int32_t values[2] = {kValue500, kValue1000};
    ASSERT_TRUE(lines[0].Attach(ports[0]));
    ASSERT_TRUE(lines[1].Attach(ports[1]));
    CreateDriver(ports[0]);
    ASSERT_EQ(OpenDriver(), zb::kOk);
    // Under Wine the lines outlive a test: packets an earlier one left would read as coming
    // from the wrong port. Both lines are read dry first, ending on ports[0].
    for (const int port : {ports[1], ports[0]}) {
        driver->ChangePort(port);
        while (ReadUntilAnswer(std::chrono::milliseconds(300)).result != zb::kNotReady) {
        }
    }

    // Odd while a change is under way; when even, the open port is ports[(epoch / 2) % 2].
    std::atomic<unsigned> epoch{0};
    std::atomic<bool> done{false};
    int readings[2] = {0, 0};
    int wrongPort = 0;
    int strangeAnswers = 0;
    std::thread host([&] {
        while (!done.load()) {
            const unsigned before = epoch.load();
            const Answer answer = ReadOnce();
            const unsigned after = epoch.load();
            if (answer.result == zb::kNotReady) continue;
            const int from = answer.value == values[0] ? 0 : answer.value == values[1] ? 1 : -1;
            if (answer.result != zb::kOk || from < 0) {
                ++strangeAnswers;
            } else {
                ++readings[from];
                if (before == after && before % 2 == 0 && from != static_cast<int>((before / 2) % 2)) ++wrongPort;
            }
        }
    });
    std::vector<double> changeMs;
    for (int round = 0; round < kRounds; ++round) {
        const int next = (round + 1) % 2;
        epoch.fetch_add(1);
        const auto before = Clock::now();
        driver->ChangePort(ports[next]);
        changeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
        epoch.fetch_add(1);
        lines[next].Send(packets[next]);
    }
    done.store(true);
    host.join();
    // A figure, not a limit: a Read never holds off a port change for long, whatever the pace.
    std::sort(changeMs.begin(), changeMs.end());
    std::printf("%d port changes beside a thread that reads without pause: median %.2f ms, longest %.1f ms\n", kRounds,
                changeMs[changeMs.size() / 2], changeMs.back());

    EXPECT_EQ(strangeAnswers, 0) << "answers that are neither not ready nor a reading sent";
    EXPECT_EQ(wrongPort, 0) << "readings from the port that was not open";
    EXPECT_GT(readings[0], 0);
    EXPECT_GT(readings[1], 0);
    EXPECT_EQ(driver->PortNumber(), ports[0]);
    lines[0].Send(packets[0]);
    EXPECT_EQ(ReadUntilAnswer().value, values[0]) << "still reading after the changes";
}

// A lone LC-1's packet, multiplier 14.7.
Bytes Lc1Packet(unsigned lambda, unsigned status = 0) {
    return {0xB2,
            0x82,
            static_cast<std::uint8_t>(0x43 | (status << 2)),
            0x13,
            static_cast<std::uint8_t>((lambda >> 7) & 0x3F),
            static_cast<std::uint8_t>(lambda & 0x7F)};
}

// What the chosen LC-1 says reaches the debug output once per change, never per packet: a
// warm-up at each tenth, an error with its code, a broken group not at all.
TEST_F(LC1DriverTest, SaysInOneTextEachTimeTheLc1sStateChanges) {
    const struct {
        Bytes packet;
        const char* text;  // the whole text after "LC1Driver::Read COMn LC-1 ", as a pattern; "" for none
    } steps[] = {
        {Lc1Packet(0, 4), R"(warming up \(0\.0 %\))"},
        {Lc1Packet(630, 4), R"(warming up \(63\.0 %\))"},
        {Lc1Packet(635, 4), ""},
        {Lc1Packet(0, 5), "heater calibration in progress"},
        {Lc1Packet(0, 2), "free-air calibration in progress"},
        {Lc1Packet(209, 1), R"(free air: oxygen 20\.9 % \(no AFR\))"},
        {Lc1Packet(0, 3), "needs a free-air calibration: .+"},
        {Lc1Packet(500), R"(reading AFR 14\.70)"},
        {Lc1Packet(1000), ""},
        {{0xB2, 0x82, 0x41, 0x13, 0x03, 0x74}, ""},
        {{0xB2, 0x82, 0x00, 0x00, 0x00, 0x00}, "not in the chain: .+SENSOR.+"},
        {Lc1Packet(8, 6), "error 8: .+"},
        {Lc1Packet(2, 6), "error 2: .+"},
        {Lc1Packet(9, 6), "error 9"},
        {Lc1Packet(1000), R"(reading AFR 22\.05)"},
    };
    SerialPeer line;
    ASSERT_TRUE(line.Attach(kLinePort));
    CreateDriver(kLinePort);
    ASSERT_EQ(OpenDriver(), zb::kOk);
    while (ReadUntilAnswer(std::chrono::milliseconds(300)).result != zb::kNotReady) {
    }  // under Wine, packets an earlier test left on the line
    const std::string prefix = "LC1Driver::Read COM" + std::to_string(kLinePort) + " LC-1 ";
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text);
        contract::StartDebugCapture();
        line.Send(step.packet);
        const auto deadline = Clock::now() + std::chrono::milliseconds(10000);
        do {
            ReadOnce();
        } while (driver->Reader().AnsweredPlace() == nullptr && Clock::now() < deadline);
        const std::vector<std::string> texts = contract::StopDebugCapture();
        if (*step.text == '\0') {
            EXPECT_TRUE(texts.empty()) << texts.front();
        } else {
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_TRUE(std::regex_match(texts[0], std::regex(prefix + step.text))) << texts[0];
        }
    }
}

// The file's sensor line picks the LC-1 read from a chain, and a port change keeps it.
TEST_F(LC1DriverTest, ReadsTheConfiguredSensorAndAPortChangeKeepsIt) {
    const Bytes chain = {0xB2, 0x85, 0x01, 0x23, 0x43, 0x13, 0x03, 0x74, 0x43, 0x13, 0x07, 0x68};  // aux, 14.7, 22.05
    // Under Wine, lone packets an earlier test sent may still wait on a port: no second sensor.
    const auto readPastLonePackets = [this] {
        Answer answer = ReadUntilAnswer();
        while (answer.result == zb::kNotConnected) answer = ReadUntilAnswer();
        return answer;
    };
    SerialPeer oldLine;
    SerialPeer newLine;
    ASSERT_TRUE(oldLine.Attach(kLinePort));
    ASSERT_TRUE(newLine.Attach(kOtherLinePort));
    WriteWholeFile(configPath, SavedPortLine(kLinePort) + "\nsensor 2\n");
    driver = std::make_unique<LC1Driver>();
    EXPECT_EQ(driver->Sensor(), 2);
    ASSERT_EQ(OpenDriver(), zb::kOk);
    oldLine.Send(chain);
    EXPECT_EQ(readPastLonePackets().value, kValue1000);

    driver->ChangePort(kOtherLinePort);
    const std::string saved = ReadWholeFile(configPath);
    const std::string expected = SavedPortLine(kOtherLinePort) + "\nSENSOR 2\n";
    EXPECT_TRUE(saved == expected || saved == std::regex_replace(expected, std::regex("\n"), "\r\n")) << saved;
    newLine.Send(chain);
    EXPECT_EQ(readPastLonePackets().value, kValue1000);
}

// The saved file keeps the SENSOR line the file has when the port changes, also when
// lamdex-check --save rewrote it while the host ran.
TEST_F(LC1DriverTest, ChangePortWhileClosedSavesWithoutOpeningAndKeepsTheFilesSensor) {
    const std::string port = SavedPortLine(kLinePort) + "\n";
    const struct {
        const char* name;
        std::string atStart;
        std::string underneath;  // empty: unchanged
        std::string saved;
    } cases[] = {
        {"first sensor", port, "", SavedPortLine(kOtherLinePort) + "\n"},
        {"sensor 3 saved meanwhile", port, port + "SENSOR 3\n", SavedPortLine(kOtherLinePort) + "\nSENSOR 3\n"},
        {"first sensor saved meanwhile", port + "SENSOR 2\n", port, SavedPortLine(kOtherLinePort) + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWholeFile(configPath, c.atStart);
        driver = std::make_unique<LC1Driver>();
        if (!c.underneath.empty()) WriteWholeFile(configPath, c.underneath);
        driver->ChangePort(kOtherLinePort);
        EXPECT_FALSE(driver->IsOpen());
        EXPECT_FALSE(driver->IsLinkOpen());
        const std::string saved = ReadWholeFile(configPath);
        EXPECT_TRUE(saved == c.saved || saved == std::regex_replace(c.saved, std::regex("\n"), "\r\n")) << saved;
    }
}

TEST_F(LC1DriverTest, MissingConfigurationLeavesPortOneAndSaysWhy) {
    std::remove(configPath.c_str());
    driver = std::make_unique<LC1Driver>();
    std::int32_t code = -1;
    EXPECT_EQ(driver->PortNumber(), 1);
    EXPECT_STREQ(driver->GetLastErrorInfo(&code), "Cannot open config file for reading");
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(driver->IsLinkOpen()) << "construction never opens the port";
}

TEST_F(LC1DriverTest, RejectsBadRecordsWithoutChangingState) {
    CreateDriver(kAbsentPort);
    zb::OpenParams shortOpen{zb::kOpenParamsSize - 1, {}};
    EXPECT_EQ(driver->Open(&shortOpen), zb::kInvalidArg);
    EXPECT_EQ(driver->Open(nullptr), zb::kInvalidArg);
    EXPECT_FALSE(driver->IsOpen());

    std::uint32_t transferred = 77;
    std::int32_t buffer = 0;
    zb::TransferRecord wrongSize{24, &buffer, sizeof buffer, &transferred, 0};
    EXPECT_EQ(driver->Write(&wrongSize), zb::kInvalidArg);
    EXPECT_EQ(driver->Read(&wrongSize), zb::kInvalidArg);
    EXPECT_EQ(transferred, 77u);
    zb::TransferRecord write{zb::kTransferRecordSize, nullptr, 0, &transferred, 0};
    EXPECT_EQ(driver->Write(&write), zb::kOk);
    EXPECT_EQ(transferred, 0u) << "nothing is ever sent";

    zb::IoSettings settings{zb::kIoSettingsSize, {1, 2, 3, 4, 5, 6}};
    EXPECT_EQ(driver->SetSettings(&settings), zb::kOk);
    zb::IoSettings wrongSettings{zb::kIoSettingsSize + 1, {9, 9, 9, 9, 9, 9}};
    EXPECT_EQ(driver->SetSettings(&wrongSettings), zb::kInvalidArg);
    EXPECT_EQ(driver->GetSettings(&wrongSettings), zb::kInvalidArg);
    EXPECT_EQ(wrongSettings.values[0], 9u);
    zb::IoSettings readBack{zb::kIoSettingsSize, {}};
    EXPECT_EQ(driver->GetSettings(&readBack), zb::kOk);
    EXPECT_EQ(std::memcmp(&readBack, &settings, sizeof settings), 0);

    zb::DeviceDescription description{};
    description.size = zb::kDeviceDescriptionSize - 1;
    EXPECT_EQ(driver->GetDeviceDescription(&description), zb::kInvalidArg);
    EXPECT_EQ(description.name[0], '\0');
    zb::ConfigDialogParams dialog{zb::kConfigDialogParamsSize + 1, nullptr};
    EXPECT_EQ(driver->ShowConfiguration(&dialog), zb::kInvalidArg);
    EXPECT_EQ(driver->ShowConfiguration(nullptr), zb::kOk);
}

}  // namespace
}  // namespace lamdex::test
