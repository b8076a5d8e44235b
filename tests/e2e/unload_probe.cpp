// Loads the plug-in as the host does, opens its component on the configured port, then
// unloads the library WITHOUT calling Close: unloading alone must release the port.
// Prints "opened" and "unloaded" as it goes and waits for a line on standard input after
// each, so a script can look at who holds the port at both moments.
#include <cstdio>
#include <string>

#include "tools/zbhost/host_abi.h"
#include "tools/zbhost/plugin_library.h"

namespace {

void Announce(const char* stage) {
    std::printf("%s\n", stage);
    std::fflush(stdout);
    char line[16];
    if (std::fgets(line, sizeof line, stdin) == nullptr) return;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: unload_probe LIBRARY\n");
        return 1;
    }
    std::string error;
    zbhost::LibraryHandle library = zbhost::LoadPluginLibrary(argv[1], error);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    auto create =
        reinterpret_cast<zbhost::CreatePluginFunction>(zbhost::FindExport(library, zbhost::kCreatePluginExport));
    void* component = create != nullptr ? zbhost::plugin_call::GetComponent(create(), 0) : nullptr;
    if (component == nullptr) {
        std::fprintf(stderr, "no component\n");
        return 3;
    }
    zbhost::Record<zbhost::open_params::kRecordBytes> params;
    params.Put32(zbhost::open_params::kSize, zbhost::open_params::kSizeValue);
    if (zbhost::component_call::Open(component, params.Data()) != zbhost::kOk) return 4;
    Announce("opened");
    zbhost::UnloadPluginLibrary(library);
    Announce("unloaded");
    return 0;
}
