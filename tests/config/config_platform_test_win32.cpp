// On Windows the file lives under the user's profile and text mode writes CR LF.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config_file.h"
#include "tests/config/config_test_support.h"

namespace lamdex {

const char* test::TextLineEnd() {
    return "\r\n";
}

namespace {

TEST(ConfigPath, IsTheProfileFolderWithTheFixedSuffix) {
    const char* profile = std::getenv("USERPROFILE");
    ASSERT_NE(profile, nullptr);
    ASSERT_NE(profile[0], '\0');
    char path[kConfigPathSize];
    std::memset(path, 'x', sizeof(path));
    BuildConfigPath(path);
    ASSERT_LT(strnlen(path, sizeof(path)), sizeof(path));
    EXPECT_EQ(std::string(path), std::string(profile) + "\\My Documents\\Zelbar Files\\Plugins\\Lamdex.cfg");
}

}  // namespace
}  // namespace lamdex
