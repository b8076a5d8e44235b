// The real plug-in library, loaded once for the whole test program (its objects are
// static and live until unload, as for the host).
#pragma once

#include <string>

#include "tools/zbhost/host_abi.h"
#include "tools/zbhost/plugin_library.h"

namespace contract {

struct LoadedPlugin {
    zbhost::LibraryHandle library = nullptr;
    zbhost::CreatePluginFunction create = nullptr;
    zbhost::ReleasePluginFunction release = nullptr;
};

// Answers false with the reason when the library or one of its exports is missing.
bool LoadPlugin(const std::string& path, std::string& error);
void UnloadPlugin();

const LoadedPlugin& Loaded();
void* Plugin();     // ZBCreatePlugin()
void* Component();  // GetComponent(0) of the plug-in

}  // namespace contract
