// The library's own instance handle, recorded at load; the dialog finds its template by it.
#pragma once

namespace lamdex {

void RememberModuleHandle(void* module);
void* ModuleHandle();

}  // namespace lamdex
