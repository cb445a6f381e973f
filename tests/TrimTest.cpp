#include "TestEnvironment.h"
#include "ViewTestSupport.h"

#include "TrimMenu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

using namespace quorvel::test;

namespace
{

using Icon = juce::MessageBoxIconType;
using Menu = varrow::MenuPresenter::Menu;

//==============================================================================
/** One row of a popup menu as the user sees it. Headers and separators have only a kind and a text. */
struct MenuEntry
{
    enum class Kind { header, item, separator };

    Kind kind;
    juce::String text;
    int id = 0;
    bool ticked = false;
    bool enabled = true;

    bool operator== (const MenuEntry& other) const
    {
        return kind == other.kind && text == other.text && id == other.id && ticked == other.ticked && enabled == other.enabled;
    }
};

void PrintTo (const MenuEntry& e, std::ostream* os)
{
    const char* kinds[] { "header", "item", "separator" };
    *os << kinds[(int) e.kind] << " \"" << e.text << "\"";

    if (e.kind == MenuEntry::Kind::item)
        *os << " id " << e.id << (e.ticked ? " ticked" : "") << (e.enabled ? "" : " disabled");
}

std::vector<MenuEntry> entriesOf (const juce::PopupMenu& menu)
{
    std::vector<MenuEntry> entries;

    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& item = it.getItem();

        if (item.isSeparator)
            entries.push_back ({ MenuEntry::Kind::separator, {} });
        else if (item.isSectionHeader)
            entries.push_back ({ MenuEntry::Kind::header, item.text });
        else
            entries.push_back ({ MenuEntry::Kind::item, item.text, item.itemID, item.isTicked, item.isEnabled });
    }

    return entries;
}

struct Preset
{
    int id;
    double dB;
    const char* text;
};

// In the menu's order.
constexpr Preset presets[] { { 9, -125.0, "-125dB" }, { 5, -100.0, "-100dB" }, { 6, -90.0, "-90dB" },
                             { 7, -75.0, "-75dB" }, { 8, -60.0, "-60dB" } };

/** The Trim menu as it should read; tickedPreset is the text of the ticked preset, or "". */
std::vector<MenuEntry> expectedTrimMenu (bool trimSilence, const juce::String& tickedPreset, const juce::String& thresholdText)
{
    using Kind = MenuEntry::Kind;
    std::vector<MenuEntry> entries { { Kind::header, "Trim" },
                                     { Kind::item, "Automatically Trim Silence", 4, trimSilence, true },
                                     { Kind::header, "Silence Threshold" } };

    for (const auto& preset : presets)
        entries.push_back ({ Kind::item, preset.text, preset.id, tickedPreset == preset.text, true });

    entries.push_back ({ Kind::separator, {} });
    entries.push_back ({ Kind::item, "Calibrate From Selection", 2, false, true });
    entries.push_back ({ Kind::item, "Set Default Threshold to: " + thresholdText + "dBs", 3, false, true });
    return entries;
}

juce::String thresholdSetText (const juce::String& twoDecimals)
{
    return "Silence threshold has successfully been set to: " + twoDecimals
         + "dBs. \nThreshold values are kept per instance, however you can save them as default through the same context menu.";
}

} // namespace

//==============================================================================
TEST (TrimMenu, ListsTheOptionsWithTheLiveStateTicked)
{
    struct Case
    {
        bool trimSilence;
        double thresholdDb;
        const char* tickedPreset;
        const char* thresholdText;
    };

    const Case cases[] { { true, -125.0, "-125dB", "-125" },
                         { false, -100.0, "-100dB", "-100" },
                         { true, -90.0, "-90dB", "-90" },
                         { false, -75.0, "-75dB", "-75" },
                         { true, -60.0, "-60dB", "-60" },
                         { false, -63.5, "", "-63.5" },
                         { true, -90.0000001, "", "-90" },              // printed as -90, yet not the preset
                         { false, 20.0 * std::log10 (0.5), "", "-6.0206" },
                         { true, -123.4567, "", "-123.457" },
                         { false, 0.0, "", "0" } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "trim " << c.trimSilence << ", threshold " << c.thresholdDb);
        EXPECT_EQ (entriesOf (TrimMenu::build (c.trimSilence, c.thresholdDb)),
                   expectedTrimMenu (c.trimSilence, c.tickedPreset, c.thresholdText));
    }
}

