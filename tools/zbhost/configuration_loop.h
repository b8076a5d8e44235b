// Showing a component's configuration dialog as the host does; one implementation per
// platform, since only Windows has a dialog and a message loop to drive it.
#pragma once

#include <string>

#include "tools/zbhost/host_abi.h"

namespace zbhost {

// Calls ShowConfiguration with an owner window and, where a dialog opened, runs this
// thread's message loop until it has closed. `note` says what happened.
HResult RunConfiguration(void* component, std::string& note);

}  // namespace zbhost
