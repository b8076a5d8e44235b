#include "tools/zbhost/debug_texts.h"

namespace zbhost {

void ShowPluginDebugTexts() {}

}  // namespace zbhost
