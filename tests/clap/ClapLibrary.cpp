#include "ClapLibrary.h"

#include <cstdlib>
#include <dlfcn.h>
#include <memory>

namespace quorvel::clap_test
{

namespace
{
std::unique_ptr<ClapLibrary> sharedLibrary;
}

ClapLibrary::ClapLibrary (const std::string& path)
{
    handle = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL);

    if (handle == nullptr)
    {
        const char* why = dlerror();
        problem = why != nullptr ? why : "dlopen failed";
        return;
    }

    entryPoint = static_cast<const clap_plugin_entry*> (dlsym (handle, "clap_entry"));

    if (entryPoint == nullptr)
    {
        problem = "no clap_entry";
        return;
    }

    if (! clap_version_is_compatible (entryPoint->clap_version))
    {
        problem = "incompatible CLAP version";
        return;
    }

    initialised = entryPoint->init (path.c_str());

    if (! initialised)
        problem = "clap_entry.init returned false";
}

ClapLibrary::~ClapLibrary()
{
    if (initialised)
        entryPoint->deinit();

    if (handle != nullptr)
        dlclose (handle);
}

const clap_plugin_factory* ClapLibrary::factory() const
{
    if (! initialised)
        return nullptr;

    return static_cast<const clap_plugin_factory*> (entryPoint->get_factory (CLAP_PLUGIN_FACTORY_ID));
}

ClapLibrary& ClapLibrary::shared()
{
    if (sharedLibrary == nullptr)
        std::abort();   // the test program's main opens it first

    return *sharedLibrary;
}

void ClapLibrary::openShared (const std::string& path)
{
    sharedLibrary = std::make_unique<ClapLibrary> (path);
}

void ClapLibrary::closeShared()
{
    sharedLibrary.reset();
}

} // namespace quorvel::clap_test
