// What the port selection dialog decides, apart from any window: the entries it
// lists, the entry it selects first and what OK applies. Entry k stands for port k + 1.
#pragma once

#include <cstddef>

namespace lamdex {

constexpr int kPortEntryCount = 12;
constexpr std::size_t kPortEntrySize = 10;
constexpr int kNoEntry = -1;  // also what a list answers when nothing is selected
constexpr int kNoPort = 0;

// "Com1" for entry 0 ... "Com12" for entry 11; empty text for any other entry.
void FormatPortEntry(int entry, char (&text)[kPortEntrySize]);

// The entry showing portNumber, or kNoEntry when the list has none (above 12, below 1).
int EntryForPort(int portNumber);

// The port that OK applies for the selected entry, or kNoPort when nothing is selected.
int PortForEntry(int selectedEntry);

// OK: applies the selected entry's port to the component, when there is both.
// Cancel applies nothing and has no counterpart here.
template <typename Component>
void ApplySelectedEntry(Component* component, int selectedEntry) {
    const int port = PortForEntry(selectedEntry);
    if (component != nullptr && port != kNoPort) {
        component->ChangePort(port);
    }
}

}  // namespace lamdex
