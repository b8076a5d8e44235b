// Catches what the plug-in writes to the platform's debug output while a capture runs.
#pragma once

#include <string>
#include <vector>

namespace contract {

void StartDebugCapture();

// The texts written since StartDebugCapture, one per debug-output call, exactly as passed.
std::vector<std::string> StopDebugCapture();

}  // namespace contract
