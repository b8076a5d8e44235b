// Arbitrary bytes as one configuration line and as a whole configuration file. The port and
// the sensor must stay valid ones, the error text terminated, and the outcome must match a
// plain reading of the format: tokens split at runs of ' ', '=' and tab; "COMPORT" or
// "SENSOR" in any case first; the second token read as atoi reads it; only 1..255 taken for
// the port and 1..127 for the sensor, the last one winning.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config_file.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

constexpr int kStartPort = 77;
constexpr int kStartSensor = 5;
constexpr char kEarlierMessage[] = "earlier message";

bool IsDelimiter(char c) {
    return c == ' ' || c == '=' || c == '\t';
}

// The number a line sets for `wanted`, or `current` unchanged. Written independently of the
// parser under test.
int ExpectedNumber(const std::string& line, const char* wanted, int current, int lowest, int highest) {
    std::size_t i = line.find_first_not_of(" =\t");
    if (i == std::string::npos) return current;
    const std::size_t keyEnd = line.find_first_of(" =\t", i);
    std::string key = line.substr(i, keyEnd == std::string::npos ? std::string::npos : keyEnd - i);
    for (char& c : key) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    if (key != wanted || keyEnd == std::string::npos) return current;
    i = keyEnd;
    while (i < line.size() && IsDelimiter(line[i])) ++i;
    if (i == line.size()) return current;
    while (i < line.size() && !IsDelimiter(line[i]) && line[i] != '\0' && std::strchr("\n\v\f\r", line[i]) != nullptr)
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    long long value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        value = value * 10 + (line[i] - '0');
        if (value > 1000) value = 1000;  // far outside the range either way
    }
    if (negative) value = -value;
    return (value >= lowest && value <= highest) ? static_cast<int>(value) : current;
}

int ExpectedPort(const std::string& line, int port) {
    return ExpectedNumber(line, "COMPORT", port, lamdex::kLowestPort, lamdex::kHighestPort);
}

int ExpectedSensor(const std::string& line, int sensor) {
    return ExpectedNumber(line, "SENSOR", sensor, lamdex::kDefaultSensor, lamdex::kMaxSensor);
}

void CheckLine(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    int port = kStartPort;
    int sensor = kStartSensor;
    lamdex::ApplyConfigLine(line.c_str(), port, sensor);
    Require(port >= lamdex::kLowestPort && port <= lamdex::kHighestPort, "line: port stays in range");
    Require(port == ExpectedPort(std::string(line.c_str()), kStartPort), "line: port as the format says");
    Require(sensor == ExpectedSensor(std::string(line.c_str()), kStartSensor), "line: sensor as the format says");
}

const char* ScratchPath() {
    static char path[] = "/tmp/lamdex-config-fuzz-XXXXXX";
    static const bool made = [] {
        const int fd = mkstemp(path);
        if (fd < 0) return false;
        close(fd);
        std::atexit([] { unlink(path); });
        return true;
    }();
    Require(made, "scratch file created");
    return path;
}

void CheckFile(const std::uint8_t* data, std::size_t size) {
    const char* path = ScratchPath();
    std::FILE* file = std::fopen(path, "wb");
    Require(file != nullptr, "scratch file opened");
    Require(std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0, "scratch file written");

    char lastErrorText[lamdex::kLastErrorTextSize];
    std::memset(lastErrorText, 'X', sizeof lastErrorText);
    std::memcpy(lastErrorText, kEarlierMessage, sizeof kEarlierMessage);
    int port = kStartPort;
    int sensor = kStartSensor;
    lamdex::LoadConfig(path, port, sensor, lastErrorText);

    Require(port >= lamdex::kLowestPort && port <= lamdex::kHighestPort, "file: port stays in range");
    Require(std::memchr(lastErrorText, '\0', sizeof lastErrorText) != nullptr, "file: error text terminated");
    Require(std::strcmp(lastErrorText, kEarlierMessage) == 0, "file: a readable file sets no message");

    // Every line is read as the format says; of a line longer than the line buffer only its
    // first 511 characters, and nothing of the rest.
    const std::string contents(reinterpret_cast<const char*>(data), size);
    int expected = kStartPort;
    int expectedSensor = kStartSensor;
    for (std::size_t start = 0; start < contents.size();) {
        std::size_t end = contents.find('\n', start);
        end = end == std::string::npos ? contents.size() : end + 1;
        const std::string head = contents.substr(start, std::min(end - start, lamdex::kConfigLineSize - 1));
        expected = ExpectedPort(std::string(head.c_str()), expected);
        expectedSensor = ExpectedSensor(std::string(head.c_str()), expectedSensor);
        start = end;
    }
    Require(port == expected, "file: port as the format says");
    Require(sensor == expectedSensor, "file: sensor as the format says");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckLine(data, size);
    CheckFile(data, size);
    return 0;
}
