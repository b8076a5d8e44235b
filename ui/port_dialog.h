// The port selection dialog the host opens through ShowConfiguration.
#pragma once

#include "ui/port_choice.h"

namespace lamdex {

// Opens a further, independent dialog owned by ownerWindow, its template taken from the
// module (the library) that holds it, and returns at once; the host's message loop
// drives it. A failure to create it is not reported.
void OpenPortDialog(void* module, void* ownerWindow, PortSetting* setting);

}  // namespace lamdex
