// LC1Driver: the plug-in's one component, through which the host reads the LC-1.
// It owns the serial link, the packet reader, the configured port and the last error text.
//
// Open, Close, Read, the port change and the closing at destruction hold one lock while
// they touch the link or the receive buffer: a host reading on its own thread while the
// user changes the port in the dialog gets answers from the old port or the new one,
// never from a handle closed under it. Read never waits for the lock: while another
// operation holds it or waits for it, Read answers not ready.
//
// Between Open and Close the line is kept: Read finds out when it has gone (a pulled USB
// adapter) and opens the port again when it is back, so readings resume without the host.
#pragma once

#include <cstdint>

#include "config/config_file.h"
#include "driver/lc1_state.h"
#include "driver/line_keeper.h"
#include "driver/lock.h"
#include "driver/packet_reader.h"
#include "driver/serial_link.h"
#include "lamdex/host_api.h"

namespace lamdex {

// What ShowConfiguration opens. The plug-in provides it, so the component holds no window
// code and knows nothing of the dialog.
class ConfigurationDialog {
public:
    virtual void Open(void* ownerWindow) = 0;

protected:
    ConfigurationDialog() = default;
    ~ConfigurationDialog() = default;
    ConfigurationDialog(const ConfigurationDialog&) = default;
    ConfigurationDialog& operator=(const ConfigurationDialog&) = default;
};

class LC1Driver final : public zb::IZBDataAcqIO {
public:
    LC1Driver();
    ~LC1Driver();
    LC1Driver(const LC1Driver&) = delete;
    LC1Driver& operator=(const LC1Driver&) = delete;

    // IZBPluginComponent
    void* ZB_THISCALL DeletingDestructor(unsigned int flags) override;
    std::int32_t ZB_THISCALL GetComponentType() override;
    std::int32_t ZB_THISCALL GetComponentInfo(zb::ComponentInfo* info) override;
    zb::HResult ZB_THISCALL ShowConfiguration(zb::ConfigDialogParams* params) override;
    zb::HResult ZB_THISCALL SetOption(std::int32_t id, std::int32_t value, std::int32_t extra) override;
    const char* ZB_THISCALL GetLastErrorInfo(std::int32_t* code) override;

    // IZBDataAcqIO
    zb::HResult ZB_THISCALL GetDeviceDescription(zb::DeviceDescription* desc) override;
    zb::HResult ZB_THISCALL Open(zb::OpenParams* params) override;
    zb::HResult ZB_THISCALL Close() override;
    zb::HResult ZB_THISCALL Write(zb::TransferRecord* rec) override;
    zb::HResult ZB_THISCALL Read(zb::TransferRecord* rec) override;
    zb::HResult ZB_THISCALL SetSettings(zb::IoSettings* settings) override;
    zb::HResult ZB_THISCALL GetSettings(zb::IoSettings* settings) override;
    zb::HResult ZB_THISCALL PurgeTransmitBuffer() override;
    zb::HResult ZB_THISCALL PurgeReceiveBuffer() override;

    // Called by the port dialog: closes, saves and reopens as needed.
    void ChangePort(int newPort);
    // Without one, ShowConfiguration opens nothing (and still answers S_OK).
    void SetConfigurationDialog(ConfigurationDialog* dialog) { configurationDialog_ = dialog; }

    int PortNumber() const { return portNumber_; }
    int Sensor() const { return sensor_; }
    bool IsOpen() const { return isOpen_; }
    bool IsLinkOpen() const { return link_.IsOpen(); }
    const PacketReader& Reader() const { return reader_; }
    const char* ConfigPath() const { return configPath_; }

private:
    // Unlocked steps of Open and Close, shared with the port change, which holds the lock
    // across its close, save and reopen.
    void OpenLink();
    void CloseLink();
    void Report(LineKeeper::Change change) {
        if (change != LineKeeper::Change::kNone) ReportChange(change);
    }
    void ReportChange(LineKeeper::Change change);

    Lock lock_;  // first: made before, and gone after, everything it guards
    SerialLink link_;
    LineKeeper keeper_{link_};
    std::int32_t portNumber_ = 1;
    int sensor_ = kDefaultSensor;  // which LC-1 of a chain the file named at start
    PacketReader reader_;
    Lc1StateReport stateReport_;  // what the chosen LC-1 says, told when it changes
    bool isOpen_ = false;
    zb::IoSettings settings_{zb::kIoSettingsSize, {}};
    char configPath_[kConfigPathSize] = {};
    char lastErrorText_[kLastErrorTextSize] = {};
    std::int32_t lastErrorCode_ = 0;
    ConfigurationDialog* configurationDialog_ = nullptr;
};

}  // namespace lamdex