//==============================================================================
TEST_F (PreparedProcessor, SettingTheThresholdTellsItWithTwoDecimalsWhenAsked)
{
    struct Case { double dB; const char* shown; };
    const Case cases[] { { -90.0, "-90.00" }, { -63.5, "-63.50" }, { 20.0 * std::log10 (0.5), "-6.02" },
                         { -125.0, "-125.00" }, { -150.0, "-150.00" }, { -7.999, "-8.00" }, { -0.5, "-0.50" } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.dB);
        p.messages->clear();
        p->setNoiseThreshold (c.dB, true);

        EXPECT_EQ (p->noiseThresholdDb, c.dB);
        ASSERT_EQ (p.messages->size(), 1u);
        EXPECT_TRUE (isMessage (p.messages->front(), Icon::InfoIcon, "Silence Threshold - Success", thresholdSetText (c.shown)));
    }

    p.messages->clear();
    p->setNoiseThreshold (-75.0, false);
    EXPECT_EQ (p->noiseThresholdDb, -75.0);
    EXPECT_TRUE (p.messages->empty());
}

//==============================================================================
namespace
{

/** Fresh processors prepared at 48 kHz (a ring of 1 440 000 samples) with a recording folder stored. */
class Calibration : public ::testing::Test
{
protected:
    static constexpr int capacity = 48000 * 30;

    struct Sample
    {
        int index;     // in the ring
        int channel;
        float value;
    };

    void SetUp() override
    {
        clearHome();
        writePreferences ({ { "Recording Path", recordingFolder() } });
    }

    static std::unique_ptr<ProcessorUnderTest> makeProcessor()
    {
        auto p = std::make_unique<ProcessorUnderTest>();
        (*p)->prepareToPlay (48000.0, 512);
        jassert ((*p)->captureBuffer->capacity == capacity);
        return p;
    }

    /** Records numSamples samples in blocks of 512: silence but for the given samples. Past the
        ring's end the write wraps, and each ring index gets its value again. */
    static void record (AudioPluginAudioProcessor& processor, const std::vector<Sample>& samples, int numSamples)
    {
        for (int done = 0; done < numSamples; done += 512)
        {
            auto block = makeBlock (2, 512, [&] (int channel, int i)
            {
                const int index = (done + i) % capacity;

                for (const auto& s : samples)
                    if (s.index == index && s.channel == channel)
                        return s.value;

                return 0.0f;
            });

            processBlock (processor, block);
        }
    }

    /** Selects ring samples [first, first + length) of the unzoomed, unrotated view. */
    static void select (AudioPluginAudioProcessor& processor, int first, int length)
    {
        processor.selectionStart = (float) ((double) first / capacity);
        processor.selectionLength = (float) ((double) length / capacity);
    }
};

} // namespace

