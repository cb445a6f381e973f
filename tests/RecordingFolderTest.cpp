#include "TestEnvironment.h"

#include "RecordPathChooser.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvel::test;

namespace
{

using Icon = juce::MessageBoxIconType;

constexpr const char* requestText = "Quorvel requires a recording directory to save the dragged audio snippets. "
                                    "You can press 'OK' to set it.";

/** Stands in for the folder chooser: records each request and answers when the test says. */
class FakeChooser final : public RecordPathChooser
{
public:
    void browse (std::function<void (const juce::File&)> onChosen) override
    {
        ++requests;
        pending = std::move (onChosen);
    }

    /** Answers the open request with a folder, or with juce::File() for a cancel. */
    void answer (const juce::File& folder)
    {
        ASSERT_TRUE (pending != nullptr) << "the chooser was not open";
        const auto callback = std::exchange (pending, {});
        callback (folder);
    }

    int requests = 0;
    std::function<void (const juce::File&)> pending;
};

FakeChooser& installFakeChooser (AudioPluginAudioProcessor& processor)
{
    auto chooser = std::make_unique<FakeChooser>();
    auto& fake = *chooser;
    processor.recordPathChooser = std::move (chooser);
    return fake;
}

juce::File homeFolder()   { return juce::File::getSpecialLocation (juce::File::userHomeDirectory); }

juce::Array<juce::File> snippetsIn (const juce::File& folder, bool recursive = false)
{
    return folder.findChildFiles (juce::File::findFiles, recursive, "VA_*.wav");
}

/** A folder this process cannot create files in. Root ignores permission bits, but not the
    kernel's /proc/sys; anyone else gets a read-only folder of their own. */
class UnwritableFolder
{
public:
    UnwritableFolder()
    {
        if (geteuid() == 0)
        {
            folder = juce::File ("/proc/sys");
            return;
        }

        folder = homeFolder().getChildFile ("Locked");
        folder.createDirectory();
        chmod (folder.getFullPathName().toRawUTF8(), 0555);
        owned = true;
    }

    ~UnwritableFolder()
    {
        if (owned)
        {
            chmod (folder.getFullPathName().toRawUTF8(), 0755);
            folder.deleteRecursively();
        }
    }

    juce::File folder;

private:
    bool owned = false;
};

/** Each test starts in an empty home. */
class RecordingFolder : public ::testing::Test
{
protected:
    void SetUp() override   { clearHome(); }

    /** A processor made with these preferences; std::nullopt leaves the key out. */
    static std::unique_ptr<ProcessorUnderTest> makeProcessor (std::optional<juce::String> storedPath)
    {
        if (storedPath.has_value())
            writePreferences ({ { "Recording Path", *storedPath } });

        return std::make_unique<ProcessorUnderTest>();
    }

    /** Prepares the processor at 48 kHz and records a few blocks of sound, then selects them. */
    static void recordSoundAndSelectIt (AudioPluginAudioProcessor& processor)
    {
        processor.prepareToPlay (48000.0, 512);

        for (int b = 0; b < 8; ++b)
        {
            auto block = makeBlock (2, 512, [] (int, int) { return 0.5f; });
            processBlock (processor, block);
        }

        const auto capacity = (float) processor.captureBuffer->capacity;
        processor.selectionStart = 0.0f;
        processor.selectionLength = 4096.0f / capacity;
    }
};

} // namespace

//==============================================================================
TEST_F (RecordingFolder, ConstructionAsksForTheFolderOnlyWhenNoneIsStored)
{
    enum class Stored { nothing, none, folder };
    struct Case { const char* what; Stored stored; bool asks; };
    const Case cases[] { { "no preference yet", Stored::nothing, true },
                         { "\"None\" stored", Stored::none, true },
                         { "a folder stored", Stored::folder, false } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        clearHome();
        const auto p = makeProcessor (c.stored == Stored::nothing ? std::nullopt
                                      : c.stored == Stored::none  ? std::optional<juce::String> ("None")
                                                                  : std::optional<juce::String> (recordingFolder()));

        EXPECT_EQ ((*p)->recordingPathSet, ! c.asks);

        if (c.asks)
        {
            ASSERT_EQ (p->messages->size(), 1u);
            EXPECT_TRUE (isMessage (p->messages->front(), Icon::InfoIcon, "Set Recording Directory", requestText));
        }
        else
        {
            EXPECT_TRUE (p->messages->empty());
        }
    }
}

