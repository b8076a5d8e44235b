// The library's two exports, undecorated (see Lamdex.def for their ordinals).
#include "plugin/exports.h"

#include "plugin/lamdex_plugin.h"

extern "C" {

LAMDEX_EXPORT zb::IZBPlugin* ZBCreatePlugin() {
    return &lamdex::ThePlugin();
}

// The plug-in object lives until the library unloads, whatever the host releases.
LAMDEX_EXPORT void ZBReleasePlugin() {}
}
