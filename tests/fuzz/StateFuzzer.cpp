// Feeds arbitrary bytes to the processor's state restore and arbitrary text to its
// preferences reader. The first byte chooses which; the rest is the input.

#include "AudioPluginAudioProcessor.h"

#include <juce_events/juce_events.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

class IgnoredMessages final : public UserMessages
{
public:
    void show (juce::MessageBoxIconType, const juce::String&, const juce::String&, std::function<void()>) override {}
};

AudioPluginAudioProcessor* processor = nullptr;
juce::File preferences;
std::string home;

} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***);
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t*, std::size_t);

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // A memory-backed home when there is one: every preferences input is a file round trip.
    home = juce::File ("/dev/shm").isDirectory() ? "/dev/shm/quorvel-fuzz-home-XXXXXX" : "/tmp/quorvel-fuzz-home-XXXXXX";

    if (mkdtemp (home.data()) == nullptr)
        std::abort();

    std::atexit ([] { juce::File (home).deleteRecursively(); });
    setenv ("HOME", home.c_str(), 1);
    setenv ("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);

    // Lives for the whole run, like the processor it serves.
    new juce::ScopedJuceInitialiser_GUI();
    preferences = juce::File (home).getChildFile (".config/Varrow's/Quorvel/Quorvel.vasettings");
    processor = new AudioPluginAudioProcessor (std::make_unique<IgnoredMessages>());
    processor->prepareToPlay (48000.0, 512);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;

    const auto* input = data + 1;
    const auto inputSize = size - 1;

    if ((data[0] & 1) == 0)
    {
        processor->setStateInformation (input, (int) inputSize);

        juce::MemoryBlock saved;
        processor->getStateInformation (saved);

        juce::AudioBuffer<float> block (2, 64);
        block.clear();
        juce::MidiBuffer midi;
        processor->processBlock (block, midi);
    }
    else
    {
        preferences.replaceWithData (input, inputSize);
        processor->readPreferences();
        juce::ignoreUnused (processor->getDisplaySize());
    }

    return 0;
}
