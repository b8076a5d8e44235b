// lamdex-check's three commands; each prints for a person and answers an exit code.
#pragma once

#include <string>

namespace lamdex::check {

enum ExitCode : int {
    kExitDone = 0,   // LC-1 found, or the port saved
    kExitUsage = 1,  // also: the record file cannot be written
    kExitNoLc1 = 2,
    kExitNotSaved = 3,
};

// Listens to every port at once for about half a second and says what each carries (every
// LC-1 of a chain and the auxiliary inputs), then what the configuration says and what to do.
int FindLc1();

// One line per packet on one port, and whenever the port goes or comes back, for `seconds`
// (kUntilCtrlC: until Ctrl-C), then the counts. With a record path, also writes what the line
// sends to that file.
int FollowPort(int port, double seconds, const std::string& recordPath);

// Writes the port into the plug-in's configuration file, making the Plugins folder first,
// with the LC-1 of the chain the plug-in reads: `sensor`, or, when 0, the one saved before.
int SavePort(int port, int sensor);

}  // namespace lamdex::check