TEST_F (RecordingFolder, DismissingTheRequestOpensTheChooserWhoseFolderIsTaken)
{
    const auto p = makeProcessor (std::nullopt);
    auto& chooser = installFakeChooser (**p);
    ASSERT_EQ (p->messages->size(), 1u);
    EXPECT_EQ (chooser.requests, 0);   // the message comes first

    p->messages->front().dismiss();
    EXPECT_EQ (chooser.requests, 1);

    const auto chosen = homeFolder().getChildFile ("Chosen");
    ASSERT_TRUE (chosen.createDirectory());
    chooser.answer (chosen);

    EXPECT_EQ (storedPreference ("Recording Path"), chosen.getFullPathName());
    EXPECT_TRUE ((*p)->recordingPathSet);
    ASSERT_EQ (p->messages->size(), 2u);
    EXPECT_EQ (p->messages->back().title, "Recording Directory - Success");
}

TEST_F (RecordingFolder, ARequestDismissedAfterItsProcessorIsGoneOpensNothing)
{
    // A host can remove the plug-in while the request is still on screen.
    auto p = makeProcessor (std::nullopt);
    ASSERT_EQ (p->messages->size(), 1u);
    const auto messages = p->messages;
    p->processor.reset();

    messages->front().dismiss();   // must not reach the destroyed processor
    EXPECT_EQ (messages->size(), 1u);
}

TEST_F (RecordingFolder, TheRequestCanBeMadeAgainWithAFolderStored)
{
    const auto p = makeProcessor (recordingFolder());
    auto& chooser = installFakeChooser (**p);

    (*p)->launchRecordPathDialogue();
    ASSERT_EQ (p->messages->size(), 1u);
    EXPECT_TRUE (isMessage (p->messages->front(), Icon::InfoIcon, "Set Recording Directory", requestText));
    EXPECT_EQ (chooser.requests, 0);

    p->messages->front().dismiss();
    EXPECT_EQ (chooser.requests, 1);
}

