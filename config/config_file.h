// The per-user configuration file: one "COMPORT n" line remembers the LC-1's port.
#pragma once

#include <cstddef>

namespace lamdex {

constexpr std::size_t kConfigPathSize = 260;
constexpr std::size_t kLastErrorTextSize = 300;
constexpr std::size_t kConfigLineSize = 512;
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 255;

constexpr const char kCannotReadConfig[] = "Cannot open config file for reading";
constexpr const char kCannotWriteConfig[] = "Cannot open config file for writing";

// Fills path with the user's profile folder and the fixed suffix. Leaves path empty
// when the folder cannot be had or the whole does not fit: nothing is then ever
// written to a truncated path. Implemented once per platform.
void BuildConfigPath(char (&path)[kConfigPathSize]);

// Applies one line of the file to portNumber: "COMPORT n" (any case; separators
// space, '=' and tab) with n from 1 to 255. Other lines change nothing.
void ApplyConfigLine(const char* line, int& portNumber);

// Portable, on the C runtime's text files. Failures set lastErrorText and leave the port.
void LoadConfig(const char* path, int& portNumber, char (&lastErrorText)[kLastErrorTextSize]);
void SaveConfig(const char* path, int portNumber, char (&lastErrorText)[kLastErrorTextSize]);

}  // namespace lamdex
