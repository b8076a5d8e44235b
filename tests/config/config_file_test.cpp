#include "config/config_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/config/config_test_support.h"

namespace lamdex {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// Whether a save of that file could make its temporary file (which is then removed again).
bool TemporaryFileCanBeMade(const std::string& path) {
    char temporary[kConfigPathSize];
    if (!TemporaryPathFor(path.c_str(), temporary)) return false;
    std::FILE* file = std::fopen(temporary, "w");
    if (file == nullptr) return false;
    std::fclose(file);
    std::remove(temporary);
    return true;
}

// The names in a folder, sorted.
std::vector<std::string> Entries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

constexpr int kStartPort = 3;
constexpr int kStartSensor = 2;

// The error text as the component holds it: filled with leftovers, never assumed clean.
struct ErrorText {
    char text[kLastErrorTextSize];
    explicit ErrorText(const char* initial = "") { std::strcpy(text, initial); }
    std::string Str() const { return text; }
};

void FillWithJunk(ErrorText& error) {
    std::memset(error.text, 'x', sizeof(error.text) - 1);
    error.text[sizeof(error.text) - 1] = '\0';
}

// One load from the start values, into the error text given.
struct Loaded {
    int port = kStartPort;
    int sensor = kStartSensor;
    ErrorText error;
    explicit Loaded(const std::string& path, const ErrorText& before = ErrorText{}) : error(before) {
        LoadConfig(path.c_str(), port, sensor, error.text);
    }
};

struct LoadCase {
    const char* name;
    std::string bytes;
    int expectedPort;
    int expectedSensor = kStartSensor;
};

std::string Padded(std::size_t width, const char* number) {
    std::string line = "COMPORT";
    line += std::string(width - line.size() - std::strlen(number), ' ');
    return line + number;
}

TEST(LoadConfig, ReadsTheFileLineByLine) {
    const std::string enormous = std::string(511, 'x') + "COMPORT 9" + std::string(100000, '=') + "COMPORT 8";
    const LoadCase cases[] = {
        {"plain", "COMPORT 4\n", 4},
        {"lower case, equals sign", "comport=7\n", 7},
        {"leading blanks, tab", "   COMPORT\t12\n", 12},
        {"runs of delimiters", "COMPORT = =\t8 9\n", 8},
        {"digits then junk", "COMPORT 7x\n", 7},
        {"sign", "COMPORT +6\n", 6},
        {"lowest", "COMPORT 1\n", 1},
        {"highest", "COMPORT 255\n", 255},
        {"zero", "COMPORT 0\n", kStartPort},
        {"too high", "COMPORT 256\n", kStartPort},
        {"negative", "COMPORT -3\n", kStartPort},
        {"not a number", "COMPORT abc\n", kStartPort},
        {"would wrap into range", "COMPORT 4294967297\n", kStartPort},
        {"key alone, its token holds the line end", "COMPORT\n12\n", kStartPort},
        {"key alone with CR LF", "COMPORT\r\n12\r\n", kStartPort},
        {"CR LF", "COMPORT 6\r\n", 6},
        {"longer key", "COMPORTS 6\n", kStartPort},
        {"key not first", "PORT COMPORT 6\n", kStartPort},
        {"last line wins", "COMPORT 2\nCOMPORT 5\n", 5},
        {"unacceptable last line keeps the earlier one", "COMPORT 2\nCOMPORT 0\n", 2},
        {"last line without line end", "# port\nCOMPORT 9", 9},
        {"empty file", "", kStartPort},
        {"blank lines", "\n\n \t\n", kStartPort},
        {"text after a NUL stays on its line", std::string("x\0COMPORT 9\n", 12), kStartPort},
        {"line of exactly 511 characters", Padded(511, "12") + "\n", 12},
        {"longer line: its first 511 characters count", "COMPORT 5" + std::string(600, ' ') + "\n", 5},
        {"longer line: a number cut at character 511 counts as cut", Padded(512, "12") + "\n", 1},
        {"rest of an enormous line is not a new line", enormous, kStartPort},
        {"enormous line, then a good one", enormous + "\nCOMPORT 6\n", 6},
        {"sensor line as a save writes it", "COMPORT 4\nSENSOR 3\n", 4, 3},
        {"sensor line first, any case, read like the port", "  sensor=127x\r\nCOMPORT 5\n", 5, 127},
        {"first sensor", "SENSOR 1\n", kStartPort, 1},
        {"sensor values out of range or not numbers", "SENSOR 0\nSENSOR 128\nSENSOR -2\nSENSOR x\nSENSOR\n",
         kStartPort},
        {"sensor on the port's line is not a sensor line", "COMPORT 4 SENSOR 3\nSENSORS 3\n", 4},
        {"last sensor line wins", "SENSOR 9\nSENSOR 4\n", kStartPort, 4},
    };
    TempDir dir;
    const std::string file = dir.File("Lamdex.cfg");
    for (const LoadCase& c : cases) {
        WriteBytes(file, c.bytes);
        const Loaded loaded(file);
        EXPECT_EQ(loaded.port, c.expectedPort) << c.name;
        EXPECT_EQ(loaded.sensor, c.expectedSensor) << c.name;
        EXPECT_EQ(loaded.error.Str(), "") << c.name;
    }
}

TEST(LoadConfig, BinaryJunkLeavesThePortAlone) {
    std::string junk;
    unsigned state = 12345;
    for (int i = 0; i < 65536; ++i) {
        state = state * 1103515245u + 12345u;
        junk += static_cast<char>(state >> 24);
    }
    TempDir dir;
    const std::string file = dir.File("Lamdex.cfg");
    WriteBytes(file, junk);
    EXPECT_EQ(Loaded(file).port, kStartPort);
}

TEST(LoadConfig, MissingFileSetsTheMessageAndKeepsThePort) {
    TempDir dir;
    ErrorText junk;
    FillWithJunk(junk);
    const Loaded loaded(dir.File("Lamdex.cfg"), junk);
    EXPECT_EQ(loaded.port, kStartPort);
    EXPECT_EQ(loaded.sensor, kStartSensor);
    EXPECT_EQ(loaded.error.Str(), "Cannot open config file for reading");
}

TEST(LoadConfig, FolderInsteadOfFileFailsAndEnds) {
    // Opens natively but every read fails: the load must end and say so.
    TempDir dir;
    const Loaded loaded(dir.Path().string());
    EXPECT_EQ(loaded.port, kStartPort);
    EXPECT_EQ(loaded.error.Str(), "Cannot open config file for reading");
}

TEST(LoadConfig, SuccessKeepsAnEarlierMessage) {
    TempDir dir;
    const std::string file = dir.File("Lamdex.cfg");
    WriteBytes(file, "COMPORT 5\n");
    const Loaded loaded(file, ErrorText("Cannot open config file for writing"));
    EXPECT_EQ(loaded.port, 5);
    EXPECT_EQ(loaded.error.Str(), "Cannot open config file for writing");
}

TEST(SaveConfig, WritesTheSensorLineOnlyForASensorOtherThanTheFirst) {
    TempDir dir;
    const std::string file = dir.File("Lamdex.cfg");
    WriteBytes(file, "COMPORT 2\nsomething much longer than the new contents\n");
    ErrorText error;
    SaveConfig(file.c_str(), 12, kDefaultSensor, error.text);
    EXPECT_EQ(ReadBytes(file), std::string("COMPORT 12") + test::TextLineEnd());
    EXPECT_EQ(error.Str(), "");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Lamdex.cfg"}) << "no temporary file left";

    SaveConfig(file.c_str(), 12, 5, error.text);
    EXPECT_EQ(ReadBytes(file), std::string("COMPORT 12") + test::TextLineEnd() + "SENSOR 5" + test::TextLineEnd());

    for (int saved : {kLowestPort, kHighestPort}) {
        for (int savedSensor : {kDefaultSensor, kMaxSensor}) {
            SaveConfig(file.c_str(), saved, savedSensor, error.text);
            int port = kStartPort;
            int sensor = kDefaultSensor;  // the component's own, when the file names none
            LoadConfig(file.c_str(), port, sensor, error.text);
            EXPECT_EQ(port, saved);
            EXPECT_EQ(sensor, savedSensor);
        }
    }
    EXPECT_EQ(error.Str(), "");
}

// Writes the first few bytes, then fails, as a full disk or a pulled stick would.
bool WriteHalfThenFail(std::FILE* file, const char* text) {
    (void)std::fwrite(text, 1, std::strlen(text) / 2, file);
    (void)std::fflush(file);
    return false;
}

constexpr char kOldContents[] = "COMPORT 6\nkept as it was\n";

TEST(SaveConfig, WriteFailingPartWayLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const std::string file = dir.File("Lamdex.cfg");
    WriteBytes(file, kOldContents);
    EXPECT_FALSE(ReplaceFileText(file.c_str(), "COMPORT 12\n", &WriteHalfThenFail));
    EXPECT_EQ(ReadBytes(file), kOldContents);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Lamdex.cfg"});
}

TEST(SaveConfig, NoRoomForTheTemporaryFileLeavesTheOldFile) {
    struct Case {
        const char* name;
        void (*spoil)(const TempDir& dir);
    };
    const Case cases[] = {
        {"a folder has the temporary file's name",
         [](const TempDir& dir) {
             char temporary[kConfigPathSize];
             ASSERT_TRUE(TemporaryPathFor(dir.File("Lamdex.cfg").c_str(), temporary));
             std::filesystem::create_directory(temporary);
         }},
        {"the folder is read-only",
         [](const TempDir& dir) {
             std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_write,
                                          std::filesystem::perm_options::remove);
         }},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string file = dir.File("Lamdex.cfg");
        WriteBytes(file, kOldContents);
        c.spoil(dir);
        const std::vector<std::string> before = Entries(dir);
        if (TemporaryFileCanBeMade(file)) {
            std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
            continue;  // a read-only folder does not stop root
        }
        ErrorText error;
        SaveConfig(file.c_str(), 12, kDefaultSensor, error.text);
        EXPECT_EQ(error.Str(), "Cannot open config file for writing") << c.name;
        EXPECT_EQ(ReadBytes(file), kOldContents) << c.name;
        EXPECT_EQ(Entries(dir), before) << c.name;
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    }
}

TEST(SaveConfig, MissingFolderFailsAndIsNotCreated) {
    TempDir dir;
    const auto plugins = dir.Path() / "Plugins";
    ErrorText error;
    FillWithJunk(error);
    SaveConfig((plugins / "Lamdex.cfg").string().c_str(), 4, kDefaultSensor, error.text);
    EXPECT_EQ(error.Str(), "Cannot open config file for writing");
    EXPECT_FALSE(std::filesystem::exists(plugins));
}

TEST(ConfigFile, EmptyPathFailsBothWaysAndCreatesNothing) {
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const Loaded loaded("");
    ErrorText writeError;
    SaveConfig("", 7, 3, writeError.text);
    std::filesystem::current_path(previous);
    EXPECT_EQ(loaded.port, kStartPort);
    EXPECT_EQ(loaded.error.Str(), "Cannot open config file for reading");
    EXPECT_EQ(writeError.Str(), "Cannot open config file for writing");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
}  // namespace lamdex
