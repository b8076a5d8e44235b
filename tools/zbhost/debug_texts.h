// What the plug-in writes to the platform's debug output ("LC1Driver::Open COM5 failed: ...")
// shown on zbhost's standard error, one text per line; one implementation per platform.
#pragma once

namespace zbhost {

// From now on, for the rest of the run. Natively the plug-in writes to standard error
// itself, so there is nothing to do.
void ShowPluginDebugTexts();

}  // namespace zbhost
