// The binary contract with the Zelbar host: interfaces, records and result codes.
//
// The host is built with Microsoft's compiler and calls our objects through their
// vtables by slot index. MSVC gives a virtual destructor ONE vtable entry (the
// "deleting destructor", taking a flags word); GCC would emit two. So slot 0 is
// declared here as an ordinary virtual function with MSVC's signature, and the
// interfaces have protected, non-virtual C++ destructors: nobody may delete
// through them. Every slot uses thiscall on 32-bit Windows, as MSVC does.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define ZB_THISCALL __attribute__((thiscall))
#define ZB_CONTRACT_IS_32BIT_WINDOWS 1
#else
// Elsewhere the slot order binds but the calling convention is the platform's own.
#define ZB_THISCALL
#define ZB_CONTRACT_IS_32BIT_WINDOWS 0
#endif

namespace zb {

using HResult = std::int32_t;

constexpr HResult kOk = 0x00000000;
constexpr HResult kInvalidArg = static_cast<HResult>(0x80070057u);
constexpr HResult kFail = static_cast<HResult>(0x80004005u);
constexpr HResult kNotReady = static_cast<HResult>(0x80070015u);      // ERROR_NOT_READY
constexpr HResult kNotConnected = static_cast<HResult>(0x800708CAu);  // ERROR_NOT_CONNECTED
constexpr HResult kInsufficientBuffer = static_cast<HResult>(0x8007007Au);

constexpr std::int32_t kDataAcqIoComponentType = 100001;

// The platform's 16-byte identifier layout.
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

struct PluginInfo {
    std::uint32_t hostOwned;  // never read or written by the plug-in
    std::int32_t interfaceLevel;
    Guid id;
    char name[50];
    char description[512];
    char version[15];
    char author[100];
    std::uint8_t notWritten[3];
    std::int32_t value704;
    std::int32_t value708;
    std::int16_t value712;
    std::int16_t value714;
};

struct ComponentInfo {
    std::uint32_t size;
    Guid id;
    char name[50];
    char description[512];
    char version[15];
    std::uint8_t notWritten[3];
    std::int32_t value600;
    std::int16_t value604;
    std::int16_t value606;
};

struct DeviceDescription {
    std::uint32_t size;
    char name[50];
    char furtherText1[512];
    char furtherText2[22];
};

struct OpenParams {
    std::uint32_t size;
    std::uint32_t unused[3];
};

struct ConfigDialogParams {
    std::uint32_t size;
    void* ownerWindow;
};

struct TransferRecord {
    std::uint32_t size;
    void* buffer;
    std::uint32_t capacity;
    std::uint32_t* bytesTransferred;  // may be null
    std::uint32_t unused;
};

struct IoSettings {
    std::uint32_t size;
    std::uint32_t values[6];
};

constexpr std::uint32_t kComponentInfoSize = 608;
constexpr std::uint32_t kDeviceDescriptionSize = 588;
constexpr std::uint32_t kOpenParamsSize = 16;
constexpr std::uint32_t kConfigDialogParamsSize = 8;
constexpr std::uint32_t kTransferRecordSize = 20;
constexpr std::uint32_t kIoSettingsSize = 28;

static_assert(sizeof(Guid) == 16, "GUID is 16 bytes");
static_assert(offsetof(PluginInfo, interfaceLevel) == 4);
static_assert(offsetof(PluginInfo, id) == 8);
static_assert(offsetof(PluginInfo, name) == 24);
static_assert(offsetof(PluginInfo, description) == 74);
static_assert(offsetof(PluginInfo, version) == 586);
static_assert(offsetof(PluginInfo, author) == 601);
static_assert(offsetof(PluginInfo, value704) == 704);
static_assert(offsetof(PluginInfo, value708) == 708);
static_assert(offsetof(PluginInfo, value712) == 712);
static_assert(offsetof(PluginInfo, value714) == 714);
static_assert(sizeof(PluginInfo) == 716);
static_assert(offsetof(ComponentInfo, id) == 4);
static_assert(offsetof(ComponentInfo, name) == 20);
static_assert(offsetof(ComponentInfo, description) == 70);
static_assert(offsetof(ComponentInfo, version) == 582);
static_assert(offsetof(ComponentInfo, value600) == 600);
static_assert(offsetof(ComponentInfo, value604) == 604);
static_assert(offsetof(ComponentInfo, value606) == 606);
static_assert(sizeof(ComponentInfo) == kComponentInfoSize);
static_assert(offsetof(DeviceDescription, name) == 4);
static_assert(offsetof(DeviceDescription, furtherText1) == 54);
static_assert(offsetof(DeviceDescription, furtherText2) == 566);
static_assert(sizeof(DeviceDescription) == kDeviceDescriptionSize);
static_assert(sizeof(OpenParams) == kOpenParamsSize);
static_assert(sizeof(IoSettings) == kIoSettingsSize);

// Records holding pointers: on 32-bit Windows every pointer is 4 bytes and these are the
// contract's numbers. 64-bit hosts get the same fields in the same order, each on its
// natural boundary, so pointers and window handles take 8 bytes; the size fields still
// carry the 32-bit values above, which the component checks exactly as on 32 bits.
#if ZB_CONTRACT_IS_32BIT_WINDOWS
static_assert(sizeof(void*) == 4);
static_assert(offsetof(ConfigDialogParams, ownerWindow) == 4);
static_assert(sizeof(ConfigDialogParams) == kConfigDialogParamsSize);
static_assert(offsetof(TransferRecord, buffer) == 4);
static_assert(offsetof(TransferRecord, capacity) == 8);
static_assert(offsetof(TransferRecord, bytesTransferred) == 12);
static_assert(offsetof(TransferRecord, unused) == 16);
static_assert(sizeof(TransferRecord) == kTransferRecordSize);
#elif defined(_WIN64)
static_assert(sizeof(void*) == 8);
static_assert(offsetof(ConfigDialogParams, ownerWindow) == 8);
static_assert(sizeof(ConfigDialogParams) == 16);
static_assert(offsetof(TransferRecord, buffer) == 8);
static_assert(offsetof(TransferRecord, capacity) == 16);
static_assert(offsetof(TransferRecord, bytesTransferred) == 24);
static_assert(offsetof(TransferRecord, unused) == 32);
static_assert(sizeof(TransferRecord) == 40);
#endif

class IZBPluginComponent {
public:
    // Slot 0: MSVC's deleting destructor. Bit 0 of flags asks for the memory to be freed.
    virtual void* ZB_THISCALL DeletingDestructor(unsigned int flags) = 0;
    virtual std::int32_t ZB_THISCALL GetComponentType() = 0;
    virtual std::int32_t ZB_THISCALL GetComponentInfo(ComponentInfo* info) = 0;
    virtual HResult ZB_THISCALL ShowConfiguration(ConfigDialogParams* params) = 0;
    virtual HResult ZB_THISCALL SetOption(std::int32_t id, std::int32_t value, std::int32_t extra) = 0;
    virtual const char* ZB_THISCALL GetLastErrorInfo(std::int32_t* code) = 0;

protected:
    IZBPluginComponent() = default;
    ~IZBPluginComponent() = default;
    IZBPluginComponent(const IZBPluginComponent&) = default;
    IZBPluginComponent& operator=(const IZBPluginComponent&) = default;
};

class IZBDataAcqIO : public IZBPluginComponent {
public:
    virtual HResult ZB_THISCALL GetDeviceDescription(DeviceDescription* desc) = 0;
    virtual HResult ZB_THISCALL Open(OpenParams* params) = 0;
    virtual HResult ZB_THISCALL Close() = 0;
    virtual HResult ZB_THISCALL Write(TransferRecord* rec) = 0;
    virtual HResult ZB_THISCALL Read(TransferRecord* rec) = 0;
    virtual HResult ZB_THISCALL SetSettings(IoSettings* settings) = 0;
    virtual HResult ZB_THISCALL GetSettings(IoSettings* settings) = 0;
    virtual HResult ZB_THISCALL PurgeTransmitBuffer() = 0;
    virtual HResult ZB_THISCALL PurgeReceiveBuffer() = 0;

protected:
    IZBDataAcqIO() = default;
    ~IZBDataAcqIO() = default;
    IZBDataAcqIO(const IZBDataAcqIO&) = default;
    IZBDataAcqIO& operator=(const IZBDataAcqIO&) = default;
};

class IZBPlugin {
public:
    virtual void* ZB_THISCALL DeletingDestructor(unsigned int flags) = 0;
    virtual std::int32_t ZB_THISCALL GetPluginInfo(PluginInfo* info) = 0;
    virtual HResult ZB_THISCALL Initialize(std::int32_t value) = 0;
    virtual IZBPluginComponent* ZB_THISCALL GetComponent(std::int32_t index) = 0;
    virtual void ZB_THISCALL Uninitialize(std::int32_t value) = 0;
    virtual HResult ZB_THISCALL SetOption(std::int32_t id, std::int32_t value, std::int32_t extra) = 0;

protected:
    IZBPlugin() = default;
    ~IZBPlugin() = default;
    IZBPlugin(const IZBPlugin&) = default;
    IZBPlugin& operator=(const IZBPlugin&) = default;
};

}  // namespace zb
