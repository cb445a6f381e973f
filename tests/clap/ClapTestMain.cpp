#include "ClapLibrary.h"
#include "ClapTestEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace quorvel::clap_test;

namespace
{

/** What a host does when it scans: load, init, read the factory and its descriptors, unload.
    Run in a child process (see ScanningCreatesNoProcessor) so that it is the first load. */
int scanOnly()
{
    const ClapLibrary library (QUORVEL_CLAP_PATH);
    const auto* factory = library.factory();

    if (factory == nullptr)
        return 2;

    for (uint32_t i = 0; i < factory->get_plugin_count (factory); ++i)
        if (factory->get_plugin_descriptor (factory, i) == nullptr)
            return 3;

    return 0;
}

} // namespace

int main (int argc, char** argv)
{
    if (argc == 2 && std::strcmp (argv[1], "--scan-only") == 0)
        return scanOnly();

    // The plug-in reads its preferences from the home folder: a private one, never the user's.
    useTemporaryHome();
    recordXErrors();

    ::testing::InitGoogleTest (&argc, argv);
    ClapLibrary::openShared (QUORVEL_CLAP_PATH);
    const int result = RUN_ALL_TESTS();
    ClapLibrary::closeShared();
    removeTemporaryHome();
    return result;
}
