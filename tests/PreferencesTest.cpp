#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace quorvel::test;

namespace
{

class Preferences : public ::testing::Test
{
protected:
    void SetUp() override   { clearHome(); }
};

} // namespace

TEST_F (Preferences, AFirstStartCreatesTheFileUsesEveryDefaultAndAsksForAFolder)
{
    ASSERT_FALSE (preferencesFile().exists());
    ProcessorUnderTest p;

    EXPECT_TRUE (preferencesFile().existsAsFile());
    EXPECT_TRUE (preferencesFile().getFullPathName().endsWith ("/.config/Varrow's/Quorvel/Quorvel.vasettings"));

    EXPECT_TRUE (p->appendBpm);
    EXPECT_EQ (p->targetFps, 20);
    EXPECT_FALSE (p->pinOnTop);
    EXPECT_TRUE (p->trimSilence);
    EXPECT_EQ (p->noiseThresholdDb, -125.0);
    EXPECT_EQ (p->displayGain, 1.0);
    EXPECT_TRUE (p->legacyDisplay);
    EXPECT_FALSE (p->snapFileLength);
    EXPECT_TRUE (p->useOpenGL);
    EXPECT_FALSE (p->borderlessWindow);
    EXPECT_FALSE (p->save24Bit);
    EXPECT_FALSE (p->showPauseButton);
    EXPECT_TRUE (p->showContextButton);
    EXPECT_FALSE (p->legacyModifiers);
    EXPECT_FALSE (p->capturePlayback);
    EXPECT_EQ (p->storedDisplayWidth, 1000);
    EXPECT_EQ (p->storedDisplayHeight, 89);
    EXPECT_EQ (p->displayWidth.load(), 1000);
    EXPECT_EQ (p->displayBuffer.columnCountShared.load(), 1000);
    EXPECT_EQ (p->recordDurationSeconds.load(), 30);
    EXPECT_EQ (p->captureBuffer->capacity, 44100 * 30);
    EXPECT_FALSE (p->recordingPathSet);

    ASSERT_EQ (p.messages->size(), 1u);
    EXPECT_EQ (p.messages->front().title, "Set Recording Directory");
    EXPECT_EQ (p.messages->front().text, "Quorvel requires a recording directory to save the dragged audio snippets. "
                                         "You can press 'OK' to set it.");
}

TEST_F (Preferences, StoredValuesAreReadIntoTheInstance)
{
    writePreferences ({ { "Append BPM", "0" }, { "Target FPS", "60" }, { "Pin", "1" }, { "Trim Silence", "0" },
                        { "Noise Threshold", "-90" }, { "Display Gain", "0.5" }, { "Legacy Display", "0" },
                        { "Snap File Length", "1" }, { "Borderless Window", "1" }, { "24 bit", "1" },
                        { "Pause Button", "1" }, { "Context Button", "0" }, { "Legacy Modifiers", "1" },
                        { "Capture Playback", "1" }, { "Display Width", "800" }, { "Display Height", "120" },
                        { "Recording Path", recordingFolder() } });
    ProcessorUnderTest p;

    EXPECT_FALSE (p->appendBpm);
    EXPECT_EQ (p->targetFps, 60);
    EXPECT_TRUE (p->pinOnTop);
    EXPECT_FALSE (p->trimSilence);
    EXPECT_EQ (p->noiseThresholdDb, -90.0);
    EXPECT_EQ (p->displayGain, 0.5);
    EXPECT_FALSE (p->legacyDisplay);
    EXPECT_TRUE (p->snapFileLength);
    EXPECT_TRUE (p->borderlessWindow);
    EXPECT_TRUE (p->save24Bit);
    EXPECT_TRUE (p->showPauseButton);
    EXPECT_FALSE (p->showContextButton);
    EXPECT_TRUE (p->legacyModifiers);
    EXPECT_TRUE (p->capturePlayback);
    EXPECT_EQ (p->storedDisplayWidth, 800);
    EXPECT_EQ (p->storedDisplayHeight, 120);
    EXPECT_TRUE (p->recordingPathSet);
    EXPECT_TRUE (p.messages->empty());
}

