// The port selection dialog the host opens through ShowConfiguration.
#pragma once

#include "lamdex/host_api.h"

namespace lamdex {

class LC1Driver;

// Opens a further, independent dialog owned by ownerWindow and returns at once; the
// host's message loop drives it. A failure to create it is not reported.
void OpenPortDialog(void* ownerWindow, LC1Driver* driver);

}  // namespace lamdex
