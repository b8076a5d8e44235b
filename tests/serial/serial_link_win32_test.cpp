#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "driver/serial_link.h"

namespace lamdex {
namespace {

// The test registration names COM13 for a device that is not there and leaves COM20 unset.
constexpr int kMissingDevicePort = 13;
constexpr int kUnsetPort = 20;

// Runs each test in an empty folder of its own, to see whether anything lands there.
class SerialLinkWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
        folder_ = std::string(temp) + "lamdex-serial-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        ASSERT_NE(GetCurrentDirectoryA(sizeof previous_, previous_), 0u);
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
    }

    void TearDown() override {
        SetCurrentDirectoryA(previous_);
        RemoveDirectoryA(folder_.c_str());
    }

    int FilesInFolder() const {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return 0;
        int files = 0;
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..") {
                ++files;
                DeleteFileA((folder_ + "\\" + name).c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
        return files;
    }

    std::string folder_;
    char previous_[MAX_PATH] = {};
};

TEST_F(SerialLinkWin32Test, MissingPortsStayClosedAndCreateNoFile) {
    for (int port : {kMissingDevicePort, kUnsetPort, kHighestPort}) {
        SerialLink link;
        link.Open(port);
        EXPECT_FALSE(link.IsOpen()) << "COM" << port;
        std::uint8_t byte = 0;
        EXPECT_FALSE(link.ReadByte(&byte)) << "COM" << port;
    }
    EXPECT_EQ(FilesInFolder(), 0);
}

}  // namespace
}  // namespace lamdex