TEST_F (Preferences, OpenGlIsReadAsANumberAndWrittenAsABoolean)
{
    struct Case { const char* stored; bool on; };

    for (const auto c : { Case { "0", false }, Case { "1", true }, Case { "7", true }, Case { "-2", true }, Case { "no", false } })
    {
        writePreferences ({ { "OpenGL", c.stored }, { "Recording Path", recordingFolder() } });
        EXPECT_EQ (ProcessorUnderTest()->useOpenGL, c.on) << c.stored;
    }

    // The menu's toggle stores a boolean that reads back as the same state, and says so.
    writePreferences ({ { "OpenGL", "7" }, { "Recording Path", recordingFolder() } });
    ProcessorUnderTest p;
    p->toggleOpenGL();
    EXPECT_FALSE (p->useOpenGL);
    EXPECT_EQ (storedPreference ("OpenGL"), "0");
    EXPECT_FALSE (ProcessorUnderTest()->useOpenGL);

    p->toggleOpenGL();
    EXPECT_EQ (storedPreference ("OpenGL"), "1");
    EXPECT_TRUE (ProcessorUnderTest()->useOpenGL);

    ASSERT_EQ (p.messages->size(), 2u);
    EXPECT_EQ (p.messages->at (0).title, "OpenGL - Success");
    EXPECT_EQ (p.messages->at (0).text, "OpenGL has been turned off. Quorvel has to be closed and re-opened for the changes to take effect.");
    EXPECT_EQ (p.messages->at (1).text, "OpenGL has been turned on. Quorvel has to be closed and re-opened for the changes to take effect.");
}

TEST_F (Preferences, CapturePlaybackIsAPlugInOption)
{
    writePreferences ({ { "Capture Playback", "1" } });
    EXPECT_TRUE (ProcessorUnderTest (false)->capturePlayback);
    EXPECT_FALSE (ProcessorUnderTest (true)->capturePlayback);
}

TEST_F (Preferences, TheStandaloneProgramKeepsItsOwnDisplaySize)
{
    writePreferences ({ { "Display Width", "800" }, { "Display Height", "120" },
                        { "Standalone Display Width", "640" }, { "Standalone Display Height", "200" } });

    ProcessorUnderTest standalone (true), plugIn (false);
    EXPECT_EQ (standalone->getDisplaySize(), std::make_pair (640, 200));
    EXPECT_EQ (plugIn->getDisplaySize(), std::make_pair (800, 120));

    plugIn->saveDisplaySize (700, 150);
    EXPECT_EQ (storedPreference ("Display Width"), "700");
    EXPECT_EQ (storedPreference ("Display Height"), "150");
    EXPECT_EQ (storedPreference ("Standalone Display Width"), "640");
}

TEST_F (Preferences, AnUnchangedSizeWritesNothing)
{
    writePreferences ({ { "Display Width", "800" }, { "Display Height", "120" } });
    ProcessorUnderTest p;
    preferencesFile().deleteFile();

    p->saveDisplaySize (800, 120);
    EXPECT_FALSE (preferencesFile().exists());

    p->saveDisplaySize (800, 121);
    EXPECT_EQ (storedPreference ("Display Height"), "121");

    // The comparison is with the size read at construction, not with the file: what another
    // instance stored since then does not count, and the stored values are not updated.
    writePreferences ({ { "Display Width", "640" }, { "Display Height", "200" } });
    p->saveDisplaySize (800, 120);
    EXPECT_EQ (storedPreference ("Display Width"), "640");
    p->saveDisplaySize (640, 200);
    EXPECT_EQ (storedPreference ("Display Width"), "640");
    EXPECT_EQ (p->storedDisplayWidth, 800);
}

TEST_F (Preferences, AbsurdStoredSizesAreClamped)
{
    writePreferences ({ { "Display Width", "99999999999" }, { "Display Height", "-40" } });
    ProcessorUnderTest p;
    EXPECT_EQ (p->getDisplaySize(), std::make_pair (10000, 0));
    EXPECT_EQ (p->displayBuffer.columnCountShared.load(), 10000);
}

TEST_F (Preferences, TogglesAreWrittenAndReadBack)
{
    ProcessorUnderTest p;

    p->toggleTrimSilence();
    EXPECT_FALSE (p->trimSilence);
    EXPECT_EQ (storedPreference ("Trim Silence"), "0");
    EXPECT_FALSE (ProcessorUnderTest()->trimSilence);

    p->toggleTrimSilence();
    EXPECT_TRUE (p->trimSilence);
    EXPECT_EQ (storedPreference ("Trim Silence"), "1");

    p->toggleDisplayContextButton();
    EXPECT_FALSE (ProcessorUnderTest()->showContextButton);

    p->saveSelectedTheme (4);
    EXPECT_EQ (storedPreference ("Selected Theme"), "4");
}

TEST_F (Preferences, EachWriteStartsFromWhatOthersSaved)
{
    ProcessorUnderTest first, second;
    first->toggleTrimSilence();
    second->saveSelectedTheme (3);

    EXPECT_EQ (storedPreference ("Trim Silence"), "0");
    EXPECT_EQ (storedPreference ("Selected Theme"), "3");
}

TEST_F (Preferences, AStoredThresholdSeedsNewInstancesButNotARestoredState)
{
    writePreferences ({ { "Noise Threshold", "-90" } });
    ProcessorUnderTest p;
    EXPECT_EQ (p->noiseThresholdDb, -90.0);

    juce::MemoryBlock state;
    juce::MemoryOutputStream out (state, false);
    juce::ValueTree ("Parameters").writeToStream (out);
    out.flush();
    p->setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_EQ (p->noiseThresholdDb, -150.0);
}

