// The plug-in object and the exports, seen only as the host sees them.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/contract/loaded_plugin.h"

namespace {

using namespace zbhost;
namespace pi = plugin_info;

constexpr unsigned char kPattern = 0xA5;
constexpr unsigned char kPluginGuid[16] = {0x40, 0x9B, 0x2E, 0x5D, 0x13, 0x7C, 0x6F, 0x4A,
                                           0xB8, 0x52, 0x19, 0xE4, 0xC0, 0x7A, 0x3D, 0x6B};

TEST(PluginExports, CreateAnswersTheSameObjectEveryTimeAndReleaseChangesNothing) {
    void* first = contract::Loaded().create();
    ASSERT_NE(first, nullptr);
    contract::Loaded().release();
    EXPECT_EQ(contract::Loaded().create(), first);

    Record<pi::kRecordBytes> info;
    EXPECT_EQ(plugin_call::GetPluginInfo(first, info.Data()), 1) << "the object still answers after release";
}

TEST(PluginObject, GetComponentAnswersOnlyIndexZero) {
    void* plugin = contract::Plugin();
    void* component = plugin_call::GetComponent(plugin, 0);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(plugin_call::GetComponent(plugin, 0), component);
    EXPECT_EQ(plugin_call::GetComponent(plugin, 1), nullptr);
    EXPECT_EQ(plugin_call::GetComponent(plugin, -1), nullptr);
    EXPECT_EQ(plugin_call::GetComponent(plugin, 0x7FFFFFFF), nullptr);
}

TEST(PluginObject, GetPluginInfoWithoutARecordAnswersZero) {
    EXPECT_EQ(plugin_call::GetPluginInfo(contract::Plugin(), nullptr), 0);
}

TEST(PluginObject, PluginInfoFieldsSitAtTheirOffsets) {
    Record<pi::kRecordBytes> info;
    info.Fill(kPattern);
    ASSERT_EQ(plugin_call::GetPluginInfo(contract::Plugin(), info.Data()), 1);

    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(info.At(pi::kHostOwned + k), kPattern) << "host-owned byte " << k;
    for (std::size_t k = 0; k < pi::kNotWrittenBytes; ++k) {
        EXPECT_EQ(info.At(pi::kNotWritten + k), kPattern) << "gap byte " << pi::kNotWritten + k;
    }
    EXPECT_EQ(info.Get32(pi::kLevel), 3u);
    for (std::size_t k = 0; k < 16; ++k) EXPECT_EQ(info.At(pi::kGuid + k), kPluginGuid[k]) << "GUID byte " << k;
    EXPECT_EQ(info.Text(pi::kName, pi::kNameCapacity), "Lamdex Reader");
    EXPECT_EQ(info.Text(pi::kDescription, pi::kDescriptionCapacity), "This plug-in will read from a single LC1 ONLY");
    EXPECT_EQ(info.Text(pi::kVersion, pi::kVersionCapacity), "1.0.0");
    EXPECT_TRUE(info.IsTerminated(pi::kAuthor, pi::kAuthorCapacity));
    EXPECT_FALSE(info.Text(pi::kAuthor, pi::kAuthorCapacity).empty());
    EXPECT_EQ(info.Get32(pi::kValue704), 1u);
    EXPECT_EQ(info.Get32(pi::kValue708), 0u);
    EXPECT_EQ(info.Get16(pi::kValue712), 1u);
    EXPECT_EQ(info.Get16(pi::kValue714), 0u);
}

TEST(PluginObject, InitializeUninitializeAndEveryOptionAnswerOk) {
    void* plugin = contract::Plugin();
    EXPECT_EQ(plugin_call::Initialize(plugin, 0), kOk);
    EXPECT_EQ(plugin_call::Initialize(plugin, 12345), kOk);
    for (std::int32_t id : {4999, 5000, 0, -1}) EXPECT_EQ(plugin_call::SetOption(plugin, id, 7, 0), kOk) << id;
    plugin_call::Uninitialize(plugin, 0);
    EXPECT_NE(plugin_call::GetComponent(plugin, 0), nullptr) << "the component outlives Uninitialize";
}

}  // namespace
