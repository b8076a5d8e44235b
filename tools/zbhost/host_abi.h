// The host's own statement of the binary contract with a plug-in: slot indices, record
// sizes and byte offsets as plain numbers, result codes, and helpers that call a slot
// by index and build or read records as raw bytes.
//
// Deliberately independent of the plug-in's class declarations: a host built with
// another compiler knows nothing of them, and a layout mistake there must show up here
// as a failed call or a wrong byte, not be shared silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(ZB_CONTRACT_IS_32BIT_WINDOWS)
#error "the host's view of the contract must not see the plug-in's own declarations"
#endif

// Every slot is called with MSVC's thiscall on 32-bit Windows (this in ECX, callee pops
// the arguments); elsewhere `this` is the plain first argument.
#if defined(_WIN32) && !defined(_WIN64)
#define ZBHOST_THISCALL __attribute__((thiscall))
#else
#define ZBHOST_THISCALL
#endif

namespace zbhost {

using HResult = std::int32_t;

constexpr HResult kOk = 0;
constexpr HResult kInvalidArg = static_cast<HResult>(0x80070057u);
constexpr HResult kFail = static_cast<HResult>(0x80004005u);
constexpr HResult kNotReady = static_cast<HResult>(0x80070015u);
constexpr HResult kNotConnected = static_cast<HResult>(0x800708CAu);

constexpr std::int32_t kDataAcqIoComponentType = 100001;

// Slot 0 of every interface is MSVC's deleting destructor (one entry, taking a flags
// word). The plug-in's objects are static: a host never calls it.
namespace plugin_slot {
constexpr int kDestructor = 0;
constexpr int kGetPluginInfo = 1;
constexpr int kInitialize = 2;
constexpr int kGetComponent = 3;
constexpr int kUninitialize = 4;
constexpr int kSetOption = 5;
}  // namespace plugin_slot

namespace component_slot {
constexpr int kDestructor = 0;
constexpr int kGetComponentType = 1;
constexpr int kGetComponentInfo = 2;
constexpr int kShowConfiguration = 3;
constexpr int kSetOption = 4;
constexpr int kGetLastErrorInfo = 5;
// The data-acquisition interface appends these.
constexpr int kGetDeviceDescription = 6;
constexpr int kOpen = 7;
constexpr int kClose = 8;
constexpr int kWrite = 9;
constexpr int kRead = 10;
constexpr int kSetSettings = 11;
constexpr int kGetSettings = 12;
constexpr int kPurgeTransmitBuffer = 13;
constexpr int kPurgeReceiveBuffer = 14;
}  // namespace component_slot

// Records without pointers: fixed byte offsets everywhere.
namespace plugin_info {
constexpr std::size_t kRecordBytes = 716;
constexpr std::size_t kHostOwned = 0;  // the plug-in neither reads nor writes it
constexpr std::size_t kLevel = 4;
constexpr std::size_t kGuid = 8;
constexpr std::size_t kName = 24, kNameCapacity = 50;
constexpr std::size_t kDescription = 74, kDescriptionCapacity = 512;
constexpr std::size_t kVersion = 586, kVersionCapacity = 15;
constexpr std::size_t kAuthor = 601, kAuthorCapacity = 100;
constexpr std::size_t kNotWritten = 701, kNotWrittenBytes = 3;
constexpr std::size_t kValue704 = 704, kValue708 = 708;  // 32-bit
constexpr std::size_t kValue712 = 712, kValue714 = 714;  // 16-bit
}  // namespace plugin_info

namespace component_info {
constexpr std::size_t kRecordBytes = 608;
constexpr std::uint32_t kSizeValue = 608;  // written by the component, not checked
constexpr std::size_t kSize = 0;
constexpr std::size_t kGuid = 4;
constexpr std::size_t kName = 20, kNameCapacity = 50;
constexpr std::size_t kDescription = 70, kDescriptionCapacity = 512;
constexpr std::size_t kVersion = 582, kVersionCapacity = 15;
constexpr std::size_t kNotWritten = 597, kNotWrittenBytes = 3;
constexpr std::size_t kValue600 = 600;                   // 32-bit
constexpr std::size_t kValue604 = 604, kValue606 = 606;  // 16-bit
}  // namespace component_info

namespace device_description {
constexpr std::size_t kRecordBytes = 588;
constexpr std::uint32_t kSizeValue = 588;
constexpr std::size_t kSize = 0;
constexpr std::size_t kName = 4, kNameCapacity = 50;
constexpr std::size_t kText1 = 54, kText1Capacity = 512;
constexpr std::size_t kText2 = 566, kText2Capacity = 22;
}  // namespace device_description

namespace open_params {
constexpr std::size_t kRecordBytes = 16;
constexpr std::uint32_t kSizeValue = 16;
constexpr std::size_t kSize = 0;
}  // namespace open_params

namespace io_settings {
constexpr std::size_t kRecordBytes = 28;
constexpr std::uint32_t kSizeValue = 28;
constexpr std::size_t kSize = 0;
constexpr std::size_t kValues = 4;  // six 32-bit values owned by the host
constexpr std::size_t kValueCount = 6;
}  // namespace io_settings

// Records holding pointers. On 32-bit Windows every pointer is 4 bytes and these are
// the contract's numbers; a 64-bit host (Windows or native) lays each field on a
// pointer-wide boundary, as its compiler would, while the size field keeps the
// contract's value.
constexpr std::size_t kPointerBytes = sizeof(void*);

namespace config_dialog_params {
constexpr std::uint32_t kSizeValue = 8;
constexpr std::size_t kSize = 0;
constexpr std::size_t kOwnerWindow = kPointerBytes;
constexpr std::size_t kRecordBytes = 2 * kPointerBytes;
}  // namespace config_dialog_params

namespace transfer_record {
constexpr std::uint32_t kSizeValue = 20;
constexpr std::size_t kSize = 0;
constexpr std::size_t kBuffer = kPointerBytes;
constexpr std::size_t kCapacity = 2 * kPointerBytes;
constexpr std::size_t kBytesTransferred = 3 * kPointerBytes;  // may hold null
constexpr std::size_t kUnused = 4 * kPointerBytes;
constexpr std::size_t kRecordBytes = 5 * kPointerBytes;
}  // namespace transfer_record

static_assert(kPointerBytes != 4 || (config_dialog_params::kRecordBytes == 8 && transfer_record::kBuffer == 4 &&
                                     transfer_record::kCapacity == 8 && transfer_record::kBytesTransferred == 12 &&
                                     transfer_record::kUnused == 16 && transfer_record::kRecordBytes == 20),
              "32-bit layout of the pointer-bearing records");
static_assert(kPointerBytes != 8 || (config_dialog_params::kOwnerWindow == 8 &&
                                     config_dialog_params::kRecordBytes == 16 && transfer_record::kBuffer == 8 &&
                                     transfer_record::kCapacity == 16 && transfer_record::kBytesTransferred == 24 &&
                                     transfer_record::kUnused == 32 && transfer_record::kRecordBytes == 40),
              "64-bit layout of the pointer-bearing records");

// A record as the host sees it: raw bytes, read and written little-endian at offsets.
template <std::size_t N>
class Record {
public:
    Record() { Fill(0); }

