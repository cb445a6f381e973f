#pragma once

#include <clap/entry.h>
#include <clap/plugin-factory.h>

#include <string>

namespace quorvel::clap_test
{

/** A .clap file loaded as a host loads it: dlopen, the entry's init and the plug-in factory;
    deinit and dlclose when destroyed. */
class ClapLibrary
{
public:
    explicit ClapLibrary (const std::string& path);
    ~ClapLibrary();

    ClapLibrary (const ClapLibrary&) = delete;
    ClapLibrary& operator= (const ClapLibrary&) = delete;

    /** Whether the file loaded, has an entry and its init succeeded. */
    bool isOpen() const noexcept    { return initialised; }
    const std::string& error() const noexcept    { return problem; }

    const clap_plugin_entry* entry() const noexcept    { return entryPoint; }

    /** The plug-in factory, or null. */
    const clap_plugin_factory* factory() const;

    /** The library the test program loaded for all its tests (see openShared()). */
    static ClapLibrary& shared();
    static void openShared (const std::string& path);
    static void closeShared();

private:
    void* handle = nullptr;
    const clap_plugin_entry* entryPoint = nullptr;
    bool initialised = false;
    std::string problem;
};

} // namespace quorvel::clap_test
