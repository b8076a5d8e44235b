// Reading and writing the "COMPORT n" / "SENSOR n" file on the C runtime's text files.
#include "config/config_file.h"

#include <cstdio>
#include <cstring>

namespace lamdex {
namespace {

constexpr char kPortKey[] = "COMPORT";
constexpr char kSensorKey[] = "SENSOR";
constexpr std::size_t kLongestLine = kConfigLineSize - 1;

bool IsDelimiter(char c) {
    return c == ' ' || c == '=' || c == '\t';
}

// A token is a run of non-delimiters; the line end belongs to the token it follows.
struct Token {
    const char* begin;
    std::size_t length;
};

bool NextToken(const char*& cursor, Token& token) {
    while (*cursor != '\0' && IsDelimiter(*cursor)) ++cursor;
    if (*cursor == '\0') return false;
    token.begin = cursor;
    while (*cursor != '\0' && !IsDelimiter(*cursor)) ++cursor;
    token.length = static_cast<std::size_t>(cursor - token.begin);
    return true;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoringCase(const Token& token, const char* word) {
    if (token.length != std::strlen(word)) return false;
    for (std::size_t i = 0; i < token.length; ++i) {
        if (AsciiUpper(token.begin[i]) != AsciiUpper(word[i])) return false;
    }
    return true;
}

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads as atoi does (white space, sign, leading digits; none gives 0), but saturates
// instead of overflowing, so a huge number can never wrap into the port range.
int ParseDecimal(const Token& token) {
    constexpr int kSaturated = kHighestPort + 1;
    const char* p = token.begin;
    const char* end = token.begin + token.length;
    while (p < end && IsWhiteSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    int value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > kSaturated) value = kSaturated;
    }
    return negative ? -value : value;
}

void CopyMessage(char (&lastErrorText)[kLastErrorTextSize], const char* message) {
    std::size_t length = std::strlen(message);
    if (length > kLastErrorTextSize - 1) length = kLastErrorTextSize - 1;
    std::memcpy(lastErrorText, message, length);
    lastErrorText[length] = '\0';
}

enum class LineRead { kLine, kEnd, kError };

// Reads one physical line, keeping its line end as the file has it. Of a line longer
// than the buffer only the head that fits is kept, as a line read with a bounded fgets
// would be; the rest is consumed to the line end, so no part of it is ever taken for a
// line of its own.
LineRead ReadLine(std::FILE* file, char (&line)[kConfigLineSize]) {
    std::size_t length = 0;
    int c = 0;
    while ((c = std::fgetc(file)) != EOF) {
        if (length < kLongestLine) line[length++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    line[length] = '\0';
    if (c == EOF && std::ferror(file)) return LineRead::kError;
    if (c == EOF && length == 0) return LineRead::kEnd;
    return LineRead::kLine;
}

}  // namespace

void ApplyConfigLine(const char* line, int& portNumber, int& sensor) {
    const char* cursor = line;
    Token key{};
    if (!NextToken(cursor, key)) return;
    const bool isPort = EqualsIgnoringCase(key, kPortKey);
    if (!isPort && !EqualsIgnoringCase(key, kSensorKey)) return;
    Token value{};
    if (!NextToken(cursor, value)) return;
    const int number = ParseDecimal(value);
    if (isPort && IsPortNumber(number)) portNumber = number;
    if (!isPort && IsSensorNumber(number)) sensor = number;
}

void LoadConfig(const char* path, int& portNumber, int& sensor, char (&lastErrorText)[kLastErrorTextSize]) {
    // An empty path means the location could not be built; never hand it to fopen.
    std::FILE* file = (path != nullptr && path[0] != '\0') ? std::fopen(path, "rt") : nullptr;
    if (file == nullptr) {
        CopyMessage(lastErrorText, kCannotReadConfig);
        return;
    }
    char line[kConfigLineSize];
    for (;;) {
        const LineRead read = ReadLine(file, line);
        if (read == LineRead::kEnd) break;
        if (read == LineRead::kError) {
            CopyMessage(lastErrorText, kCannotReadConfig);
            break;
        }
        ApplyConfigLine(line, portNumber, sensor);
    }
    (void)std::fclose(file);  // nothing was written: a failed close loses nothing
}

bool WriteAndFlush(std::FILE* file, const char* text) {
    return std::fputs(text, file) >= 0 && std::fflush(file) == 0;
}

bool TemporaryPathFor(const char* path, char (&temporary)[kConfigPathSize]) {
    const std::size_t length = path != nullptr ? std::strlen(path) : 0;
    if (length == 0 || length >= kConfigPathSize) return false;
    std::memcpy(temporary, path, length + 1);
    temporary[length - 1] = temporary[length - 1] == '~' ? '_' : '~';
    return true;
}

bool ReplaceFileText(const char* path, const char* text, TextWriter write) {
    char temporary[kConfigPathSize];
    if (!TemporaryPathFor(path, temporary)) return false;
    std::FILE* file = std::fopen(temporary, "wt");
    if (file == nullptr) return false;
    // A full disk or a removed stick shows up while writing, flushing or closing.
    const bool written = write(file, text);
    const bool closed = std::fclose(file) == 0;
    if (written && closed && MoveIntoPlace(temporary, path)) return true;
    (void)std::remove(temporary);  // ours, and useless now; if it stays, the next save reuses it
    return false;
}

void SaveConfig(const char* path, int portNumber, int sensor, char (&lastErrorText)[kLastErrorTextSize]) {
    char text[64];
    // With the first sensor the file is the one line it always was.
    if (IsSensorNumber(sensor) && sensor != kDefaultSensor) {
        (void)std::snprintf(text, sizeof text, "COMPORT %d\nSENSOR %d\n", portNumber, sensor);
    } else {
        (void)std::snprintf(text, sizeof text, "COMPORT %d\n", portNumber);
    }
    const bool saved = path != nullptr && path[0] != '\0' && ReplaceFileText(path, text, &WriteAndFlush);
    if (!saved) CopyMessage(lastErrorText, kCannotWriteConfig);
}

void BuildConfigPath(char (&path)[kConfigPathSize]) {
    static constexpr const char* kPathParts[] = {"My Documents", "Zelbar Files", "Plugins", "Lamdex.cfg"};
    path[0] = '\0';
    char built[kConfigPathSize] = {};
    if (!ProfileFolder(built)) return;
    std::size_t length = std::strlen(built);
    if (length == 0) return;
    for (const char* name : kPathParts) {
        const std::size_t nameLength = std::strlen(name);
        // A cut path could name some other file; an empty one makes load and save fail instead.
        if (length + 1 + nameLength >= kConfigPathSize) return;
        built[length++] = kPathSeparator;
        std::memcpy(built + length, name, nameLength);
        length += nameLength;
    }
    built[length] = '\0';
    std::memcpy(path, built, length + 1);
}

}  // namespace lamdex
