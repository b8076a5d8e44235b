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

// What the dialog shows and changes: all it knows of the port's owner.
class PortSetting {
public:
    virtual int CurrentPort() const = 0;
    virtual void ChangePort(int port) = 0;

protected:
    PortSetting() = default;
    ~PortSetting() = default;
    PortSetting(const PortSetting&) = default;
    PortSetting& operator=(const PortSetting&) = default;
};

// OK: applies the selected entry's port to the setting, when there is both.
// Cancel applies nothing and has no counterpart here.
void ApplySelectedEntry(PortSetting* setting, int selectedEntry);

}  // namespace lamdex
