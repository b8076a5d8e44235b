// The port dialog moves an open link: choosing another port and pressing OK while the
// component is open closes the old port and opens the new one. Needs COM4 and COM5 of the
// test prefix wired to peers COM14 and COM15 (tests/dialog/CMakeLists.txt).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/serial/serial_peer.h"
#include "tests/support/windows_test_support.h"
#include "tools/zbhost/host_abi.h"

namespace lamdex::test {
namespace {

// Ports the harness wires to peers for this test (see tests/dialog/CMakeLists.txt).
constexpr int kOldPort = 4;
constexpr int kNewPort = 5;
const std::vector<std::uint8_t> kPacketLambda1 = {0xB2, 0x82, 0x43, 0x13, 0x03, 0x74};   // 14.7
const std::vector<std::uint8_t> kPacketLambda15 = {0xB2, 0x82, 0x43, 0x13, 0x07, 0x68};  // 22.05
constexpr std::int32_t kSampleLambda1 = 963379;
constexpr std::int32_t kSampleLambda15 = 1445068;

class PortDialogReopen : public PluginHostTest {
protected:
    std::int32_t OpenComponent() {
        zbhost::Record<zbhost::open_params::kRecordBytes> params;
        params.Put32(zbhost::open_params::kSize, zbhost::open_params::kSizeValue);
        return zbhost::component_call::Open(component_, params.Data());
    }
    void CloseComponent() { zbhost::component_call::Close(component_); }

    // Polls the way a host does until a sample or a code other than not ready comes.
    std::int32_t ReadSample(std::int32_t& sample, DWORD milliseconds = 2000) {
        const DWORD start = GetTickCount();
        std::int32_t result;
        do {
            std::uint32_t transferred = 0;
            namespace transfer = zbhost::transfer_record;
            zbhost::Record<transfer::kRecordBytes> record;
            record.Put32(transfer::kSize, transfer::kSizeValue);
            record.PutPointer(transfer::kBuffer, &sample);
            record.Put32(transfer::kCapacity, sizeof sample);
            record.PutPointer(transfer::kBytesTransferred, &transferred);
            result = zbhost::component_call::Read(component_, record.Data());
            if (result != zbhost::kNotReady) {
                break;
            }
            Sleep(5);
        } while (GetTickCount() - start < milliseconds);
        return result;
    }
};

TEST_F(PortDialogReopen, OkMovesAnOpenLinkToTheNewPort) {
    SerialPeer oldPeer;
    SerialPeer newPeer;
    if (!oldPeer.Attach(kOldPort) || !newPeer.Attach(kNewPort)) {
        GTEST_SKIP() << "COM" << kOldPort << " and COM" << kNewPort << " have no peers wired here";
    }
    ASSERT_TRUE(WriteConfigFile("COMPORT " + std::to_string(kOldPort) + "\r\n"));
    Load();
    ASSERT_EQ(OpenComponent(), zbhost::kOk);
    std::int32_t sample = 0;
    oldPeer.Send(kPacketLambda1);
    ASSERT_EQ(ReadSample(sample), zbhost::kOk) << "the old port does not deliver: is it wired?";
    EXPECT_EQ(sample, kSampleLambda1);
    oldPeer.Send({0xB2, 0x82, 0x43});  // half a packet left in the receive buffer

    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Selection(dialog), kOldPort - 1);
    Choose(dialog, kNewPort - 1);
    Click(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(ReadFileBytes(ConfigFile()), "COMPORT 5\r\n");

    oldPeer.Send({0x13, 0x03, 0x74});
    oldPeer.Send(kPacketLambda1);
    EXPECT_EQ(ReadSample(sample, 500), zbhost::kNotReady) << "bytes of the old port still arrive";
    newPeer.Send(kPacketLambda15);
    ASSERT_EQ(ReadSample(sample), zbhost::kOk);
    EXPECT_EQ(sample, kSampleLambda15);
    CloseComponent();
}

}  // namespace
}  // namespace lamdex::test
