#include "ui/port_choice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace lamdex {
namespace {

TEST(PortChoice, ListsCom1ToCom12InOrder) {
    for (int entry = 0; entry < kPortEntryCount; ++entry) {
        char text[kPortEntrySize];
        std::memset(text, 'x', sizeof text);
        FormatPortEntry(entry, text);
        EXPECT_EQ(std::string(text), "Com" + std::to_string(entry + 1));
    }
    char beyond[kPortEntrySize] = "x";
    FormatPortEntry(kPortEntryCount, beyond);
    EXPECT_STREQ(beyond, "");
}

TEST(PortChoice, FirstSelectionIsTheConfiguredPortWhenListed) {
    const struct {
        int port;
        int entry;
    } cases[] = {{1, 0},         {3, 2},          {12, 11},      {13, kNoEntry},
                 {20, kNoEntry}, {255, kNoEntry}, {0, kNoEntry}, {-1, kNoEntry}};
    for (const auto& c : cases) {
        EXPECT_EQ(EntryForPort(c.port), c.entry) << "port " << c.port;
    }
}

// Stands in for the component, whose port change is exercised through the real
// library in the window test.
struct RecordingComponent final : PortSetting {
    std::vector<int> ports;
    int CurrentPort() const override { return kNoPort; }
    void ChangePort(int port) override { ports.push_back(port); }
};

TEST(PortChoice, OkAppliesTheSelectedEntrysPort) {
    RecordingComponent component;
    ApplySelectedEntry(&component, 4);
    ApplySelectedEntry(&component, 0);
    ApplySelectedEntry(&component, 11);
    EXPECT_EQ(component.ports, (std::vector<int>{5, 1, 12}));
}

TEST(PortChoice, OkWithoutSelectionOrComponentAppliesNothing) {
    RecordingComponent component;
    ApplySelectedEntry(&component, kNoEntry);
    ApplySelectedEntry(&component, kPortEntryCount);
    EXPECT_TRUE(component.ports.empty());
    ApplySelectedEntry(nullptr, 4);  // must not crash
}

}  // namespace
}  // namespace lamdex