    void Fill(unsigned char pattern) { std::memset(bytes_, pattern, N); }
    unsigned char* Data() { return bytes_; }
    const unsigned char* Data() const { return bytes_; }
    unsigned char At(std::size_t offset) const { return bytes_[offset]; }
    static constexpr std::size_t Bytes() { return N; }

    void Put32(std::size_t offset, std::uint32_t value) {
        for (std::size_t k = 0; k < 4; ++k) bytes_[offset + k] = static_cast<unsigned char>(value >> (8 * k));
    }
    std::uint32_t Get32(std::size_t offset) const {
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < 4; ++k) value |= static_cast<std::uint32_t>(bytes_[offset + k]) << (8 * k);
        return value;
    }
    std::uint16_t Get16(std::size_t offset) const {
        return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
    }
    void PutPointer(std::size_t offset, const void* pointer) {
        std::uintptr_t value = reinterpret_cast<std::uintptr_t>(pointer);
        for (std::size_t k = 0; k < kPointerBytes; ++k) {
            bytes_[offset + k] = static_cast<unsigned char>(value & 0xFFu);
            value >>= 8;
        }
    }
    // The text up to its NUL, or all `capacity` bytes when the field is unterminated.
    std::string Text(std::size_t offset, std::size_t capacity) const {
        const char* start = reinterpret_cast<const char*>(bytes_ + offset);
        std::size_t length = 0;
        while (length < capacity && start[length] != '\0') ++length;
        return std::string(start, length);
    }
    bool IsTerminated(std::size_t offset, std::size_t capacity) const {
        return std::memchr(bytes_ + offset, 0, capacity) != nullptr;
    }

private:
    alignas(8) unsigned char bytes_[N];
};

