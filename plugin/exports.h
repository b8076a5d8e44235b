#pragma once

#include "lamdex/host_api.h"

// Set by the build: empty on Windows, where Lamdex.def exports by name and ordinal.
#ifndef LAMDEX_EXPORT
#define LAMDEX_EXPORT
#endif

extern "C" {
LAMDEX_EXPORT zb::IZBPlugin* ZBCreatePlugin();
LAMDEX_EXPORT void ZBReleasePlugin();
}