TEST_F (Calibration, TheThresholdBecomesTheLoudestLevelOfTheSelectedSamples)
{
    const double halfDb = 20.0 * std::log10 (0.5);
    const double quarterDb = 20.0 * std::log10 (0.25);

    struct Case
    {
        const char* what;
        int channelMode;
        std::vector<Sample> samples;
        int first, length;
        double dB;
        const char* shown;
    };

    const Case cases[] {
        { "a positive peak on the left", 0, { { 700, 0, 0.5f } }, 512, 512, halfDb, "-6.02" },
        { "a negative peak counts by its magnitude", 0, { { 700, 1, -0.25f } }, 512, 512, quarterDb, "-12.04" },
        { "a negative peak louder than a positive one", 0, { { 600, 0, 0.1f }, { 700, 1, -0.5f } }, 512, 512, halfDb, "-6.02" },
        { "both channels count in mono left", 1, { { 650, 0, 0.25f }, { 700, 1, 0.5f } }, 512, 512, halfDb, "-6.02" },
        { "both channels count in mono right", 2, { { 650, 1, 0.25f }, { 700, 0, 0.5f } }, 512, 512, halfDb, "-6.02" },
        { "the first selected sample counts, its neighbour does not", 0,
          { { 511, 0, 0.9f }, { 512, 1, 0.5f }, { 1023, 0, 0.25f }, { 1024, 1, 0.9f } }, 512, 512, halfDb, "-6.02" },
        { "the last selected sample counts, its neighbour does not", 0,
          { { 511, 1, 0.9f }, { 512, 0, 0.25f }, { 1023, 1, -0.5f }, { 1024, 0, 0.9f } }, 512, 512, halfDb, "-6.02" },
        { "a selection just longer than the least", 0, { { 600, 0, 0.5f }, { 658, 0, 0.9f } }, 512, 146, halfDb, "-6.02" },
        { "silence", 0, {}, 512, 512, -150.0, "-150.00" },
        { "across the ring's end", 0,
          { { capacity - 101, 0, 0.9f }, { capacity - 100, 1, 0.25f }, { 150, 0, -0.5f }, { 200, 1, 0.9f } },
          capacity - 100, 300, halfDb, "-6.02" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto p = makeProcessor();
        (*p)->channelMode = c.channelMode;
        const bool wraps = c.first + c.length > capacity;
        record (**p, c.samples, wraps ? capacity + 1024 : 2048);
        select (**p, c.first, c.length);

        (*p)->calibrateFromSelection();

        EXPECT_NEAR ((*p)->noiseThresholdDb, c.dB, 1.0e-4);
        ASSERT_EQ (p->messages->size(), 1u);
        EXPECT_TRUE (isMessage (p->messages->front(), Icon::InfoIcon, "Silence Threshold - Success", thresholdSetText (c.shown)));
    }
}

TEST_F (Calibration, ASelectionOfNoWholeSampleFindsOnlySilence)
{
    const auto p = makeProcessor();
    requestZoom (**p, 0.0, 0.001);   // the view shows 1440 samples
    record (**p, { { 0, 0, 0.5f }, { 1, 1, 0.5f } }, 512);
    ASSERT_TRUE ((*p)->zoomed.load());

    (*p)->selectionStart = 0.0f;
    (*p)->selectionLength = 0.0002f;   // 0.288 of a sample
    (*p)->calibrateFromSelection();

    EXPECT_EQ ((*p)->noiseThresholdDb, -150.0);
    ASSERT_EQ (p->messages->size(), 1u);
    EXPECT_TRUE (isMessage (p->messages->front(), Icon::InfoIcon, "Silence Threshold - Success", thresholdSetText ("-150.00")));
}

TEST_F (Calibration, ATooShortSelectionChangesNothing)
{
    const auto p = makeProcessor();
    record (**p, { { 0, 0, 0.5f } }, 512);
    (*p)->setNoiseThreshold (-90.0, false);

    for (const float length : { 0.0001f, 0.00005f, 0.0f, -0.25f })
    {
        SCOPED_TRACE (length);
        (*p)->selectionStart = 0.0f;
        (*p)->selectionLength = length;
        (*p)->calibrateFromSelection();

        EXPECT_EQ ((*p)->noiseThresholdDb, -90.0);
        EXPECT_TRUE (p->messages->empty());
    }
}

//==============================================================================
namespace
{

/** The plug-in's view, with a selection over pixels 300..400 of its waveform. */
class TrimView : public ViewFixture
{
protected:
    void select()
    {
        (*p)->selectionStart = 295.0f / 990.0f;
        (*p)->selectionLength = 100.0f / 990.0f;
    }

    /** Right-presses on the selection and returns the menu the view asked for. */
    std::vector<MenuEntry> openTrimMenu()
    {
        const auto before = menus.shown.size();
        press (350, 40, "R");
        release (350, 40, "R");

        EXPECT_EQ (menus.shown.size(), before + 1);
        EXPECT_TRUE (! menus.shown.empty() && menus.shown.back() == Menu::trim);
        return entriesOf (menus.lastMenu);
    }

    void choose (int id)
    {
        ASSERT_TRUE (menus.choose != nullptr);
        menus.choose (id);
    }
};

} // namespace

TEST_F (TrimView, ARightPressOnTheSelectionOpensTheTrimMenuOfTheLiveState)
{
    select();
    (*p)->trimSilence = false;
    (*p)->setNoiseThreshold (-75.0, false);

    EXPECT_EQ (openTrimMenu(), expectedTrimMenu (false, "-75dB", "-75"));
}

TEST_F (TrimView, APresetSetsTheThresholdQuietlyAndIsTickedNextTime)
{
    select();

    // -90 first, so that the -125 the instance starts with has to be set as well.
    for (const int id : { 6, 9, 5, 7, 8 })
    {
        const auto& preset = *std::find_if (std::begin (presets), std::end (presets), [id] (const Preset& x) { return x.id == id; });
        SCOPED_TRACE (preset.text);

        openTrimMenu();
        choose (preset.id);

        EXPECT_EQ ((*p)->noiseThresholdDb, preset.dB);
        EXPECT_TRUE (p->messages->empty());
        EXPECT_EQ (openTrimMenu(), expectedTrimMenu (true, preset.text, TrimMenu::thresholdText (preset.dB)));
        choose (0);   // dismissed: nothing changes
        EXPECT_EQ ((*p)->noiseThresholdDb, preset.dB);
        EXPECT_TRUE ((*p)->trimSilence);
        EXPECT_TRUE (p->messages->empty());
    }
}

TEST_F (TrimView, CalibratingFromTheMenuLeavesNoPresetTicked)
{
    // The selection (ring samples 429 090 .. 574 545) holds only samples at -63.5 dB.
    const auto quiet = (float) std::pow (10.0, -63.5 / 20.0);
    runAudio (1130, quiet);
    select();

    openTrimMenu();
    choose (2);

    EXPECT_NEAR ((*p)->noiseThresholdDb, -63.5, 1.0e-4);
    ASSERT_EQ (p->messages->size(), 1u);
    EXPECT_TRUE (isMessage (p->messages->front(), Icon::InfoIcon, "Silence Threshold - Success", thresholdSetText ("-63.50")));
    EXPECT_EQ (openTrimMenu(), expectedTrimMenu (true, "", "-63.5"));
}

TEST_F (TrimView, AutomaticTrimmingIsToggledAndStoredForLaterInstances)
{
    select();
    ProcessorUnderTest running;   // made before the change
    ASSERT_TRUE ((*p)->trimSilence);
    ASSERT_TRUE (running->trimSilence);

    for (const bool expected : { false, true })
    {
        SCOPED_TRACE (expected);
        openTrimMenu();
        choose (4);

        EXPECT_EQ ((*p)->trimSilence, expected);
        EXPECT_TRUE (storedPreference ("Trim Silence").isNotEmpty());
        EXPECT_EQ (ProcessorUnderTest()->trimSilence, expected);
        EXPECT_TRUE (running->trimSilence);
        EXPECT_TRUE (p->messages->empty());
        EXPECT_EQ (openTrimMenu(), expectedTrimMenu (expected, "-125dB", "-125"));
    }
}

TEST_F (TrimView, TheThresholdIsSavedAsTheDefaultOfLaterInstances)
{
    select();
    ProcessorUnderTest running;   // made before the change
    openTrimMenu();
    choose (6);
    openTrimMenu();
    choose (3);

    ASSERT_EQ (p->messages->size(), 1u);
    EXPECT_TRUE (isMessage (p->messages->front(), Icon::InfoIcon, "Silence Threshold - Success",
                            "Default silence threshold has successfully been set to: -90.00dBs."));
    EXPECT_EQ ((*p)->noiseThresholdDb, -90.0);
    EXPECT_EQ (storedPreference ("Noise Threshold").getDoubleValue(), -90.0);
    EXPECT_EQ (ProcessorUnderTest()->noiseThresholdDb, -90.0);
    EXPECT_EQ (running->noiseThresholdDb, -125.0);
}
