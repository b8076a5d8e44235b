// The plug-in allocates nothing on the heap while the host opens, reads and closes it.
// An allocation count is not a timing, so it is asserted exactly: zero.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/lc1_driver.h"
#include "driver/packet_reader.h"
#include "tests/alloc/heap_counter.h"
#include "tests/serial/serial_peer.h"

namespace lamdex::test {
namespace {

// Everything a line can carry: readings (with 0x11 and 0x13), other statuses, a packet
// without a group, a two-group packet, a chain with an auxiliary word, stray bytes and a
// false header.
const std::uint8_t kMixedStream[] = {
    0xB2, 0x82, 0x43, 0x13, 0x03, 0x74,                          // 14.7
    0x11, 0x22,                                                  // stray
    0xB2, 0x82, 0x43, 0x13, 0x00, 0x1E,                          // lambda 30
    0xB2, 0x82, 0x47, 0x13, 0x03, 0x74,                          // status 1
    0xB2, 0x82, 0x4F, 0x13, 0x03, 0x74,                          // status 3
    0xB2, 0x82, 0x00, 0x00, 0x00, 0x00,                          // no group
    0xA1, 0x80,                                                  // 128 words declared: false
    0xB2, 0x83, 0x01, 0x23, 0x43, 0x13, 0x03, 0x74,              // an auxiliary word, then 14.7
    0xB2, 0x84, 0x53, 0x13, 0x00, 0x11, 0x43, 0x13, 0x07, 0x68,  // two groups
    0x01, 0x02, 0x03,                                            // stray
};

// An endless stream served in bursts of 0..47 bytes per call, allocation-free.
struct CyclingSource {
    std::size_t position = 0;
    std::size_t burstLeft = 0;
    std::uint32_t random = 12345;
    std::size_t served = 0;

    void NextBurst() {
        random = random * 1103515245u + 12345u;
        burstLeft = (random >> 16) % 48;
    }

    static bool Next(void* context, std::uint8_t* byte) {
        auto* self = static_cast<CyclingSource*>(context);
        if (self->burstLeft == 0) return false;
        --self->burstLeft;
        *byte = kMixedStream[self->position];
        self->position = (self->position + 1) % sizeof kMixedStream;
        ++self->served;
        return true;
    }
};

// Both kinds of allocation must show: operator new, and the C library's own (fopen).
TEST(HeapAllocations, CounterSeesThemWhenTheyHappen) {
    std::size_t before = HeapAllocationCount();
    {
        CountHeapAllocations counting;
        auto block = std::make_unique<std::vector<int>>(100);
        std::vector<int>* volatile keep = block.get();
        (void)keep;
    }
    EXPECT_GE(HeapAllocationCount() - before, 2u);

    before = HeapAllocationCount();
    {
        CountHeapAllocations counting;
        std::FILE* file = std::fopen("/dev/null", "r");
        if (file != nullptr) std::fclose(file);
    }
    EXPECT_GE(HeapAllocationCount() - before, 1u);
}

TEST(HeapAllocations, NoneWhileReadingALongStream) {
    CyclingSource source;
    PacketReader reader{ByteSource{&CyclingSource::Next, &source}};
    std::size_t samples = 0;
    const std::size_t before = HeapAllocationCount();
    {
        CountHeapAllocations counting;
        reader.ResetForOpen();
        for (int call = 0; call < 200000; ++call) {
            source.NextBurst();
            std::int32_t value = 0;
            std::uint32_t transferred = 0;
            zb::TransferRecord record{zb::kTransferRecordSize, &value, sizeof value, &transferred, 0};
            if (reader.Read(&record) == zb::kOk) ++samples;
        }
        reader.ResetForClose();
    }
    const std::size_t allocations = HeapAllocationCount() - before;
    std::printf("PacketReader: %zu heap allocations in 200000 Read calls over %zu bytes (%zu samples)\n", allocations,
                source.served, samples);
    EXPECT_GT(samples, 10000u);
    EXPECT_EQ(allocations, 0u);
}

// Against a real pseudo-terminal: the whole host cycle, the serial link included.
TEST(HeapAllocations, NoneWhileTheComponentOpensReadsAndCloses) {
    constexpr int kPort = 9;
    PrepareTestPorts();
    char configPath[kConfigPathSize];
    BuildConfigPath(configPath);
    ASSERT_NE(configPath[0], '\0');
    std::filesystem::create_directories(std::filesystem::path(configPath).parent_path());
    std::ofstream(configPath) << "COMPORT " << kPort << "\n";
    SerialPeer line;
    ASSERT_TRUE(line.Attach(kPort));
    auto driver = std::make_unique<LC1Driver>();
    ASSERT_EQ(driver->PortNumber(), kPort);

    std::vector<std::uint8_t> burst;
    for (int i = 0; i < 10; ++i) burst.insert(burst.end(), {0xB2, 0x82, 0x43, 0x13, 0x03, 0x74});
    zb::OpenParams params{zb::kOpenParamsSize, {}};
    std::size_t samples = 0;
    std::size_t calls = 0;
    const std::size_t before = HeapAllocationCount();
    for (int cycle = 0; cycle < 5; ++cycle) {
        zb::HResult opened = 0;
        {
            CountHeapAllocations counting;
            opened = driver->Open(&params);
        }
        ASSERT_EQ(opened, zb::kOk);
        ASSERT_TRUE(driver->IsLinkOpen());
        for (int round = 0; round < 10; ++round) {
            line.Send(burst);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            std::size_t delivered = 0;  // of a burst of ten, the newest two come out
            while (delivered < 2 && std::chrono::steady_clock::now() < deadline) {
                std::int32_t value = 0;
                std::uint32_t transferred = 0;
                zb::TransferRecord record{zb::kTransferRecordSize, &value, sizeof value, &transferred, 0};
                zb::HResult result = 0;
                {
                    CountHeapAllocations counting;
                    result = driver->Read(&record);
                }
                ++calls;
                if (result == zb::kOk) {
                    ++delivered;
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
            samples += delivered;
        }
        CountHeapAllocations counting;
        driver->Close();
    }
    const std::size_t allocations = HeapAllocationCount() - before;
    std::printf("LC1Driver: %zu heap allocations in 5 Open/Close cycles and %zu Read calls (%zu samples)\n",
                allocations, calls, samples);
    EXPECT_EQ(samples, 100u);
    EXPECT_EQ(allocations, 0u);
}

}  // namespace
}  // namespace lamdex::test
