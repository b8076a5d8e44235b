// What lamdex-check does differently on Windows and natively; one file per platform.
#pragma once

#include <cstdint>
#include <vector>

namespace lamdex::check {

// The numbers of the serial ports this machine has, ascending: the COM devices Windows
// knows; natively the ports the plug-in's naming finds an entry for.
std::vector<int> ListPorts();

// Whether the platform's error from opening a port says that another program holds it.
bool MeansInUse(std::uint32_t openError);

bool FolderExists(const char* path);

// Makes the folder and any missing parents; false with the platform's error code.
bool MakeFolders(const char* path, std::uint32_t& error);

// From now on Ctrl-C (natively also a request to end) does not end the program but is only
// noted, so that a follow can end with its counts.
void CatchCtrlC();
bool CtrlCPressed();

}  // namespace lamdex::check
