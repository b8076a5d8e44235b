#include <dlfcn.h>

#include <cstring>

#include "tools/zbhost/plugin_library.h"

namespace zbhost {

LibraryHandle LoadPluginLibrary(const std::string& path, std::string& error) {
    // A bare name would make dlopen search the library path instead of the current folder.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "dlopen failed";
    }
    return library;
}

ExportedFunction FindExport(LibraryHandle library, const char* name) {
    void* address = dlsym(library, name);
    ExportedFunction function = nullptr;
    static_assert(sizeof function == sizeof address, "function and object pointers share a width here");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

void UnloadPluginLibrary(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

}  // namespace zbhost
