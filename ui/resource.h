// Resource ids of the library, shared by the resource script and the code.
// Plain #defines: the resource compiler reads this file too.
#pragma once

#define IDD_PORT_DIALOG 101
#define IDC_PORT_LIST 1001
