// The VST3 and LV2 plug-ins as built, loaded through the framework's own hosting classes as a
// host loads them: found, described, passing audio through and keeping their state. This
// program has the framework of its own and not the shared code; each plug-in brings its copy.

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace quorvel::test
{
void ignoreXErrors();   // tests/XErrors.cpp
}

namespace juce
{
// The framework's own message pump, which its modal loops use; those are not built here.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace
{

//==============================================================================
struct PluginFormatCase
{
    const char* name;
    std::function<std::unique_ptr<juce::AudioPluginFormat>()> makeFormat;
    juce::String folderToSearch;     // where the format looks for plug-ins
    juce::String fileOrIdentifier;   // the plug-in in it: a bundle or a URI
};

void PrintTo (const PluginFormatCase& c, std::ostream* os)   { *os << c.name; }

const PluginFormatCase formatCases[]
{
    { "VST3",
      [] { return std::make_unique<juce::VST3PluginFormat>(); },
      juce::File (QUORVEL_VST3_BUNDLE).getParentDirectory().getFullPathName(),
      QUORVEL_VST3_BUNDLE },
    { "LV2",
      [] { return std::make_unique<juce::LV2PluginFormat>(); },
      juce::File (QUORVEL_LV2_BUNDLE).getParentDirectory().getFullPathName(),
      QUORVEL_LV2_URI },
};

constexpr double sampleRate = 48000.0;
constexpr int maxBlockSize = 512;

/** The plug-in's own parameters: all the host lists but the bypass it adds for the format. */
juce::Array<juce::AudioProcessorParameter*> pluginParameters (const juce::AudioPluginInstance& instance)
{
    juce::Array<juce::AudioProcessorParameter*> result;

    for (auto* p : instance.getParameters())
        if (p != instance.getBypassParameter())
            result.add (p);

    return result;
}

juce::AudioProcessorParameter* freezeParameter (const juce::AudioPluginInstance& instance)
{
    for (auto* p : pluginParameters (instance))
        if (p->getName (64) == "Freeze")
            return p;

    return nullptr;
}

/** Runs the message loop until done() or for at most this long. */
void dispatchMessagesUntil (const std::function<bool()>& done, int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;

    while (! done() && juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

void dispatchMessagesFor (int milliseconds)
{
    dispatchMessagesUntil ([] { return false; }, milliseconds);
}

void processBlock (juce::AudioPluginInstance& instance, juce::AudioBuffer<float>& buffer)
{
    juce::MidiBuffer midi;
    instance.processBlock (buffer, midi);
}

void processSilentBlock (juce::AudioPluginInstance& instance)
{
    juce::AudioBuffer<float> buffer (2, maxBlockSize);
    buffer.clear();
    processBlock (instance, buffer);
}

/** A sine on the left, a ramp on the right, each with a different offset: no two neighbouring
    samples alike, and no sample the plug-in could produce by mistake (silence, a copy of the
    other channel, a block repeated). */
float testSignal (int channel, int n)
{
    if (channel == 0)
        return 0.5f * std::sin ((float) n * 0.031f) + 0.001f;

    return -0.9f + (float) (n % 9000) * 0.0002f;
}

//==============================================================================
class PluginFormatTest : public ::testing::TestWithParam<PluginFormatCase>
{
protected:
    void SetUp() override
    {
        manager.addFormat (GetParam().makeFormat().release());
        auto& format = *manager.getFormat (0);

        format.searchPathsForPlugins (juce::FileSearchPath (GetParam().folderToSearch), true, false);

        juce::OwnedArray<juce::PluginDescription> found;
        format.findAllTypesForFile (found, GetParam().fileOrIdentifier);
        ASSERT_EQ (found.size(), 1) << "no single plug-in at " << GetParam().fileOrIdentifier;
        description = *found[0];
    }

    std::unique_ptr<juce::AudioPluginInstance> createInstance()
    {
        juce::String error;
        auto instance = manager.createPluginInstance (description, sampleRate, maxBlockSize, error);
        EXPECT_NE (instance, nullptr) << error;
        return instance;
    }

    std::unique_ptr<juce::AudioPluginInstance> createPreparedInstance()
    {
        auto instance = createInstance();

        if (instance != nullptr)
            instance->prepareToPlay (sampleRate, maxBlockSize);

        return instance;
    }

    juce::AudioPluginFormatManager manager;
    juce::PluginDescription description;
};

TEST_P (PluginFormatTest, DescribesItselfAsQuorvelByVarrowWithStereoInAndOut)
{
    EXPECT_EQ (description.name, "Quorvel");
    EXPECT_EQ (description.manufacturerName, "Varrow");
    EXPECT_FALSE (description.isInstrument);

    const auto instance = createInstance();
    ASSERT_NE (instance, nullptr);
    EXPECT_EQ (instance->getName(), "Quorvel");
    EXPECT_EQ (instance->getTotalNumInputChannels(), 2);
    EXPECT_EQ (instance->getTotalNumOutputChannels(), 2);
    EXPECT_EQ (instance->getLatencySamples(), 0);
}

TEST_P (PluginFormatTest, HasOneParameterFreezeThatIsOffOrOn)
{
    const auto instance = createInstance();
    ASSERT_NE (instance, nullptr);

    const auto parameters = pluginParameters (*instance);
    ASSERT_EQ (parameters.size(), 1);

    const auto& freeze = *parameters[0];
    EXPECT_EQ (freeze.getName (64), "Freeze");
    EXPECT_EQ (freeze.getText (0.0f, 64), "Off");
    EXPECT_EQ (freeze.getText (1.0f, 64), "On");
    EXPECT_EQ (freeze.getValue(), 0.0f);
    EXPECT_EQ (freeze.getCurrentValueAsText(), "Off");
}

TEST_P (PluginFormatTest, PassesItsInputThroughSampleForSample)
{
    const auto instance = createPreparedInstance();
    ASSERT_NE (instance, nullptr);

    int position = 0;

    for (const int blockSize : { 512, 1, 64, 511, 100, 37, 512, 256, 3, 512 })
    {
        juce::AudioBuffer<float> buffer (2, blockSize);

        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < blockSize; ++i)
                buffer.setSample (c, i, testSignal (c, position + i));

        processBlock (*instance, buffer);

        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < blockSize; ++i)
                ASSERT_EQ (buffer.getSample (c, i), testSignal (c, position + i))
                    << "channel " << c << ", sample " << position + i << " (a block of " << blockSize << ")";

        position += blockSize;
    }

    instance->releaseResources();
}

TEST_P (PluginFormatTest, KeepsFreezeOnThroughItsStateInAnotherInstance)
{
    const auto first = createPreparedInstance();
    ASSERT_NE (first, nullptr);
    auto* freeze = freezeParameter (*first);
    ASSERT_NE (freeze, nullptr);

    // The change reaches the plug-in with the next block; a host may save right after it.
    freeze->setValueNotifyingHost (1.0f);
    processSilentBlock (*first);

    juce::MemoryBlock saved;
    first->getStateInformation (saved);
    ASSERT_GT (saved.getSize(), 0u);

    const auto second = createPreparedInstance();
    ASSERT_NE (second, nullptr);
    auto* restoredFreeze = freezeParameter (*second);
    ASSERT_NE (restoredFreeze, nullptr);
    ASSERT_EQ (restoredFreeze->getCurrentValueAsText(), "Off");

    // An LV2 plug-in tells its host the values it restored with its next block.
    second->setStateInformation (saved.getData(), (int) saved.getSize());
    processSilentBlock (*second);
    dispatchMessagesUntil ([&] { return restoredFreeze->getValue() == 1.0f; }, 2000);

    EXPECT_EQ (restoredFreeze->getValue(), 1.0f);
    EXPECT_EQ (restoredFreeze->getCurrentValueAsText(), "On");

    juce::MemoryBlock savedAgain;
    second->getStateInformation (savedAgain);
    EXPECT_TRUE (savedAgain == saved) << "the restored instance saves other bytes ("
                                  << savedAgain.getSize() << " instead of " << saved.getSize() << ")";
}

TEST_P (PluginFormatTest, OpensItsEditorInAWindow)
{
    const auto instance = createPreparedInstance();
    ASSERT_NE (instance, nullptr);
    ASSERT_TRUE (instance->hasEditor());

    std::unique_ptr<juce::AudioProcessorEditor> editor (instance->createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);

    editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
    editor->setVisible (true);
    dispatchMessagesFor (500);

    EXPECT_GT (editor->getWidth(), 0);
    EXPECT_GT (editor->getHeight(), 0);
    EXPECT_TRUE (editor->isShowing());

    editor = nullptr;
    dispatchMessagesFor (100);
}

std::string formatName (const ::testing::TestParamInfo<PluginFormatCase>& format)
{
    return format.param.name;
}

INSTANTIATE_TEST_SUITE_P (Formats, PluginFormatTest, ::testing::ValuesIn (formatCases), formatName);

//==============================================================================
/** HOME and the XDG folders in a fresh temporary folder for this process, with a recording
    folder stored in the preferences, so that the plug-in neither asks for one nor touches the
    user's files. */
class TemporaryHome
{
public:
    TemporaryHome()
    {
        std::string pattern = "/tmp/quorvel-format-home-XXXXXX";

        if (mkdtemp (pattern.data()) == nullptr)
            std::abort();

        folder = juce::File (pattern);
        setenv ("HOME", pattern.c_str(), 1);
        setenv ("XDG_CONFIG_HOME", (pattern + "/.config").c_str(), 1);
        setenv ("XDG_DATA_HOME", (pattern + "/.local/share").c_str(), 1);
        setenv ("XDG_CACHE_HOME", (pattern + "/.cache").c_str(), 1);

        const auto recordings = folder.getChildFile ("Recordings");
        recordings.createDirectory();

        juce::XmlElement preferences ("PROPERTIES");
        auto* value = preferences.createNewChildElement ("VALUE");
        value->setAttribute ("name", "Recording Path");
        value->setAttribute ("val", recordings.getFullPathName());

        const auto file = folder.getChildFile (".config/Varrow's/Quorvel/Quorvel.vasettings");
        file.getParentDirectory().createDirectory();
        file.replaceWithText (preferences.toString());
    }

    ~TemporaryHome()   { folder.deleteRecursively(); }

private:
    juce::File folder;
};

} // namespace

int main (int argc, char** argv)
{
    // Before the framework (or a plug-in) first looks the home folder up.
    const TemporaryHome home;
    quorvel::test::ignoreXErrors();

    ::testing::InitGoogleTest (&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
