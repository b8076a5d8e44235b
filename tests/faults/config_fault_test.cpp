// The configuration file in bad states, with the real library in a Wine prefix: each test
// lays out the profile, loads the library (which reads the file once, at load), and looks
// at what the component made of it: the last error text (slot 5) and the port it keeps,
// which the port dialog shows as its selection. Choosing another port there and pressing
// OK is the only way a host makes the component save, so the writing side goes through
// the real dialog (in a window on a virtual display).
//
// usage: config_fault_test LAMDEX_DLL [gtest options]
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/windows_test_support.h"
#include "tools/zbhost/host_abi.h"
#include "ui/resource.h"

namespace lamdex::test {
namespace {

constexpr char kCannotRead[] = "Cannot open config file for reading";
constexpr char kCannotWrite[] = "Cannot open config file for writing";

std::string ZelbarFolder() {
    return DocumentsFolder() + "\\Zelbar Files";
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Each test starts from a profile without "My Documents" (windows_test_main.cpp keeps the
// user's own aside for the whole run).
class ConfigFault : public PluginHostTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(ProfileFolder().empty());
        RemoveTree(DocumentsFolder());
    }

    void TearDown() override {
        PluginHostTest::TearDown();
        if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
        RemoveTree(DocumentsFolder());
    }

    // Builds the folders down to Plugins, and the file with `bytes` when given.
    static void LayOut(bool withPlugins, const std::string* bytes) {
        ASSERT_TRUE(CreateDirectoryA(DocumentsFolder().c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(ZelbarFolder().c_str(), nullptr));
        if (!withPlugins) return;
        ASSERT_TRUE(CreateDirectoryA(PluginsFolder().c_str(), nullptr));
        if (bytes != nullptr) WriteFileBytes(ConfigFile(), *bytes);
    }

    std::string LastError() {
        std::int32_t code = -1;
        const char* text = zbhost::component_call::GetLastErrorInfo(component_, &code);
        EXPECT_EQ(code, 0);
        return text != nullptr ? std::string(text) : std::string("(null)");
    }

    // The port the component holds, as its dialog shows it (0: none of Com1..Com12).
    int Port() {
        HWND dialog = ShowDialog();
        if (dialog == nullptr) {
            ADD_FAILURE() << "no port dialog";
            return -1;
        }
        const LRESULT selected = Selection(dialog);
        Click(dialog, IDCANCEL);
        return selected == LB_ERR ? 0 : static_cast<int>(selected) + 1;
    }

    // What a user does to change the port: choose it in the dialog and press OK.
    void ChoosePort(int port) {
        HWND dialog = ShowDialog();
        ASSERT_NE(dialog, nullptr);
        Choose(dialog, port - 1);
        Click(dialog, IDOK);
        ASSERT_FALSE(IsWindow(dialog));
    }

    // Another program holding the file open with no sharing at all.
    void LockFile() {
        lock_ = CreateFileA(ConfigFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(lock_, INVALID_HANDLE_VALUE);
    }
    void UnlockFile() {
        CloseHandle(lock_);
        lock_ = INVALID_HANDLE_VALUE;
    }

    // Loading finds no file to read: port 1 and the reading text. Choosing port 4 then
    // cannot be saved, yet the new port is used until the library unloads.
    void ExpectNoReadAndNoSaveButThePortChanges() {
        Load();
        EXPECT_EQ(LastError(), kCannotRead);
        EXPECT_EQ(Port(), 1);
        ChoosePort(4);
        EXPECT_EQ(LastError(), kCannotWrite);
        EXPECT_EQ(Port(), 4);
    }

    HANDLE lock_ = INVALID_HANDLE_VALUE;
};

// No file can be read or written there: port 1, both messages in turn, and the chosen
// port is still used until the library is unloaded. No folder is created.
TEST_F(ConfigFault, NoDocumentsFolderInTheProfile) {
    ExpectNoReadAndNoSaveButThePortChanges();
    EXPECT_FALSE(Exists(DocumentsFolder()));
}

TEST_F(ConfigFault, NoPluginsFolder) {
    LayOut(false, nullptr);
    ExpectNoReadAndNoSaveButThePortChanges();
    EXPECT_FALSE(Exists(PluginsFolder()));
}

TEST_F(ConfigFault, AFolderWhereTheFileShouldBe) {
    LayOut(true, nullptr);
    ASSERT_TRUE(CreateDirectoryA(ConfigFile().c_str(), nullptr));
    ExpectNoReadAndNoSaveButThePortChanges();
    EXPECT_TRUE(IsFolder(ConfigFile()));
}

TEST_F(ConfigFault, FileHeldOpenByAnotherProgram) {
    const std::string port6 = "COMPORT 6\r\n";
    LayOut(true, &port6);
    LockFile();
    ExpectNoReadAndNoSaveButThePortChanges();
    UnlockFile();
    EXPECT_EQ(ReadFileBytes(ConfigFile()), port6);
}

// Read, so port 6 and no message; the save fails, the file stays as it was.
TEST_F(ConfigFault, ReadOnlyFile) {
    const std::string port6 = "COMPORT 6\r\n";
    LayOut(true, &port6);
    ASSERT_TRUE(SetFileAttributesA(ConfigFile().c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine keeps the attribute as Unix permissions, which do not bind root.
    HANDLE probe = CreateFileA(ConfigFile().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        GTEST_SKIP() << "a read-only file can be written here (Wine run by root)";
    }
    Load();
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(Port(), 6);
    ChoosePort(4);
    EXPECT_EQ(LastError(), kCannotWrite);
    EXPECT_EQ(Port(), 4);
    EXPECT_EQ(ReadFileBytes(ConfigFile()), port6);
}

// Every byte value, NUL, CR, LF and the text-mode end-of-file byte 0x1A among them.
std::string Junk(std::size_t size) {
    std::string bytes;
    std::uint32_t state = 20261208u;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes += static_cast<char>(i < 256 ? i : (state >> 24));
    }
    return bytes;
}

TEST_F(ConfigFault, BinaryJunk) {
    const std::string junk = Junk(65536);
    LayOut(true, &junk);
    Load();
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(Port(), 1);
}

TEST_F(ConfigFault, BinaryJunkAfterAGoodLine) {
    const std::string bytes = "COMPORT 6\r\n" + Junk(65536);
    LayOut(true, &bytes);
    Load();
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(Port(), 6);
}

TEST_F(ConfigFault, OneEnormousLine) {
    const std::string line(4u << 20, 'A');
    LayOut(true, &line);
    Load();
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(Port(), 1);
}

// The reader gets past a line far longer than its buffer and still takes the lines after it.
TEST_F(ConfigFault, EnormousLineBetweenGoodLines) {
    const std::string bytes = "COMPORT 6\r\n" + std::string(1u << 20, 'A') + "\r\nCOMPORT 8\r\n";
    LayOut(true, &bytes);
    Load();
    EXPECT_EQ(LastError(), "");
    EXPECT_EQ(Port(), 8);
}

}  // namespace
}  // namespace lamdex::test
