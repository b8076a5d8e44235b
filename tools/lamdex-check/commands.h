// lamdex-check's three commands; each prints for a person and answers an exit code.
#pragma once

namespace lamdex::check {

enum ExitCode : int {
    kExitDone = 0,  // LC-1 found, or the port saved
    kExitUsage = 1,
    kExitNoLc1 = 2,
    kExitNotSaved = 3,
};

// Listens to every port at once for about half a second and says what each carries, then
// what the configuration says and what to do.
int FindLc1();

// One line per packet on one port for `seconds`, then the counts.
int FollowPort(int port, double seconds);

// Writes the port into the plug-in's configuration file, making the Plugins folder first.
int SavePort(int port);

}  // namespace lamdex::check
