// Lamdex: the plug-in object the host obtains from ZBCreatePlugin. There is exactly one,
// with static storage; it describes the plug-in and hands out its single component.
#pragma once

#include <cstdint>

#include "driver/lc1_driver.h"
#include "lamdex/host_api.h"
#include "ui/port_choice.h"

namespace lamdex {

// Opens the port dialog from the component's ShowConfiguration and lets the dialog see and
// change the component's port.
class ComponentPortDialog final : public ConfigurationDialog, public PortSetting {
public:
    explicit ComponentPortDialog(LC1Driver& driver) : driver_(driver) {}

    void Open(void* ownerWindow) override;
    int CurrentPort() const override { return driver_.PortNumber(); }
    void ChangePort(int port) override { driver_.ChangePort(port); }

private:
    LC1Driver& driver_;
};

class Lamdex final : public zb::IZBPlugin {
public:
    static constexpr std::int32_t kOptionIdValue = 5000;

    Lamdex() { driver_.SetConfigurationDialog(&portDialog_); }
    ~Lamdex() = default;
    Lamdex(const Lamdex&) = delete;
    Lamdex& operator=(const Lamdex&) = delete;

    void* ZB_THISCALL DeletingDestructor(unsigned int flags) override;
    std::int32_t ZB_THISCALL GetPluginInfo(zb::PluginInfo* info) override;
    zb::HResult ZB_THISCALL Initialize(std::int32_t value) override;
    zb::IZBPluginComponent* ZB_THISCALL GetComponent(std::int32_t index) override;
    void ZB_THISCALL Uninitialize(std::int32_t value) override;
    zb::HResult ZB_THISCALL SetOption(std::int32_t id, std::int32_t value, std::int32_t extra) override;

    std::int32_t OptionValue() const { return optionValue_; }

private:
    std::int32_t optionValue_ = 0;
    LC1Driver driver_;
    ComponentPortDialog portDialog_{driver_};
};

// The library's single plug-in object.
Lamdex& ThePlugin();

}  // namespace lamdex
