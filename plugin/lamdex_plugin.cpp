#include "plugin/lamdex_plugin.h"

#include "lamdex/host_helpers.h"
#include "lamdex/version.h"
#include "plugin/module_handle.h"
#include "ui/port_dialog.h"

namespace lamdex {
namespace {

constexpr char kPluginId[] = "5D2E9B40-7C13-4A6F-B852-19E4C07A3D6B";
constexpr char kPluginName[] = "Lamdex Reader";
constexpr char kPluginDescription[] = "This plug-in will read from a single LC1 ONLY";
// The project version, as in the version resource and the release zips.
constexpr char kVersionText[] = LAMDEX_VERSION_TEXT;
constexpr char kAuthorText[] = "The Lamdex developers";

// Constructed when the library loads (which loads the configured port) and destroyed
// when it unloads (which closes the port).
Lamdex thePlugin;

}  // namespace

void ComponentPortDialog::Open(void* ownerWindow) {
    OpenPortDialog(ModuleHandle(), ownerWindow, this);
}

// Static storage: never freed. Destruction, as the host means it, closes the component's port.
void* Lamdex::DeletingDestructor(unsigned int flags) {
    driver_.DeletingDestructor(flags);
    return this;
}

std::int32_t Lamdex::GetPluginInfo(zb::PluginInfo* info) {
    if (info == nullptr) {
        return 0;
    }
    info->interfaceLevel = 3;
    zb::ParseGuid(kPluginId, info->id);
    zb::CopyText(info->name, kPluginName);
    zb::CopyText(info->description, kPluginDescription);
    zb::CopyText(info->version, kVersionText);
    zb::CopyText(info->author, kAuthorText);
    info->value704 = 1;
    info->value708 = 0;
    info->value712 = 1;
    info->value714 = 0;
    return 1;
}

zb::HResult Lamdex::Initialize(std::int32_t /*value*/) {
    return zb::kOk;
}

zb::IZBPluginComponent* Lamdex::GetComponent(std::int32_t index) {
    return index == 0 ? &driver_ : nullptr;
}

void Lamdex::Uninitialize(std::int32_t /*value*/) {}

zb::HResult Lamdex::SetOption(std::int32_t id, std::int32_t value, std::int32_t /*extra*/) {
    if (id == kOptionIdValue) {
        optionValue_ = value;
    }
    return zb::kOk;
}

Lamdex& ThePlugin() {
    return thePlugin;
}

}  // namespace lamdex
