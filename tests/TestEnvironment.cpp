#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace juce
{
// The framework's own message pump, which its modal loops use; those are not built here.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace quorvel::test
{

static std::string temporaryHome;

void useTemporaryHome()
{
    std::string pattern = "/tmp/quorvel-test-home-XXXXXX";

    if (mkdtemp (pattern.data()) == nullptr)
        std::abort();

    temporaryHome = pattern;
    setenv ("HOME", temporaryHome.c_str(), 1);
    setenv ("XDG_CONFIG_HOME", (temporaryHome + "/.config").c_str(), 1);
    setenv ("XDG_DATA_HOME", (temporaryHome + "/.local/share").c_str(), 1);
    setenv ("XDG_CACHE_HOME", (temporaryHome + "/.cache").c_str(), 1);
}

void removeTemporaryHome()
{
    if (! temporaryHome.empty())
        juce::File (temporaryHome).deleteRecursively();
}

juce::File preferencesFile()
{
    return juce::File (temporaryHome).getChildFile (".config/Varrow's/Quorvel/Quorvel.vasettings");
}

juce::String recordingFolder()
{
    const auto folder = juce::File (temporaryHome).getChildFile ("Recordings");
    folder.createDirectory();
    return folder.getFullPathName();
}

void dispatchMessagesFor (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;

    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

void clearHome()
{
    for (const auto& child : juce::File (temporaryHome).findChildFiles (juce::File::findFilesAndDirectories, false, "*"))
        child.deleteRecursively();
}

void writePreferences (const std::map<juce::String, juce::String>& values)
{
    juce::XmlElement root ("PROPERTIES");

    for (const auto& [key, value] : values)
    {
        auto* e = root.createNewChildElement ("VALUE");
        e->setAttribute ("name", key);
        e->setAttribute ("val", value);
    }

    const auto file = preferencesFile();
    file.getParentDirectory().createDirectory();
    file.replaceWithText (root.toString());
}

juce::String storedPreference (const juce::String& key)
{
    if (const auto xml = juce::parseXML (preferencesFile()))
        for (const auto* e : xml->getChildWithTagNameIterator ("VALUE"))
            if (e->getStringAttribute ("name") == key)
                return e->getStringAttribute ("val");

    return {};
}

ProcessorUnderTest::ProcessorUnderTest (bool standalone)
{
    juce::AudioProcessor::setTypeOfNextNewPlugin (standalone ? juce::AudioProcessor::wrapperType_Standalone
                                                             : juce::AudioProcessor::wrapperType_Undefined);
    processor = std::make_unique<AudioPluginAudioProcessor> (std::make_unique<RecordingMessages> (messages));
    juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
}

juce::Optional<juce::AudioPlayHead::PositionInfo> FakePlayHead::getPosition() const
{
    if (! reportsPosition)
        return {};

    PositionInfo info;
    info.setIsPlaying (playing);
    info.setIsRecording (recording);
    info.setBpm (bpm);
    return info;
}

void PreparedProcessor::SetUp()
{
    clearHome();
    writePreferences ({ { "Recording Path", recordingFolder() } });
    p = ProcessorUnderTest();   // made again, now that the preferences are in place
    p->setPlayHead (&playHead);
    p->prepareToPlay (48000.0, 512);
}

void PreparedProcessor::TearDown()
{
    p->setPlayHead (nullptr);
}

void requestZoom (AudioPluginAudioProcessor& processor, double offset, double width)
{
    processor.requestedZoomOffset = offset;
    processor.requestedZoomWidth = width;
    processor.zoomRequestPending = true;
}

void processBlock (AudioPluginAudioProcessor& processor, juce::AudioBuffer<float>& buffer)
{
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
}

::testing::AssertionResult isMessage (const ShownMessage& m, juce::MessageBoxIconType icon,
                                      const juce::String& title, const juce::String& text)
{
    if (m.icon == icon && m.title == title && m.text == text)
        return ::testing::AssertionSuccess();

    return ::testing::AssertionFailure() << "shown: icon " << (int) m.icon << ", \"" << m.title << "\", \"" << m.text
                                         << "\"\nwanted: icon " << (int) icon << ", \"" << title << "\", \"" << text << "\"";
}

} // namespace quorvel::test
