// The data-acquisition component, seen only as the host sees it: slots by index,
// records as bytes at offsets.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/contract/debug_capture.h"
#include "tests/contract/loaded_plugin.h"

namespace {

using namespace zbhost;
namespace ci = component_info;
namespace dd = device_description;
namespace tr = transfer_record;
namespace io = io_settings;

constexpr unsigned char kPattern = 0xA5;
constexpr std::uint32_t kUntouched = 0xDEADBEEFu;
constexpr unsigned char kComponentGuid[16] = {0x2D, 0x6C, 0x1F, 0xA4, 0x57, 0x8E, 0x3A, 0x4B,
                                              0x9D, 0x06, 0xC7, 0xB2, 0xE8, 0x1F, 0x5A, 0x94};

// A transfer record with its data buffer and count, both preset to recognisable bytes.
struct Transfer {
    alignas(4) unsigned char buffer[8];
    std::uint32_t transferred = kUntouched;
    Record<tr::kRecordBytes> record;

    explicit Transfer(std::uint32_t sizeField = tr::kSizeValue, std::uint32_t capacity = 4) {
        std::memset(buffer, kPattern, sizeof buffer);
        record.Put32(tr::kSize, sizeField);
        record.PutPointer(tr::kBuffer, buffer);
        record.Put32(tr::kCapacity, capacity);
        record.PutPointer(tr::kBytesTransferred, &transferred);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    bool BufferUntouched() const {
        for (unsigned char byte : buffer) {
            if (byte != kPattern) return false;
        }
        return true;
    }
};

template <std::size_t N>
bool SameBytes(const Record<N>& a, const Record<N>& b) {
    return std::memcmp(a.Data(), b.Data(), N) == 0;
}

template <std::size_t N>
Record<N> SizedRecord(std::uint32_t sizeField) {
    Record<N> record;
    record.Fill(kPattern);
    record.Put32(0, sizeField);
    return record;
}

Record<io::kRecordBytes> SettingsRecord(std::uint32_t first) {
    Record<io::kRecordBytes> settings;
    settings.Put32(io::kSize, io::kSizeValue);
    for (std::uint32_t k = 0; k < io::kValueCount; ++k) settings.Put32(io::kValues + 4 * k, first + k);
    return settings;
}

class ComponentContract : public testing::Test {
protected:
    void* component = contract::Component();
};

TEST_F(ComponentContract, IdentifiesAsTheDataAcquisitionComponent) {
    EXPECT_EQ(component_call::GetComponentType(component), kDataAcqIoComponentType);
    EXPECT_EQ(component_call::GetComponentInfo(component, nullptr), 0);
}

TEST_F(ComponentContract, ComponentInfoFieldsSitAtTheirOffsets) {
    Record<ci::kRecordBytes> info;
    info.Fill(kPattern);
    info.Put32(ci::kSize, 12345);  // whatever the caller put there is overwritten
    ASSERT_EQ(component_call::GetComponentInfo(component, info.Data()), 1);

    EXPECT_EQ(info.Get32(ci::kSize), ci::kSizeValue);
    for (std::size_t k = 0; k < 16; ++k) EXPECT_EQ(info.At(ci::kGuid + k), kComponentGuid[k]) << "GUID byte " << k;
    EXPECT_EQ(info.Text(ci::kName, ci::kNameCapacity), "LC1 IO Driver");
    EXPECT_EQ(info.Text(ci::kDescription, ci::kDescriptionCapacity),
              "A simple, limited LC1 driver that supports a single LC1");
    EXPECT_EQ(info.Text(ci::kVersion, ci::kVersionCapacity), "1.0.0");
    for (std::size_t k = 0; k < ci::kNotWrittenBytes; ++k) {
        EXPECT_EQ(info.At(ci::kNotWritten + k), kPattern) << "gap byte " << ci::kNotWritten + k;
    }
    EXPECT_EQ(info.Get32(ci::kValue600), 1u);
    EXPECT_EQ(info.Get16(ci::kValue604), 1u);
    EXPECT_EQ(info.Get16(ci::kValue606), 0u);
}

TEST_F(ComponentContract, DeviceDescriptionNamesTheReaderAndEmptiesTheFurtherTexts) {
    auto description = SizedRecord<dd::kRecordBytes>(dd::kSizeValue);
    ASSERT_EQ(component_call::GetDeviceDescription(component, description.Data()), kOk);
    EXPECT_EQ(description.Get32(dd::kSize), dd::kSizeValue);
    EXPECT_EQ(description.Text(dd::kName, dd::kNameCapacity), "Lamdex reader");
    EXPECT_EQ(description.At(dd::kText1), 0);
    EXPECT_EQ(description.At(dd::kText2), 0);
}

TEST_F(ComponentContract, LastErrorInfoAnswersCodeZeroAndATerminatedText) {
    std::int32_t code = -1;
    const char* text = component_call::GetLastErrorInfo(component, &code);
    EXPECT_EQ(code, 0);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::memchr(text, 0, 300), nullptr);
    EXPECT_EQ(component_call::GetLastErrorInfo(component, nullptr), text) << "the text lives in the component";
}

TEST_F(ComponentContract, RecordsWithAWrongSizeAreRejectedAndLeftAlone) {
    for (std::uint32_t size : {587u, 589u, 0u}) {
        auto description = SizedRecord<dd::kRecordBytes>(size);
        const auto before = description;
        EXPECT_EQ(component_call::GetDeviceDescription(component, description.Data()), kInvalidArg) << size;
        EXPECT_TRUE(SameBytes(description, before)) << size;
    }
    for (std::uint32_t size : {15u, 17u, 0u}) {
        auto params = SizedRecord<open_params::kRecordBytes>(size);
        EXPECT_EQ(component_call::Open(component, params.Data()), kInvalidArg) << size;
    }
    for (std::uint32_t size : {7u, 9u}) {
        Record<config_dialog_params::kRecordBytes> params;
        params.Put32(config_dialog_params::kSize, size);
        EXPECT_EQ(component_call::ShowConfiguration(component, params.Data()), kInvalidArg) << size;
    }
    for (std::uint32_t size : {27u, 29u}) {
        auto settings = SizedRecord<io::kRecordBytes>(size);
        const auto before = settings;
        EXPECT_EQ(component_call::SetSettings(component, settings.Data()), kInvalidArg) << size;
        EXPECT_EQ(component_call::GetSettings(component, settings.Data()), kInvalidArg) << size;
        EXPECT_TRUE(SameBytes(settings, before)) << size;
    }
}

TEST_F(ComponentContract, NullRecordsAreRejectedExceptByShowConfiguration) {
    EXPECT_EQ(component_call::GetDeviceDescription(component, nullptr), kInvalidArg);
    EXPECT_EQ(component_call::Open(component, nullptr), kInvalidArg);
    EXPECT_EQ(component_call::Write(component, nullptr), kInvalidArg);
    EXPECT_EQ(component_call::Read(component, nullptr), kInvalidArg);
    EXPECT_EQ(component_call::SetSettings(component, nullptr), kInvalidArg);
    EXPECT_EQ(component_call::GetSettings(component, nullptr), kInvalidArg);
    EXPECT_EQ(component_call::ShowConfiguration(component, nullptr), kOk);
}

TEST_F(ComponentContract, BadTransferRecordsAreRejectedBeforeTheCountIsTouched) {
    struct Case {
        const char* what;
        std::uint32_t size;
        std::uint32_t capacity;
        bool nullBuffer;
    };
    const Case cases[] = {
        {"size 24", 24, 4, false},
        {"size 19", 19, 4, false},
        {"capacity 3", tr::kSizeValue, 3, false},
        {"capacity 0", tr::kSizeValue, 0, false},
        {"no buffer", tr::kSizeValue, 4, true},
    };
    for (const Case& c : cases) {
        Transfer read(c.size, c.capacity);
        if (c.nullBuffer) read.record.PutPointer(tr::kBuffer, nullptr);
        EXPECT_EQ(component_call::Read(component, read.record.Data()), kInvalidArg) << c.what;
        EXPECT_EQ(read.transferred, kUntouched) << c.what;
        EXPECT_TRUE(read.BufferUntouched()) << c.what;
    }
    Transfer write(24);
    EXPECT_EQ(component_call::Write(component, write.record.Data()), kInvalidArg);
    EXPECT_EQ(write.transferred, kUntouched);
}

TEST_F(ComponentContract, WriteSendsNothingAndReportsZeroBytes) {
    Transfer write;
    EXPECT_EQ(component_call::Write(component, write.record.Data()), kOk);
    EXPECT_EQ(write.transferred, 0u);
    EXPECT_TRUE(write.BufferUntouched());

    write.record.PutPointer(tr::kBytesTransferred, nullptr);
    EXPECT_EQ(component_call::Write(component, write.record.Data()), kOk);
}

TEST_F(ComponentContract, SettingsComeBackAsStoredAndARejectedStoreKeepsThem) {
    auto stored = SettingsRecord(1);
    ASSERT_EQ(component_call::SetSettings(component, stored.Data()), kOk);

    auto rejected = SettingsRecord(100);
    rejected.Put32(io::kSize, 27);
    EXPECT_EQ(component_call::SetSettings(component, rejected.Data()), kInvalidArg);

    auto fetched = SizedRecord<io::kRecordBytes>(io::kSizeValue);
    ASSERT_EQ(component_call::GetSettings(component, fetched.Data()), kOk);
    EXPECT_TRUE(SameBytes(fetched, stored));
}

TEST_F(ComponentContract, PurgesAnswerOkAndWriteTheirDebugTexts) {
    contract::StartDebugCapture();
    const HResult transmit = component_call::PurgeTransmitBuffer(component);
    const HResult receive = component_call::PurgeReceiveBuffer(component);
    const std::vector<std::string> texts = contract::StopDebugCapture();

    EXPECT_EQ(transmit, kOk);
    EXPECT_EQ(receive, kOk);
    EXPECT_EQ(texts, (std::vector<std::string>{"LC1Driver::PurgeTransmitBuffer called",
                                               "LC1Driver::PurgeReceiveBuffer called"}));
}

TEST_F(ComponentContract, ComponentOptionsAnswerOk) {
    for (std::int32_t id : {0, 5000, -1}) EXPECT_EQ(component_call::SetOption(component, id, 1, 2), kOk) << id;
}

// No device is attached here: whatever port is configured, Read has nothing to frame.
TEST_F(ComponentContract, OpenReadCloseWithoutADeviceAnswersNotReady) {
    auto params = SizedRecord<open_params::kRecordBytes>(open_params::kSizeValue);
    ASSERT_EQ(component_call::Open(component, params.Data()), kOk);
    for (int k = 0; k < 3; ++k) {
        Transfer read;
        EXPECT_EQ(component_call::Read(component, read.record.Data()), kNotReady);
        EXPECT_EQ(read.transferred, 0u);
        EXPECT_TRUE(read.BufferUntouched());
    }
    Transfer withoutCount;
    withoutCount.record.PutPointer(tr::kBytesTransferred, nullptr);
    EXPECT_EQ(component_call::Read(component, withoutCount.record.Data()), kNotReady);

    EXPECT_EQ(component_call::Close(component), kOk);
    Transfer afterClose;
    EXPECT_EQ(component_call::Read(component, afterClose.record.Data()), kNotReady);
    EXPECT_EQ(afterClose.transferred, 0u);
    EXPECT_EQ(component_call::Close(component), kOk) << "closing twice is harmless";
}

}  // namespace
