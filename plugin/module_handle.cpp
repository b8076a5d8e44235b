#include "plugin/module_handle.h"

namespace lamdex {
namespace {
void* moduleHandle = nullptr;
}  // namespace

void RememberModuleHandle(void* module) {
    moduleHandle = module;
}
void* ModuleHandle() {
    return moduleHandle;
}

}  // namespace lamdex
