// The per-user configuration file: a "COMPORT n" line remembers the LC-1's port, and a
// "SENSOR n" line, when the user chose other than the first, which LC-1 of a chain is read.
#pragma once

#include <cstddef>
#include <cstdio>

#include "lamdex/port_number.h"
#include "lamdex/sensor_number.h"

namespace lamdex {

constexpr std::size_t kConfigPathSize = 260;
constexpr std::size_t kLastErrorTextSize = 300;
constexpr std::size_t kConfigLineSize = 512;

constexpr const char kCannotReadConfig[] = "Cannot open config file for reading";
constexpr const char kCannotWriteConfig[] = "Cannot open config file for writing";

// Fills path with the user's profile folder and the fixed suffix. Leaves path empty
// when the folder cannot be had or the whole does not fit: nothing is then ever
// written to a truncated path.
void BuildConfigPath(char (&path)[kConfigPathSize]);

// The user's profile folder, without a trailing separator; false when there is none.
// Implemented once per platform, with the separator of that platform's paths.
bool ProfileFolder(char (&folder)[kConfigPathSize]);
extern const char kPathSeparator;

// Applies one line of the file: "COMPORT n" (any case; separators space, '=' and tab)
// with n from 1 to 255 sets portNumber, "SENSOR n" with n from 1 to 127 sets sensor.
// Other lines, and other values, change nothing.
void ApplyConfigLine(const char* line, int& portNumber, int& sensor);

// Portable, on the C runtime's text files. Failures set lastErrorText and leave the port
// and the sensor. A save writes the COMPORT line and, only for a sensor other than the
// first, a SENSOR line; one that fails at any step leaves the old file as it was.
void LoadConfig(const char* path, int& portNumber, int& sensor, char (&lastErrorText)[kLastErrorTextSize]);
void SaveConfig(const char* path, int portNumber, int sensor, char (&lastErrorText)[kLastErrorTextSize]);

// Puts all of text into the open file and flushes it; false when any of it did not go.
using TextWriter = bool (*)(std::FILE* file, const char* text);
bool WriteAndFlush(std::FILE* file, const char* text);

// How a save replaces the file: text goes into a temporary file in the same folder, which
// then takes the file's place in one step. False when any step fails; the file at path is
// then as it was and no temporary file is left. The writer is a parameter so a test can
// make the write fail part-way.
bool ReplaceFileText(const char* path, const char* text, TextWriter write);

// The temporary file's path: path with its last character made '~', so it is in the same
// folder and no longer than the path itself. False when path is empty or too long.
bool TemporaryPathFor(const char* path, char (&temporary)[kConfigPathSize]);

// Moves the temporary file into path's place in one step, replacing a file there. False
// when it cannot (a read-only file, a folder, a file another program holds); the file at
// path is then as it was. Implemented once per platform.
bool MoveIntoPlace(const char* temporary, const char* path);

}  // namespace lamdex
