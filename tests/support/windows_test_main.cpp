// The main of the Windows test programs that load the plug-in library named first on their
// command line. The prefix user's documents are kept aside while the tests run.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/windows_test_support.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LAMDEX_DLL [gtest options]\n", argv[0]);
        return 2;
    }
    lamdex::test::pluginPath = argv[1];
    const lamdex::test::ProfileGuard guard;
    return RUN_ALL_TESTS();
}
