#pragma once

#include "AudioPluginAudioProcessor.h"
#include "UserMessages.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <vector>

namespace quorvel::test
{

/** Points HOME and the XDG folders at a fresh temporary folder, for this process. */
void useTemporaryHome();
void removeTemporaryHome();

/** Handles X errors the way a plug-in host does: the framework installs handlers of its own
    only in a standalone application, and without one Xlib ends the process on the first error
    (such as a window-manager property a bare virtual display does not know). */
void ignoreXErrors();

/** ~/.config/Varrow's/Quorvel/Quorvel.vasettings under the temporary home. */
juce::File preferencesFile();

/** A recording folder inside the temporary home, made if missing. */
juce::String recordingFolder();

/** Removes every file the program may have written under the temporary home. */
void clearHome();

/** Runs the message loop for a while, as the framework's own modal loops do. */
void dispatchMessagesFor (int milliseconds);

/** Writes a preferences file holding exactly these keys and values. */
void writePreferences (const std::map<juce::String, juce::String>& values);

/** Reads one value back from the preferences file ("" when absent). */
juce::String storedPreference (const juce::String& key);

struct ShownMessage
{
    juce::MessageBoxIconType icon;
    juce::String title, text;
    std::function<void()> onDismissed {};

    /** Closes the message as its "OK" button would. The callback is taken out first, so it may
        show further messages (and so move this one) while it runs. */
    void dismiss() const
    {
        if (const auto callback = onDismissed)
            callback();
    }
};

/** Whether the message is exactly this one: icon, title and text. */
::testing::AssertionResult isMessage (const ShownMessage& m, juce::MessageBoxIconType icon,
                                      const juce::String& title, const juce::String& text);

/** Records the processor's messages instead of showing them; a test dismisses them itself. */
class RecordingMessages final : public UserMessages
{
public:
    explicit RecordingMessages (std::shared_ptr<std::vector<ShownMessage>> log) : messages (std::move (log)) {}

    void show (juce::MessageBoxIconType icon, const juce::String& title,
               const juce::String& text, std::function<void()> onDismissed) override
    {
        messages->push_back ({ icon, title, text, std::move (onDismissed) });
    }

private:
    std::shared_ptr<std::vector<ShownMessage>> messages;
};

/** A processor built as in a plug-in host (or the standalone program) whose messages are recorded. */
struct ProcessorUnderTest
{
    explicit ProcessorUnderTest (bool standalone = false);

    std::shared_ptr<std::vector<ShownMessage>> messages = std::make_shared<std::vector<ShownMessage>>();
    std::unique_ptr<AudioPluginAudioProcessor> processor;

    AudioPluginAudioProcessor* operator->() const   { return processor.get(); }
    AudioPluginAudioProcessor& operator*() const    { return *processor; }
};

/** A host play head whose transport and tempo the test sets. */
class FakePlayHead final : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override;

    bool reportsPosition = true;
    bool playing = false;
    bool recording = false;
    juce::Optional<double> bpm;
};

/** A processor made in a fresh home with a recording folder stored, prepared at 48 kHz for
    blocks of 512, with a host play head the test drives. */
class PreparedProcessor : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    ProcessorUnderTest p;
    FakePlayHead playHead;
};

/** Asks for a zoom window as the view does; the audio thread applies it at its next block. */
void requestZoom (AudioPluginAudioProcessor& processor, double offset, double width);

/** Runs one block through the processor. */
void processBlock (AudioPluginAudioProcessor& processor, juce::AudioBuffer<float>& buffer);

/** A stereo block of n samples whose values come from fill (channel, sample). */
template <typename Fill>
juce::AudioBuffer<float> makeBlock (int channels, int n, Fill&& fill)
{
    juce::AudioBuffer<float> buffer (channels, n);

    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < n; ++i)
            buffer.setSample (c, i, fill (c, i));

    return buffer;
}

} // namespace quorvel::test

namespace juce
{
inline void PrintTo (const Range<int>& r, std::ostream* os)   { *os << "[" << r.getStart() << ", " << r.getEnd() << ")"; }
}