TEST_F (RecordingFolder, TheChoosersAnswerIsStoredOrRefusedWithTheReason)
{
    enum class Answer { writableFolder, unwritableFolder, cancel, missingFolder };

    // In the texts, $CHOSEN is the chosen folder and $STORED the one stored before.
    struct Case
    {
        const char* what;
        bool folderStored;
        Answer answer;
        Icon icon;
        const char* title;
        const char* text;
        bool takesTheChoice;
    };

    const char* const success = "Recording directory has been successfully set to:\n$CHOSEN\n\n"
                                "You can change this folder later through the settings (Right Click/Downwards Arrow) of Quorvel.";
    const char* const noPermission = "Quorvel does not have enough permissions to save files into the selected directory. \n"
                                     "Please make sure that you haven't selected a directory that is used for system files, "
                                     "or is being protected.";
    const char* const invalidWithoutFolder = "Recording directory is not selected or is invalid. "
                                             "You can set it again through the settings (Right Click/Downwards Arrow) of Quorvel.";
    const char* const invalidKeepingFolder = "Invalid directory selected, Quorvel will keep using the old recording path:\n$STORED";

    const Case cases[] {
        { "a first folder", false, Answer::writableFolder, Icon::InfoIcon, "Recording Directory - Success", success, true },
        { "a folder replacing the stored one", true, Answer::writableFolder, Icon::InfoIcon, "Recording Directory - Success", success, true },
        { "no write access, none stored", false, Answer::unwritableFolder, Icon::InfoIcon, "Recording Directory - Error", noPermission, false },
        { "no write access, one stored", true, Answer::unwritableFolder, Icon::InfoIcon, "Recording Directory - Error", noPermission, false },
        { "cancelled, none stored", false, Answer::cancel, Icon::WarningIcon, "Invalid Recording Directory", invalidWithoutFolder, false },
        { "missing, none stored", false, Answer::missingFolder, Icon::WarningIcon, "Invalid Recording Directory", invalidWithoutFolder, false },
        { "cancelled, one stored", true, Answer::cancel, Icon::WarningIcon, "Invalid Recording Directory", invalidKeepingFolder, false },
        { "missing, one stored", true, Answer::missingFolder, Icon::WarningIcon, "Invalid Recording Directory", invalidKeepingFolder, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        clearHome();

        const juce::String before = c.folderStored ? recordingFolder() : juce::String ("None");
        const auto p = makeProcessor (before);
        auto& chooser = installFakeChooser (**p);
        const bool pathSetBefore = (*p)->recordingPathSet;
        ASSERT_EQ (pathSetBefore, c.folderStored);
        p->messages->clear();

        const UnwritableFolder unwritable;
        const auto writable = homeFolder().getChildFile ("Chosen");
        ASSERT_TRUE (writable.createDirectory());

        const auto chosen = [&]
        {
            switch (c.answer)
            {
                case Answer::writableFolder:   return writable;
                case Answer::unwritableFolder: return unwritable.folder;
                case Answer::missingFolder:    return homeFolder().getChildFile ("Nowhere");
                case Answer::cancel:           break;
            }

            return juce::File();
        }();

        (*p)->browseForRecordingPath();
        ASSERT_EQ (chooser.requests, 1);
        chooser.answer (chosen);

        const auto text = juce::String (c.text).replace ("$CHOSEN", chosen.getFullPathName()).replace ("$STORED", before);
        ASSERT_EQ (p->messages->size(), 1u);
        EXPECT_TRUE (isMessage (p->messages->front(), c.icon, c.title, text));
        EXPECT_EQ (storedPreference ("Recording Path"), c.takesTheChoice ? chosen.getFullPathName() : before);
        EXPECT_EQ ((*p)->recordingPathSet, c.takesTheChoice || pathSetBefore);
    }
}

TEST_F (RecordingFolder, AFolderChosenInOneInstanceTakesTheNextExportOfAnother)
{
    const auto oldFolder = juce::File (recordingFolder());
    writePreferences ({ { "Recording Path", oldFolder.getFullPathName() } });
    ProcessorUnderTest chooserInstance, exporter;
    recordSoundAndSelectIt (*exporter);

    const auto chosen = homeFolder().getChildFile ("Chosen");
    ASSERT_TRUE (chosen.createDirectory());
    auto& chooser = installFakeChooser (*chooserInstance);
    chooserInstance->browseForRecordingPath();
    chooser.answer (chosen);
    ASSERT_EQ (storedPreference ("Recording Path"), chosen.getFullPathName());

    exporter->saveCropRegionToFile (false, false);

    EXPECT_EQ (snippetsIn (chosen).size(), 1);
    EXPECT_EQ (snippetsIn (oldFolder).size(), 0);
    EXPECT_TRUE (exporter->recordingPathSet);
    EXPECT_TRUE (exporter.messages->empty());
}

TEST_F (RecordingFolder, AnExportWithoutAUsableFolderWritesNothing)
{
    struct Case
    {
        const char* what;
        bool folderStillThere;   // false: the stored folder was removed
        bool errorShown;
    };

    const Case cases[] { { "\"None\" stored meanwhile", true, false },
                         { "the stored folder was removed", false, true } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        clearHome();

        const auto folder = homeFolder().getChildFile ("Gone");
        ASSERT_TRUE (folder.createDirectory());
        const auto p = makeProcessor (folder.getFullPathName());
        ASSERT_TRUE ((*p)->recordingPathSet);
        recordSoundAndSelectIt (**p);

        if (c.folderStillThere)
            writePreferences ({ { "Recording Path", "None" } });
        else
            ASSERT_TRUE (folder.deleteRecursively());

        const auto storedBefore = storedPreference ("Recording Path");
        (*p)->saveCropRegionToFile (false, false);

        EXPECT_FALSE ((*p)->recordingPathSet);
        EXPECT_EQ (storedPreference ("Recording Path"), storedBefore);
        EXPECT_EQ (snippetsIn (homeFolder(), true).size(), 0);
        EXPECT_FALSE ((*p)->fileReadyForDrag);

        if (c.errorShown)
        {
            ASSERT_EQ (p->messages->size(), 1u);
            EXPECT_TRUE (isMessage (p->messages->front(), Icon::InfoIcon, "Recording Directory - Error",
                                    "It appears that the recording directory used for placing files has been relocated. "
                                    "Please select a new path through settings."));
        }
        else
        {
            EXPECT_TRUE (p->messages->empty());
        }
    }
}
