#pragma once

#include "lamdex/host_api.h"

#if defined(_WIN32)
#define LAMDEX_EXPORT  // exported by name and ordinal through Lamdex.def
#else
#define LAMDEX_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
LAMDEX_EXPORT zb::IZBPlugin* ZBCreatePlugin();
LAMDEX_EXPORT void ZBReleasePlugin();
}
