// Loading a plug-in library and finding its exports; one implementation per platform.
#pragma once

#include <string>

namespace zbhost {

using LibraryHandle = void*;          // null: not loaded
using ExportedFunction = void (*)();  // cast to the export's real type before calling

// Loads the library at `path`; on failure answers null and says why in `error`.
LibraryHandle LoadPluginLibrary(const std::string& path, std::string& error);

// The named export, or null when the library has none.
ExportedFunction FindExport(LibraryHandle library, const char* name);

void UnloadPluginLibrary(LibraryHandle library);

}  // namespace zbhost
