#include "tools/zbhost/configuration_loop.h"

namespace zbhost {

HResult RunConfiguration(void* component, std::string& note) {
    Record<config_dialog_params::kRecordBytes> params;
    params.Put32(config_dialog_params::kSize, config_dialog_params::kSizeValue);
    params.PutPointer(config_dialog_params::kOwnerWindow, nullptr);
    const HResult result = component_call::ShowConfiguration(component, params.Data());
    note = "no dialog windows on this platform; ShowConfiguration answered only";
    return result;
}

}  // namespace zbhost
