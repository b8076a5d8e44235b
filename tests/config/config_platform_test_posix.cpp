// Natively the file lives under $HOME and text mode writes a bare LF.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "config/config_file.h"
#include "tests/config/config_test_support.h"

namespace lamdex {

const char* test::TextLineEnd() {
    return "\n";
}

namespace {

constexpr char kSuffix[] = "/My Documents/Zelbar Files/Plugins/Lamdex.cfg";

// Gives each test its own $HOME and puts the real one back afterwards.
class ConfigPath : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* home = std::getenv("HOME")) savedHome_ = home;
    }
    void TearDown() override {
        if (savedHome_) {
            setenv("HOME", savedHome_->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }
    static std::string Build() {
        char path[kConfigPathSize];
        std::memset(path, 'x', sizeof(path));
        BuildConfigPath(path);
        return std::string(path, strnlen(path, sizeof(path)));
    }

private:
    std::optional<std::string> savedHome_;
};

TEST_F(ConfigPath, UsesTheHomeFolderAndWorksEndToEnd) {
    test::TempDir home;
    setenv("HOME", home.Path().c_str(), 1);
    const std::string path = Build();
    ASSERT_EQ(path, home.Path().string() + kSuffix);

    std::filesystem::create_directories(home.Path() / "My Documents" / "Zelbar Files" / "Plugins");
    char error[kLastErrorTextSize] = "";
    SaveConfig(path.c_str(), 9, 4, error);
    int port = 1;
    int sensor = 1;
    LoadConfig(path.c_str(), port, sensor, error);
    EXPECT_EQ(port, 9);
    EXPECT_EQ(sensor, 4);
    EXPECT_STREQ(error, "");
}

TEST_F(ConfigPath, NoHomeGivesAnEmptyPath) {
    unsetenv("HOME");
    EXPECT_EQ(Build(), "");
    setenv("HOME", "", 1);
    EXPECT_EQ(Build(), "");
}

TEST_F(ConfigPath, TooLongIsEmptyNeverCut) {
    const std::size_t longestHome = kConfigPathSize - 1 - std::strlen(kSuffix);
    const std::string fits = "/" + std::string(longestHome - 1, 'h');
    setenv("HOME", fits.c_str(), 1);
    EXPECT_EQ(Build(), fits + kSuffix);
    setenv("HOME", (fits + "h").c_str(), 1);
    EXPECT_EQ(Build(), "");
}

}  // namespace
}  // namespace lamdex
