// Runs the contract tests against the plug-in library named on the command line.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/contract/loaded_plugin.h"

namespace contract {

namespace {
LoadedPlugin loaded;
}

bool LoadPlugin(const std::string& path, std::string& error) {
    loaded.library = zbhost::LoadPluginLibrary(path, error);
    if (loaded.library == nullptr) return false;
    loaded.create =
        reinterpret_cast<zbhost::CreatePluginFunction>(zbhost::FindExport(loaded.library, zbhost::kCreatePluginExport));
    loaded.release = reinterpret_cast<zbhost::ReleasePluginFunction>(
        zbhost::FindExport(loaded.library, zbhost::kReleasePluginExport));
    if (loaded.create == nullptr || loaded.release == nullptr) {
        error = "the library lacks ZBCreatePlugin or ZBReleasePlugin";
        return false;
    }
    return true;
}

void UnloadPlugin() {
    zbhost::UnloadPluginLibrary(loaded.library);
    loaded = LoadedPlugin();
}

const LoadedPlugin& Loaded() {
    return loaded;
}

void* Plugin() {
    return loaded.create();
}

void* Component() {
    return zbhost::plugin_call::GetComponent(Plugin(), 0);
}

}  // namespace contract

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PLUGIN_LIBRARY [gtest options]\n", argv[0]);
        return 2;
    }
    std::string error;
    if (!contract::LoadPlugin(argv[1], error)) {
        std::fprintf(stderr, "cannot use %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    contract::UnloadPlugin();
    return result;
}
