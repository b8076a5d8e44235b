#include "ui/port_dialog.h"

namespace lamdex {

// There is no dialog manager and no host UI natively: the port is chosen by editing
// the configuration file's "COMPORT n" line, which the component reads at load.
void OpenPortDialog(void* /*module*/, void* /*ownerWindow*/, PortSetting* /*setting*/) {}

}  // namespace lamdex