TEST_F (Preferences, AStoredRecordDurationSeedsNewInstancesWhenItIsOneOfTheChoices)
{
    struct Case { const char* stored; int seconds; };

    for (const auto c : { Case { "90", 90 }, Case { "15", 15 }, Case { "31", 30 }, Case { "x", 30 } })
    {
        writePreferences ({ { "Record Duration", c.stored } });
        ProcessorUnderTest p;
        EXPECT_EQ (p->recordDurationSeconds.load(), c.seconds) << c.stored;
        EXPECT_EQ (p->captureBuffer->capacity, 44100 * c.seconds);
        p->prepareToPlay (48000.0, 64);
        EXPECT_EQ (p->captureBuffer->capacity, 48000 * c.seconds);
    }
}

TEST_F (Preferences, DamagedValuesReadSafely)
{
    writePreferences ({ { "Target FPS", "0" }, { "Display Gain", "nan" }, { "Noise Threshold", "inf" },
                        { "Append BPM", "99999999999999999999" }, { "Pin", "  1" }, { "Trim Silence", "true" } });
    ProcessorUnderTest p;

    EXPECT_EQ (p->targetFps, 20);
    EXPECT_EQ (p->displayGain, 1.0);
    EXPECT_EQ (p->noiseThresholdDb, -125.0);
    EXPECT_TRUE (p->appendBpm);
    EXPECT_TRUE (p->pinOnTop);
    EXPECT_FALSE (p->trimSilence);   // stored booleans are numbers; text reads as 0

    preferencesFile().replaceWithText ("<PROPERTIES><VALUE name=");
    EXPECT_EQ (ProcessorUnderTest()->targetFps, 20);
}

TEST_F (Preferences, AFileThatIsNotTextIsSetAsideAndTheDefaultsApply)
{
    const char damaged[] = "<PROPERTIES><V\xb5LU\xc5 name=\"Target FPS\" val=\"60\"/></PROPERTIES>";
    preferencesFile().getParentDirectory().createDirectory();
    preferencesFile().replaceWithData (damaged, sizeof (damaged) - 1);

    ProcessorUnderTest p;
    EXPECT_EQ (p->targetFps, 20);
    EXPECT_TRUE (preferencesFile().getSiblingFile ("Quorvel.vasettings.damaged").existsAsFile());
    EXPECT_TRUE (preferencesFile().existsAsFile());   // written afresh
}

TEST_F (Preferences, FilesTheFrameworkReadsAreReadNotSetAside)
{
    // A byte-order mark or a document type, as an editor may leave them.
    for (const char* lead : { "\xef\xbb\xbf",
                              "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
                              "<!DOCTYPE PROPERTIES>\n",
                              "<?xml version=\"1.0\"?>\n<!-- edited -->\n<!DOCTYPE PROPERTIES [\n"
                              "  <!ELEMENT PROPERTIES (VALUE*)>\n]>\n" })
    {
        clearHome();
        writePreferences ({ { "Recording Path", recordingFolder() }, { "Target FPS", "60" } });
        const auto body = preferencesFile().loadFileAsString().fromFirstOccurrenceOf ("?>", false, false);
        const auto text = std::string (lead) + body.toStdString();
        preferencesFile().replaceWithData (text.data(), text.size());

        ProcessorUnderTest p;
        EXPECT_TRUE (p->recordingPathSet) << lead;
        EXPECT_EQ (p->targetFps, 60) << lead;
        EXPECT_FALSE (preferencesFile().getSiblingFile ("Quorvel.vasettings.damaged").exists()) << lead;
    }
}

TEST_F (Preferences, ADamagedFileThatCannotBeSetAsideIsLeftExactlyAsItIs)
{
    const char damaged[] = "<PROPERTIES><V\xb5LU\xc5 name=\"Target FPS\" val=\"60\"/></PROPERTIES>";
    preferencesFile().getParentDirectory().createDirectory();
    preferencesFile().replaceWithData (damaged, sizeof (damaged) - 1);

    // A folder in the way of the rename (which, unlike a read-only folder, stops it even for root).
    const auto blocker = preferencesFile().getSiblingFile ("Quorvel.vasettings.damaged");
    ASSERT_TRUE (blocker.createDirectory() && blocker.getChildFile ("inside").replaceWithText ("x"));

    {
        ProcessorUnderTest p;
        EXPECT_EQ (p->targetFps, 20);
        EXPECT_FALSE (p->recordingPathSet);
        p->toggleTrimSilence();   // a change saves nothing over it
    }

    juce::MemoryBlock bytes;
    ASSERT_TRUE (preferencesFile().loadFileAsData (bytes));
    EXPECT_EQ (bytes, juce::MemoryBlock (damaged, sizeof (damaged) - 1));
    EXPECT_TRUE (blocker.isDirectory());
}
