// The port dialog in real windows: loads the built Lamdex.dll, opens the dialog the way a
// host does (slot 3 of the plug-in, then slot 3 of the component, through the host's own
// statement of the contract), then reads and drives the dialog through window messages
// and checks the configuration file the component keeps in the profile.
//
// usage: port_dialog_window_test LAMDEX_DLL [gtest options]
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/windows_test_support.h"
#include "tools/zbhost/host_abi.h"
#include "ui/resource.h"

namespace lamdex::test {
namespace {

// Writes the starting configuration, then loads the library, which reads it once at load.
class PortDialogWindow : public PluginHostTest {
protected:
    void LoadWithConfig(const std::string& text) {
        ASSERT_TRUE(WriteConfigFile(text));
        Load();
    }
    static std::string Config() { return ReadFileBytes(ConfigFile()); }
};

// A line the component never writes: a rewritten file loses it.
const std::string kPort3 = "COMPORT 3\r\n; kept unless rewritten\r\n";
const std::string kPort20 = "COMPORT 20\r\n; kept unless rewritten\r\n";

TEST_F(PortDialogWindow, ListsTwelvePortsWithTheConfiguredOneSelected) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
    char title[64] = {};
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, kDialogTitle);
    EXPECT_EQ(ListEntries(dialog), (std::vector<std::string>{"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7",
                                                             "Com8", "Com9", "Com10", "Com11", "Com12"}));
    EXPECT_EQ(Selection(dialog), 2);
}

TEST_F(PortDialogWindow, CancelChangesNothing) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Choose(dialog, 4);
    Click(dialog, IDCANCEL);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort3);
    HWND again = ShowDialog();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Selection(again), 2);
}

TEST_F(PortDialogWindow, OkSavesTheChosenPortAndKeepsIt) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Choose(dialog, 4);
    Click(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), "COMPORT 5\r\n");
    HWND again = ShowDialog();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Selection(again), 4);
}

// lamdex-check --save 3 --sensor 2 while the host runs: OK keeps the line it wrote.
TEST_F(PortDialogWindow, OkKeepsTheSensorLineTheFileHasWhenItSaves) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WriteConfigFile("COMPORT 3\r\nSENSOR 2\r\n"));
    Choose(dialog, 4);
    Click(dialog, IDOK);
    EXPECT_EQ(Config(), "COMPORT 5\r\nSENSOR 2\r\n");
}

TEST_F(PortDialogWindow, OkOnTheCurrentPortSavesNothing) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Press(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort3);
}

TEST_F(PortDialogWindow, PortAboveTheListShowsNoSelectionAndOkChangesNothing) {
    LoadWithConfig(kPort20);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ListEntries(dialog).size(), 12u);
    EXPECT_EQ(Selection(dialog), LB_ERR);
    Press(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort20);
}

TEST_F(PortDialogWindow, DialogsOpenAtOnceCloseOneByOne) {
    LoadWithConfig(kPort3);
    HWND first = ShowDialog();
    HWND second = ShowDialog();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, second);
    Choose(second, 6);
    Press(second, IDOK);
    EXPECT_FALSE(IsWindow(second));
    ASSERT_TRUE(IsWindow(first));
    EXPECT_EQ(Config(), "COMPORT 7\r\n");
    Choose(first, 10);
    Press(first, IDOK);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(Config(), "COMPORT 11\r\n");
}

TEST_F(PortDialogWindow, ListNotificationsLeaveTheDialogOpen) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Choose(dialog, 4);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_PORT_LIST)));
    PumpMessages();
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort3);
}

TEST_F(PortDialogWindow, UnloadingTheLibraryClosesItsOpenDialogs) {
    LoadWithConfig(kPort3);
    HWND first = ShowDialog();
    HWND second = ShowDialog();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    FreeLibrary(library_);
    library_ = nullptr;
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(second));
    PumpMessages();  // nothing left to call into the unloaded code
    EXPECT_TRUE(IsWindow(owner_));
    EXPECT_EQ(Config(), kPort3);
}

TEST_F(PortDialogWindow, NoRecordOrAWrongSizeOpensNoDialog) {
    LoadWithConfig(kPort3);
    EXPECT_EQ(zbhost::component_call::ShowConfiguration(component_, nullptr), zbhost::kOk);
    EXPECT_EQ(ShowConfiguration(component_, owner_, 7), zbhost::kInvalidArg);
    PumpMessages();
    EXPECT_TRUE(OpenDialogs().empty());
}

}  // namespace
}  // namespace lamdex::test
