#include "ui/port_choice.h"

#include <cstdio>

namespace lamdex {

void FormatPortEntry(int entry, char (&text)[kPortEntrySize]) {
    if (entry < 0 || entry >= kPortEntryCount) {
        text[0] = '\0';
        return;
    }
    (void)std::snprintf(text, sizeof text, "Com%d", entry + 1);  // "Com12" and its NUL fit
}

int EntryForPort(int portNumber) {
    if (portNumber < 1 || portNumber > kPortEntryCount) {
        return kNoEntry;
    }
    return portNumber - 1;
}

int PortForEntry(int selectedEntry) {
    if (selectedEntry < 0 || selectedEntry >= kPortEntryCount) {
        return kNoPort;
    }
    return selectedEntry + 1;
}

void ApplySelectedEntry(PortSetting* setting, int selectedEntry) {
    const int port = PortForEntry(selectedEntry);
    if (setting != nullptr && port != kNoPort) {
        setting->ChangePort(port);
    }
}

}  // namespace lamdex
