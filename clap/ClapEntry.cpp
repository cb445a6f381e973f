// The library's CLAP entry point and its factory of one plug-in.

#include "ClapJuceWrapper.h"

#include <clap/plugin-factory.h>
#include <cstdio>
#include <cstring>

namespace
{
const char* const features[] { CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_SAMPLER, nullptr };

const clap_plugin_descriptor_t descriptor {
    CLAP_VERSION_INIT,
    "audio.varrow.quorvel",
    "Quorvel",
    "Varrow",
    "",
    "",
    "",
    "1.0.4",
    "Quorvel",
    const_cast<const char**> (features)
};

uint32_t getPluginCount (const clap_plugin_factory_t*)
{
    return 1;
}

const clap_plugin_descriptor_t* getPluginDescriptor (const clap_plugin_factory_t*, uint32_t index)
{
    return index == 0 ? &descriptor : nullptr;
}

const clap_plugin_t* createPlugin (const clap_plugin_factory_t*, const clap_host_t* host, const char* pluginId)
{
    if (host == nullptr || pluginId == nullptr || ! clap_version_is_compatible (host->clap_version))
        return nullptr;

    if (std::strcmp (pluginId, descriptor.id) != 0)
    {
        std::printf ("Quorvel: no plug-in with the id \"%s\" here; this library makes \"%s\".\n", pluginId, descriptor.id);
        std::fflush (stdout);
        return nullptr;
    }

    auto* wrapper = new ClapJuceWrapper (*host, descriptor);
    return wrapper->getClapPlugin();
}

const clap_plugin_factory_t factory { getPluginCount, getPluginDescriptor, createPlugin };

bool entryInit (const char*)
{
    return true;
}

void entryDeinit() {}

const void* entryGetFactory (const char* factoryId)
{
    return factoryId != nullptr && std::strcmp (factoryId, CLAP_PLUGIN_FACTORY_ID) == 0 ? &factory : nullptr;
}
} // namespace

extern "C" __attribute__ ((visibility ("default"))) const clap_plugin_entry_t clap_entry {
    CLAP_VERSION_INIT,
    entryInit,
    entryDeinit,
    entryGetFactory
};