// Calls entry `slot` of the object's table: the table pointer sits at offset 0.
template <typename Result, typename... Args>
Result CallSlot(void* object, int slot, Args... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"  // thiscall on a plain function pointer is intended
    using Entry = Result(ZBHOST_THISCALL*)(void*, Args...);
#pragma GCC diagnostic pop
    const unsigned char* table = nullptr;
    std::memcpy(&table, object, sizeof table);
    Entry entry = nullptr;
    std::memcpy(&entry, table + static_cast<std::size_t>(slot) * sizeof entry, sizeof entry);
    return entry(object, args...);
}

// The host's calls, one per slot, with the argument widths of the contract.
namespace plugin_call {
inline std::int32_t GetPluginInfo(void* plugin, void* info) {
    return CallSlot<std::int32_t>(plugin, plugin_slot::kGetPluginInfo, info);
}
inline HResult Initialize(void* plugin, std::int32_t value) {
    return CallSlot<HResult>(plugin, plugin_slot::kInitialize, value);
}
inline void* GetComponent(void* plugin, std::int32_t index) {
    return CallSlot<void*>(plugin, plugin_slot::kGetComponent, index);
}
inline void Uninitialize(void* plugin, std::int32_t value) {
    CallSlot<void>(plugin, plugin_slot::kUninitialize, value);
}
inline HResult SetOption(void* plugin, std::int32_t id, std::int32_t value, std::int32_t extra) {
    return CallSlot<HResult>(plugin, plugin_slot::kSetOption, id, value, extra);
}
}  // namespace plugin_call

namespace component_call {
inline std::int32_t GetComponentType(void* component) {
    return CallSlot<std::int32_t>(component, component_slot::kGetComponentType);
}
inline std::int32_t GetComponentInfo(void* component, void* info) {
    return CallSlot<std::int32_t>(component, component_slot::kGetComponentInfo, info);
}
inline HResult ShowConfiguration(void* component, void* params) {
    return CallSlot<HResult>(component, component_slot::kShowConfiguration, params);
}
inline HResult SetOption(void* component, std::int32_t id, std::int32_t value, std::int32_t extra) {
    return CallSlot<HResult>(component, component_slot::kSetOption, id, value, extra);
}
inline const char* GetLastErrorInfo(void* component, std::int32_t* code) {
    return CallSlot<const char*>(component, component_slot::kGetLastErrorInfo, code);
}
inline HResult GetDeviceDescription(void* component, void* description) {
    return CallSlot<HResult>(component, component_slot::kGetDeviceDescription, description);
}
inline HResult Open(void* component, void* params) {
    return CallSlot<HResult>(component, component_slot::kOpen, params);
}
inline HResult Close(void* component) {
    return CallSlot<HResult>(component, component_slot::kClose);
}
inline HResult Write(void* component, void* record) {
    return CallSlot<HResult>(component, component_slot::kWrite, record);
}
inline HResult Read(void* component, void* record) {
    return CallSlot<HResult>(component, component_slot::kRead, record);
}
inline HResult SetSettings(void* component, void* settings) {
    return CallSlot<HResult>(component, component_slot::kSetSettings, settings);
}
inline HResult GetSettings(void* component, void* settings) {
    return CallSlot<HResult>(component, component_slot::kGetSettings, settings);
}
inline HResult PurgeTransmitBuffer(void* component) {
    return CallSlot<HResult>(component, component_slot::kPurgeTransmitBuffer);
}
inline HResult PurgeReceiveBuffer(void* component) {
    return CallSlot<HResult>(component, component_slot::kPurgeReceiveBuffer);
}
}  // namespace component_call

// The two exports, both taking nothing (so their calling convention cannot differ).
constexpr const char kCreatePluginExport[] = "ZBCreatePlugin";
constexpr const char kReleasePluginExport[] = "ZBReleasePlugin";
using CreatePluginFunction = void* (*)();
using ReleasePluginFunction = void (*)();

}  // namespace zbhost
