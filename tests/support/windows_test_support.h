// For the Windows test programs that load the real plug-in library in a Wine prefix: the
// prefix user's profile, where the library keeps its configuration file; loading the library
// as a host does; and its port dialog, opened through the host's contract and driven through
// window messages. Test programs link windows_test_main.cpp, which takes the library's path.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lamdex::test {

// The library under test: the test program's first argument (windows_test_main.cpp).
extern std::string pluginPath;

// The profile's folders down to the configuration file (empty when Windows cannot say).
std::string ProfileFolder();
std::string DocumentsFolder();
std::string PluginsFolder();
std::string ConfigFile();

bool Exists(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Writes the configuration file, making its folders first; false when they cannot be made.
bool WriteConfigFile(const std::string& bytes);
// Removes a file, or a folder and all it holds; never follows a link out of it.
void RemoveTree(const std::string& path);

// Moves the prefix user's "My Documents" aside while it lives and puts it back after: the
// tests start without a configuration, and the user's own stays as it was.
class ProfileGuard {
public:
    ProfileGuard();
    ~ProfileGuard();
    ProfileGuard(const ProfileGuard&) = delete;
    ProfileGuard& operator=(const ProfileGuard&) = delete;

private:
    std::string documents_;
    std::string saved_;
    bool moved_ = false;
};

// Loads the library at pluginPath and creates the plug-in; answers its component, or null
// (with `error` saying why). A loaded library is left in `library` either way.
void* LoadComponent(HMODULE& library, std::string& error);

// Dispatches this thread's messages for about `milliseconds`, as a host's message loop would.
void PumpMessages(DWORD milliseconds = 50);

constexpr char kDialogTitle[] = "Chose COM port for LC-1";

// Slot 3 of the component with the host's record: its size, then the owner window.
std::int32_t ShowConfiguration(void* component, HWND owner, std::uint32_t size);
// Opens one more port dialog for `owner`; answers it, or null when none appeared.
HWND ShowDialog(void* component, HWND owner);
std::vector<HWND> OpenDialogs();
std::vector<std::string> ListEntries(HWND dialog);
LRESULT Selection(HWND dialog);
void Choose(HWND dialog, int entry);
// Sends the dialog a button's command directly.
void Press(HWND dialog, int id);
// Clicks the real button: it notifies the dialog as a user's click does.
void Click(HWND dialog, int id);

// A test host: Load() loads the library (after the test laid out the profile: the library
// reads its configuration once, at load), takes its component and makes an owner window for
// its dialogs; TearDown() closes the dialogs and the window and unloads the library.
class PluginHostTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (HWND dialog : OpenDialogs()) DestroyWindow(dialog);
        PumpMessages(10);
        if (owner_ != nullptr) DestroyWindow(owner_);
        if (library_ != nullptr) FreeLibrary(library_);
    }

    void Load() {
        std::string error;
        component_ = LoadComponent(library_, error);
        ASSERT_NE(component_, nullptr) << error;
        owner_ = CreateWindowExA(0, "STATIC", "Lamdex test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }

    HWND ShowDialog() { return lamdex::test::ShowDialog(component_, owner_); }

    HMODULE library_ = nullptr;
    void* component_ = nullptr;
    HWND owner_ = nullptr;
};

}  // namespace lamdex::test
