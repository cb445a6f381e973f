#include "AudioPluginAudioProcessorEditor.h"
#include "TestEnvironment.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <vector>

using namespace quorvel::test;

namespace
{

using Icon = juce::MessageBoxIconType;
using Processor = AudioPluginAudioProcessor;

//==============================================================================
/** A menu tree written out one entry per line, sub-menus indented under their entry, so that
    two menus compare as text and a difference shows as a line diff. */
class MenuText
{
public:
    MenuText& header (const juce::String& text)     { return line ("[" + text + "]"); }
    MenuText& separator()                            { return line ("---"); }

    MenuText& item (const juce::String& text, int id, bool ticked = false, bool enabled = true, juce::uint32 argb = 0)
    {
        return line ("\"" + text + "\" #" + juce::String (id) + flags (ticked, enabled)
                     + (argb != 0 ? " colour " + juce::String::toHexString ((juce::int64) argb) : juce::String()));
    }

    /** Opens a sub-menu; the entries that follow belong to it until end(). */
    MenuText& sub (const juce::String& text, bool ticked = false, bool enabled = true)
    {
        line ("\"" + text + "\" >" + flags (ticked, enabled));
        ++depth;
        return *this;
    }

    MenuText& end()   { --depth; return *this; }

    std::string str() const   { return lines.toStdString(); }

private:
    static juce::String flags (bool ticked, bool enabled)
    {
        return juce::String (ticked ? " ticked" : "") + (enabled ? "" : " disabled");
    }

    MenuText& line (const juce::String& s)
    {
        lines << juce::String::repeatedString ("  ", depth) << s << "\n";
        return *this;
    }

    juce::String lines;
    int depth = 0;
};

void describe (const juce::PopupMenu& menu, MenuText& out)
{
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& item = it.getItem();

        if (item.isSeparator)
            out.separator();
        else if (item.isSectionHeader)
            out.header (item.text);
        else if (item.subMenu != nullptr)
        {
            EXPECT_EQ (item.itemID, 0) << item.text;
            out.sub (item.text, item.isTicked, item.isEnabled);
            describe (*item.subMenu, out);
            out.end();
        }
        else
            out.item (item.text, item.itemID, item.isTicked, item.isEnabled, item.colour.getARGB());
    }
}

std::string describe (const juce::PopupMenu& menu)
{
    MenuText out;
    describe (menu, out);
    return out.str();
}

/** What the settings menu must read for a build and a state; `ticked` holds the Ids that carry
    a tick (an Id offered twice is ticked in both places). */
struct Shape
{
    bool standalone = false;
    bool pathSet = true;
    bool live = false;
    bool settingsButtonHidden = false;
    std::set<int> ticked;
    juce::String gainText = "0";
};

std::string expectedMenu (const Shape& s)
{
    MenuText m;
    const auto item = [&] (const char* text, int id, juce::uint32 argb = 0) { m.item (text, id, s.ticked.count (id) > 0, true, argb); };

    if (! s.pathSet)
        item ("Set Recording Path", 1);

    if (s.standalone)
    {
        m.header ("Standalone").separator();
        item ("Audio Settings", 23);
        m.sub ("Window");
        item ("Borderless Window", 24);
        item ("Pin On Top", 26);
        m.end();
    }

    m.header ("Sampler").separator();

    m.sub ("Settings");
    m.header ("File").separator();
    item ("Set Recording Path", 1);
    m.sub ("Format").header ("Channels").separator();
    item ("Stereo", 32);
    item ("Mono (Left)", 33);
    item ("Mono (Right)", 34);
    m.header ("Format").separator();
    item ("Save 24-bit files", 43);
    m.end();
    m.sub ("Various");
    item ("Add BPM to filename", 15);
    item ("Automatically Trim Silence", 28);
    if (s.live)
        item ("Try to Prevent Auto-Warp", 44);
    m.end();
    m.header ("Display").separator();
    m.sub ("Performance").header ("Waveform FPS").separator();
    item ("60", 18);
    item ("30", 17);
    item ("20", 16);
    item ("15", 48);
    item ("10", 49);
    item ("5", 50);
    m.separator();
    item ("Use OpenGL", 20);
    m.end();
    m.sub ("Display Gain");
    item ("+6db", 35);
    item ("Unity (0db)", 36);
    item ("-6db", 37);
    item ("-12db", 38);
    m.separator();
    m.item ("Set default gain to: " + s.gainText + "db", 39);
    m.end();
    m.sub ("Visual");
    item ("Asymmetrical Display", 29);
    item ("Show Pause Button", 45);
    if (s.settingsButtonHidden)
        item ("Show Settings Button", 46);
    m.end();
    m.sub ("Input");
    item ("Use Legacy Keys", 47);
    m.end();
    m.header ("Recording").separator();
    if (! s.standalone)
        item ("Capture Playback", 31);
    item ("Mute Output", 40);
    m.separator();
    item ("Open Online Manual", 42);
    m.item ("Version: 1.0.4", -1, false, false);
    m.end();

    m.sub ("Duration");
    item ("15 seconds", 22);
    item ("30 seconds", 9);
    item ("45 seconds", 10);
    item ("1 minute", 11);
    item ("90 seconds", 12);
    item ("2 minutes", 13);
    item ("4 minutes", 21);
    item ("10 minutes", 27);
    m.separator();
    item ("Set as default", 14);
    m.end();

    item ("Mute Output", 40);
    m.header (" Themes ").separator();
    item ("Carbon", 2, 0xff5096f0);    // (80, 150, 240)
    item ("Rainbow", 3, 0xffe7c505);   // (231, 197, 5)
    item ("Bright", 4, 0xffff3333);    // (181, 36, 36) at full brightness: (255, 51, 51)
    item ("Vintage", 30, 0xffca6fa2);  // (144, 79, 116) 1.4 times as bright: (201.6, 110.6, 162.4)
    item ("Lemon", 41, 0xffa3db1f);

    if (s.standalone)
    {
        m.separator();
        item ("Quit", 25);
    }

    return m.str();
}

/** Every setting the menu shows, at values that tick as little as possible. */
void setPlainState (Processor& p)
{
    p.recordingPathSet = true;
    p.channelMode = 0;
    p.save24Bit = p.appendBpm = p.trimSilence = p.snapFileLength = p.useOpenGL = false;
    p.targetFps = 20;
    p.displayGain = 1.0;
    p.legacyDisplay = true;
    p.showPauseButton = p.legacyModifiers = p.capturePlayback = p.previewOnly = false;
    p.showContextButton = true;
    p.borderlessWindow = p.pinOnTop = false;
    p.hostIsAbletonLive = false;
    p.recordDurationSeconds = 30;
    p.pendingRecordDuration = -1;
}

const std::set<int> plainTicks { 32, 16, 36, 9, 2 };   // stereo, 20 fps, unity, 30 seconds, Carbon

std::set<int> plainTicksWith (std::initializer_list<int> more, std::initializer_list<int> less = {})
{
    auto ticks = plainTicks;

    for (const int id : less)
        ticks.erase (id);

    ticks.insert (more);
    return ticks;
}

//==============================================================================
/** The standalone window as the menu sees it, recording what it is asked to do. */
class FakeShell final : public varrow::StandaloneShell
{
public:
    bool hasWindow (juce::Component& v) override            { lastView = &v; return window; }
    int titleBarHeight (juce::Component& v) override         { lastView = &v; return height; }
    void setTitleBarHeight (juce::Component& v, int h) override
    {
        lastView = &v;
        height = h;
        calls.add ("title bar " + juce::String (h));
    }
    void showAudioSettings (juce::Component& v) override    { lastView = &v; calls.add ("audio settings"); }
    void saveState (juce::Component& v) override            { lastView = &v; calls.add ("save state"); }
    void quit() override                                     { calls.add ("quit"); }

    bool window = true;
    int height = 27;
    juce::StringArray calls;
    juce::Component* lastView = nullptr;
};

/** Finds and opens the manual as the test says. */
class FakeManual final : public ManualOpener
{
public:
    juce::File findPage() const override   { return page; }

    void open (const juce::File& file, std::function<void (const juce::String&)> onFailed) override
    {
        opened.add (file.getFullPathName());

        if (failure.isNotEmpty())
            onFailed (failure);
    }

    juce::File page;
    juce::String failure;
    juce::StringArray opened;
};

juce::MemoryBlock preferencesBytes()
{
    juce::MemoryBlock bytes;
    preferencesFile().loadFileAsData (bytes);
    return bytes;
}

//==============================================================================
/** The plug-in's (or the standalone program's) view with the settings menu reached through it. */
class SettingsMenuView : public ViewFixture
{
protected:
    explicit SettingsMenuView (bool isStandalone = false) : ViewFixture (isStandalone) {}

    void SetUp() override
    {
        ViewFixture::SetUp();
        view->setStandaloneShell (shell);
        auto opener = std::make_unique<FakeManual>();
        manual = opener.get();
        (*p)->manualOpener = std::move (opener);
        window.addAndMakeVisible (*view);   // the view's top-level component
    }

    void TearDown() override
    {
        window.removeChildComponent (view.get());
    }

    std::string openMenu()
    {
        const auto before = menus.shown.size();
        view->showContextMenu();
        EXPECT_EQ (menus.shown.size(), before + 1);
        EXPECT_TRUE (! menus.shown.empty() && menus.shown.back() == varrow::MenuPresenter::Menu::settings);
        return describe (menus.lastMenu);
    }

    /** Opens the menu and picks the item, as the user would. */
    void choose (int id)
    {
        openMenu();
        ASSERT_TRUE (menus.choose != nullptr);
        menus.choose (id);
    }

    Processor& proc()   { return **p; }
    std::vector<ShownMessage>& messages()   { return *p->messages; }

    FakeShell shell;
    FakeManual* manual = nullptr;
    juce::Component window;
};

class SettingsMenuStandalone : public SettingsMenuView
{
protected:
    SettingsMenuStandalone() : SettingsMenuView (true) {}
};

} // namespace

//==============================================================================
TEST_F (SettingsMenuView, ThePlugInMenuListsEveryOptionWithTheLiveStateTicked)
{
    struct Case
    {
        const char* what;
        std::function<void (Processor&)> set;
        std::set<int> ticked;
        juce::String gainText = "0";
        int theme = 1;
    };

    const auto flag = [] (bool Processor::*member, bool value) { return [member, value] (Processor& x) { x.*member = value; }; };

    const Case cases[] {
        { "plain", [] (Processor&) {}, plainTicks },
        { "mono left", [] (Processor& x) { x.channelMode = 1; }, plainTicksWith ({ 33 }, { 32 }) },
        { "mono right", [] (Processor& x) { x.channelMode = 2; }, plainTicksWith ({ 34 }, { 32 }) },
        { "24-bit", flag (&Processor::save24Bit, true), plainTicksWith ({ 43 }) },
        { "BPM in the name", flag (&Processor::appendBpm, true), plainTicksWith ({ 15 }) },
        { "trimming", flag (&Processor::trimSilence, true), plainTicksWith ({ 28 }) },
        { "OpenGL", flag (&Processor::useOpenGL, true), plainTicksWith ({ 20 }) },
        { "symmetrical", flag (&Processor::legacyDisplay, false), plainTicksWith ({ 29 }) },
        { "pause button", flag (&Processor::showPauseButton, true), plainTicksWith ({ 45 }) },
        { "legacy keys", flag (&Processor::legacyModifiers, true), plainTicksWith ({ 47 }) },
        { "capture playback", flag (&Processor::capturePlayback, true), plainTicksWith ({ 31 }) },
        { "muted", flag (&Processor::previewOnly, true), plainTicksWith ({ 40 }) },
        { "60 fps", [] (Processor& x) { x.targetFps = 60; }, plainTicksWith ({ 18 }, { 16 }) },
        { "30 fps", [] (Processor& x) { x.targetFps = 30; }, plainTicksWith ({ 17 }, { 16 }) },
        { "15 fps", [] (Processor& x) { x.targetFps = 15; }, plainTicksWith ({ 48 }, { 16 }) },
        { "10 fps", [] (Processor& x) { x.targetFps = 10; }, plainTicksWith ({ 49 }, { 16 }) },
        { "5 fps", [] (Processor& x) { x.targetFps = 5; }, plainTicksWith ({ 50 }, { 16 }) },
        { "25 fps, not offered", [] (Processor& x) { x.targetFps = 25; }, plainTicksWith ({}, { 16 }) },
        { "+6 dB", [] (Processor& x) { x.displayGain = 1.9952623149688797; }, plainTicksWith ({ 35 }, { 36 }), "6" },
        { "-6 dB", [] (Processor& x) { x.displayGain = 0.5011872336272722; }, plainTicksWith ({ 37 }, { 36 }), "-6" },
        { "-12 dB", [] (Processor& x) { x.displayGain = 0.251188643150958; }, plainTicksWith ({ 38 }, { 36 }), "-12" },
        { "just within unity", [] (Processor& x) { x.displayGain = 1.0009; }, plainTicks, "0.00781378" },
        { "just outside unity", [] (Processor& x) { x.displayGain = 1.0011; }, plainTicksWith ({}, { 36 }), "0.00954923" },
        { "just within -6 dB", [] (Processor& x) { x.displayGain = 0.5011872336272722 - 0.0009; }, plainTicksWith ({ 37 }, { 36 }), "-6.01561" },
        { "just outside +6 dB", [] (Processor& x) { x.displayGain = 1.9952623149688797 + 0.0011; }, plainTicksWith ({}, { 36 }), "6.00479" },
        { "a gain of a half", [] (Processor& x) { x.displayGain = 0.5; }, plainTicksWith ({}, { 36 }), "-6.0206" },
        { "a gain of 2", [] (Processor& x) { x.displayGain = 2.0; }, plainTicksWith ({}, { 36 }), "6.0206" },
        { "-20 dB", [] (Processor& x) { x.displayGain = 0.1; }, plainTicksWith ({}, { 36 }), "-20" },
        { "-140 dB", [] (Processor& x) { x.displayGain = 1.0e-7; }, plainTicksWith ({}, { 36 }), "-140" },
        { "silence", [] (Processor& x) { x.displayGain = 0.0; }, plainTicksWith ({}, { 36 }), "-150" },
        { "below the floor", [] (Processor& x) { x.displayGain = 1.0e-9; }, plainTicksWith ({}, { 36 }), "-150" },
        { "just below 2^-25", [] (Processor& x) { x.displayGain = std::ldexp (1.0, -26); }, plainTicksWith ({}, { 36 }), "-150" },
        { "Rainbow", [] (Processor&) {}, plainTicksWith ({ 3 }, { 2 }), "0", 2 },
        { "Bright", [] (Processor&) {}, plainTicksWith ({ 4 }, { 2 }), "0", 3 },
        { "Vintage", [] (Processor&) {}, plainTicksWith ({ 30 }, { 2 }), "0", 4 },
        { "Lemon", [] (Processor&) {}, plainTicksWith ({ 41 }, { 2 }), "0", 5 },
        { "15 seconds", [] (Processor& x) { x.recordDurationSeconds = 15; }, plainTicksWith ({ 22 }, { 9 }) },
        { "45 seconds", [] (Processor& x) { x.recordDurationSeconds = 45; }, plainTicksWith ({ 10 }, { 9 }) },
        { "1 minute", [] (Processor& x) { x.recordDurationSeconds = 60; }, plainTicksWith ({ 11 }, { 9 }) },
        { "90 seconds", [] (Processor& x) { x.recordDurationSeconds = 90; }, plainTicksWith ({ 12 }, { 9 }) },
        { "2 minutes", [] (Processor& x) { x.recordDurationSeconds = 120; }, plainTicksWith ({ 13 }, { 9 }) },
        { "4 minutes", [] (Processor& x) { x.recordDurationSeconds = 240; }, plainTicksWith ({ 21 }, { 9 }) },
        { "10 minutes", [] (Processor& x) { x.recordDurationSeconds = 600; }, plainTicksWith ({ 27 }, { 9 }) },
        { "45 seconds asked for", [] (Processor& x) { x.pendingRecordDuration = 45; }, plainTicksWith ({ 10 }, { 9 }) },
        { "10 minutes asked for over 15 seconds",
          [] (Processor& x) { x.recordDurationSeconds = 15; x.pendingRecordDuration = 600; }, plainTicksWith ({ 27 }, { 9 }) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        setPlainState (proc());
        c.set (proc());
        view->selectTheme (c.theme);

        Shape expected;
        expected.ticked = c.ticked;
        expected.gainText = c.gainText;
        EXPECT_EQ (openMenu(), expectedMenu (expected));
    }
}

TEST_F (SettingsMenuView, EntriesComeAndGoWithTheirConditions)
{
    struct Case
    {
        const char* what;
        bool pathSet, live, settingsButtonHidden;
    };

    for (const auto c : { Case { "no recording folder", false, false, false },
                          Case { "in Ableton Live", true, true, false },
                          Case { "settings button hidden", true, false, true },
                          Case { "all at once", false, true, true } })
    {
        SCOPED_TRACE (c.what);
        setPlainState (proc());
        proc().recordingPathSet = c.pathSet;
        proc().hostIsAbletonLive = c.live;
        proc().snapFileLength = c.live;
        proc().showContextButton = ! c.settingsButtonHidden;
        view->selectTheme (1);

        Shape expected;
        expected.pathSet = c.pathSet;
        expected.live = c.live;
        expected.settingsButtonHidden = c.settingsButtonHidden;
        expected.ticked = plainTicksWith ({ 44 });
        EXPECT_EQ (openMenu(), expectedMenu (expected));
    }
}

TEST_F (SettingsMenuView, OpeningTwiceShowsTheSameMenu)
{
    setPlainState (proc());
    proc().recordingPathSet = false;
    proc().showContextButton = false;

    const auto first = openMenu();
    EXPECT_EQ (openMenu(), first);

    Shape expected;
    expected.pathSet = false;
    expected.settingsButtonHidden = true;
    expected.ticked = plainTicks;
    EXPECT_EQ (first, expectedMenu (expected));
}

TEST_F (SettingsMenuStandalone, TheStandaloneMenuHasItsWindowEntriesAndNoCapturePlayback)
{
    setPlainState (proc());
    Shape expected;
    expected.standalone = true;
    expected.ticked = plainTicks;
    EXPECT_EQ (openMenu(), expectedMenu (expected));
    EXPECT_EQ (openMenu(), expectedMenu (expected));

    proc().borderlessWindow = true;
    proc().pinOnTop = true;
    proc().recordingPathSet = false;
    expected.ticked = plainTicksWith ({ 24, 26 });
    expected.pathSet = false;
    EXPECT_EQ (openMenu(), expectedMenu (expected));

    proc().borderlessWindow = false;
    expected.ticked = plainTicksWith ({ 26 });
    EXPECT_EQ (openMenu(), expectedMenu (expected));
}

//==============================================================================
TEST_F (SettingsMenuView, FlagsAreFlippedAndStoredAtOnce)
{
    struct Case
    {
        int id;
        bool Processor::*member;
        const char* key;
    };

    const Case cases[] { { 15, &Processor::appendBpm, "Append BPM" },
                         { 28, &Processor::trimSilence, "Trim Silence" },
                         { 29, &Processor::legacyDisplay, "Legacy Display" },
                         { 31, &Processor::capturePlayback, "Capture Playback" },
                         { 43, &Processor::save24Bit, "24 bit" },
                         { 44, &Processor::snapFileLength, "Snap File Length" },
                         { 45, &Processor::showPauseButton, "Pause Button" },
                         { 46, &Processor::showContextButton, "Context Button" },
                         { 47, &Processor::legacyModifiers, "Legacy Modifiers" },
                         { 26, &Processor::pinOnTop, "Pin" } };

    for (const auto& c : cases)
    {
        for (const bool start : { false, true })
        {
            SCOPED_TRACE (testing::Message() << "Id " << c.id << " from " << start);
            setPlainState (proc());
            proc().hostIsAbletonLive = true;
            proc().*c.member = start;
            messages().clear();

            choose (c.id);

            EXPECT_EQ (proc().*c.member, ! start);
            EXPECT_EQ (storedPreference (c.key), start ? "0" : "1");
            EXPECT_TRUE (messages().empty());
            EXPECT_EQ ((*ProcessorUnderTest()).*c.member, ! start);   // as later instances read it
        }
    }
}

TEST_F (SettingsMenuView, ComponentsFollowTheirSettings)
{
    pauseButton.setVisible (false);
    settingsButton.setVisible (true);
    setPlainState (proc());

    choose (45);
    EXPECT_TRUE (pauseButton.isVisible());
    choose (45);
    EXPECT_FALSE (pauseButton.isVisible());

    // Hidden through its own menu, the settings button comes back from the settings menu,
    // which offers it no more once it is back.
    view->showHideContextButtonMenu();
    menus.choose (1);
    ASSERT_FALSE (settingsButton.isVisible());
    choose (46);
    EXPECT_TRUE (settingsButton.isVisible());
    EXPECT_TRUE (proc().showContextButton);
    EXPECT_EQ (storedPreference ("Context Button"), "1");
    Shape expected;
    expected.ticked = plainTicks;
    EXPECT_EQ (openMenu(), expectedMenu (expected));

    ASSERT_FALSE (window.isAlwaysOnTop());
    choose (26);
    EXPECT_TRUE (window.isAlwaysOnTop());
    EXPECT_TRUE (proc().pinOnTop);
    choose (26);
    EXPECT_FALSE (window.isAlwaysOnTop());
    EXPECT_FALSE (proc().pinOnTop);
}

TEST_F (SettingsMenuView, LegacyKeysBringTheHiddenSettingsButtonBack)
{
    struct Case { bool legacyBefore, buttonShown; };

    for (const auto c : { Case { false, false }, Case { true, false }, Case { false, true }, Case { true, true } })
    {
        SCOPED_TRACE (testing::Message() << "legacy keys " << c.legacyBefore << ", button shown " << c.buttonShown);
        setPlainState (proc());
        proc().legacyModifiers = c.legacyBefore;
        proc().showContextButton = c.buttonShown;
        settingsButton.setVisible (c.buttonShown);
        writePreferences ({ { "Recording Path", recordingFolder() }, { "Context Button", c.buttonShown ? "1" : "0" } });

        choose (47);

        EXPECT_EQ (proc().legacyModifiers, ! c.legacyBefore);
        EXPECT_EQ (storedPreference ("Legacy Modifiers"), c.legacyBefore ? "0" : "1");
        EXPECT_TRUE (proc().showContextButton);
        EXPECT_TRUE (settingsButton.isVisible());
        EXPECT_EQ (storedPreference ("Context Button"), "1");
    }
}

TEST_F (SettingsMenuView, ThemesBecomeCurrentAreStoredAndRepaint)
{
    struct Case { int id, number; const char* name; };
    int repaints = 0;
    view->onThemeChanged = [&repaints] { ++repaints; };

    for (const auto c : { Case { 3, 2, "Rainbow" }, Case { 4, 3, "Bright" }, Case { 30, 4, "Vintage" },
                          Case { 41, 5, "Lemon" }, Case { 2, 1, "Carbon" } })
    {
        SCOPED_TRACE (c.name);
        repaints = 0;

        choose (c.id);

        EXPECT_STREQ (view->getTheme().name, c.name);
        EXPECT_EQ (storedPreference ("Selected Theme"), juce::String (c.number));
        EXPECT_EQ (repaints, 1);
        EXPECT_TRUE (messages().empty());
    }

    view->onThemeChanged = nullptr;   // none installed: still chosen
    choose (30);
    EXPECT_STREQ (view->getTheme().name, "Vintage");
}

TEST_F (SettingsMenuView, FrameRatesAreSetAndStored)
{
    struct Case { int id, fps; };

    for (const auto c : { Case { 18, 60 }, Case { 17, 30 }, Case { 16, 20 }, Case { 48, 15 }, Case { 49, 10 }, Case { 50, 5 } })
    {
        SCOPED_TRACE (c.fps);
        proc().targetFps = c.fps == 60 ? 5 : 60;

        choose (c.id);

        EXPECT_EQ (proc().targetFps, c.fps);
        EXPECT_EQ (storedPreference ("Target FPS"), juce::String (c.fps));
        EXPECT_TRUE (messages().empty());
    }
}

TEST_F (SettingsMenuView, InstanceSettingsAreNotPreferences)
{
    struct Case
    {
        int id;
        std::function<void (Processor&)> check;
    };

    const auto gain = [] (double expected) { return [expected] (Processor& x) { EXPECT_NEAR (x.displayGain, expected, 1.0e-12); }; };
    const auto channels = [] (int expected) { return [expected] (Processor& x) { EXPECT_EQ (x.channelMode, expected); }; };

    const Case cases[] { { 33, channels (1) }, { 34, channels (2) }, { 32, channels (0) },
                         { 35, gain (1.9952623149688797) }, { 37, gain (0.5011872336272722) },
                         { 38, gain (0.251188643150958) }, { 36, gain (1.0) } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.id);
        proc().channelMode = 2;   // neither the first case's nor the last's
        proc().displayGain = 0.7;
        const auto before = preferencesBytes();

        choose (c.id);

        c.check (proc());
        EXPECT_TRUE (preferencesBytes() == before);
        EXPECT_TRUE (messages().empty());
    }
}

TEST_F (SettingsMenuView, TheDefaultGainIsStoredAndToldWithTwoDecimals)
{
    struct Case { double gain; const char* shown; };

    for (const auto c : { Case { 1.0, "0.00" }, Case { 0.5011872336272722, "-6.00" }, Case { 0.5, "-6.02" },
                          Case { 1.9952623149688797, "6.00" }, Case { 0.0, "-150.00" }, Case { 1.0e-9, "-150.00" } })
    {
        SCOPED_TRACE (c.gain);
        proc().displayGain = c.gain;
        messages().clear();

        choose (39);

        EXPECT_NEAR (storedPreference ("Display Gain").getDoubleValue(), c.gain, 1.0e-12);
        ASSERT_EQ (messages().size(), 1u);
        EXPECT_TRUE (isMessage (messages().front(), Icon::InfoIcon, "Display Gain - Success",
                                juce::String ("Default display gain has successfully been set to: ") + c.shown + "dBs."));
        EXPECT_EQ (proc().displayGain, c.gain);
    }
}

TEST_F (SettingsMenuView, OpenGLIsStoredAndToldForTheNextOpening)
{
    for (const bool now : { true, false })
    {
        SCOPED_TRACE (now);
        messages().clear();

        choose (20);

        EXPECT_EQ (proc().useOpenGL, now);
        EXPECT_EQ (storedPreference ("OpenGL"), now ? "1" : "0");
        ASSERT_EQ (messages().size(), 1u);
        EXPECT_TRUE (isMessage (messages().front(), Icon::InfoIcon, "OpenGL - Success",
                                juce::String ("OpenGL has been turned ") + (now ? "on. " : "off. ")
                                    + "Quorvel has to be closed and re-opened for the changes to take effect."));
    }
}

TEST_F (SettingsMenuView, SetRecordingPathAsksForTheFolder)
{
    proc().recordingPathSet = false;
    choose (1);

    ASSERT_EQ (messages().size(), 1u);
    EXPECT_EQ (messages().front().title, "Set Recording Directory");
}

TEST_F (SettingsMenuView, MuteOutputRampsTheOutputToSilenceAndBack)
{
    const auto block = [this]
    {
        auto b = makeBlock (2, 512, [] (int, int) { return 0.5f; });
        processBlock (proc(), b);
        return b;
    };

    ASSERT_EQ (block().getSample (1, 511), 0.5f);
    const auto before = preferencesBytes();

    choose (40);
    EXPECT_TRUE (proc().previewOnly);

    auto first = block();
    EXPECT_GT (first.getSample (0, 0), 0.45f);   // a ramp, not a jump
    EXPECT_LT (first.getSample (0, 511), first.getSample (0, 0));

    for (int b = 0; b < 200; ++b)
        block();

    auto muted = block();
    EXPECT_EQ (muted.getMagnitude (0, 512), 0.0f);
    EXPECT_EQ (muted.getMagnitude (1, 0, 512), 0.0f);

    choose (40);
    EXPECT_FALSE (proc().previewOnly);

    first = block();
    EXPECT_LT (first.getSample (1, 0), 0.05f);
    EXPECT_GT (first.getSample (1, 511), first.getSample (1, 0));

    for (int b = 0; b < 200; ++b)
        block();

    auto restored = block();
    EXPECT_EQ (restored.getSample (0, 0), 0.5f);
    EXPECT_EQ (restored.getSample (1, 511), 0.5f);
    EXPECT_TRUE (preferencesBytes() == before);
    EXPECT_TRUE (messages().empty());
}

TEST_F (SettingsMenuView, DurationsReachTheAudioThread)
{
    struct Case { int id, seconds; };

    setPlainState (proc());

    for (const auto c : { Case { 22, 15 }, Case { 10, 45 }, Case { 11, 60 }, Case { 12, 90 }, Case { 13, 120 },
                          Case { 21, 240 }, Case { 27, 600 }, Case { 9, 30 } })
    {
        SCOPED_TRACE (c.seconds);
        const int before = proc().recordDurationSeconds;

        choose (c.id);
        EXPECT_EQ (proc().recordDurationSeconds.load(), before);   // until the next block

        Shape expected;   // ticked while asked for
        expected.ticked = plainTicksWith ({ c.id }, { 9 });
        EXPECT_EQ (openMenu(), expectedMenu (expected));

        runAudio (1);

        EXPECT_EQ (proc().recordDurationSeconds.load(), c.seconds);
        ASSERT_NE (proc().captureBuffer, nullptr);
        EXPECT_EQ (proc().captureBuffer->capacity, 48000 * c.seconds);
        EXPECT_TRUE (messages().empty());
    }
}

TEST_F (SettingsMenuView, ADurationWithoutMemoryKeepsTheCaptureAndSaysSo)
{
    runAudio (4);
    const auto* ring = proc().captureBuffer.get();
    proc().beforeRingAllocation = [] (int) { throw std::bad_alloc(); };

    choose (27);

    ASSERT_EQ (messages().size(), 1u);
    EXPECT_TRUE (isMessage (messages().front(), Icon::InfoIcon, "Recording Duration - Error",
                            "Quorvel could not get the memory for a recording of 600 seconds; it keeps recording 30 seconds."));
    EXPECT_EQ (proc().pendingRecordDuration.load(), -1);

    runAudio (1);
    EXPECT_EQ (proc().captureBuffer.get(), ring);   // the recorded audio is still there
    EXPECT_EQ (proc().recordDurationSeconds.load(), 30);
}

TEST_F (SettingsMenuView, TheTickedDurationIsStoredAsTheDefault)
{
    const auto toldSet = [this] (const char* seconds)
    {
        ASSERT_EQ (messages().size(), 1u);
        EXPECT_TRUE (isMessage (messages().front(), Icon::InfoIcon, "Recording Duration - Success",
                                juce::String ("Default recording duration has successfully been set to: ") + seconds + " seconds."));
        messages().clear();
    };

    choose (14);
    EXPECT_EQ (storedPreference ("Record Duration"), "30");
    toldSet ("30");

    choose (10);   // asked for, not yet applied: it is the ticked one
    choose (14);
    EXPECT_EQ (storedPreference ("Record Duration"), "45");
    toldSet ("45");

    runAudio (1);
    choose (14);
    EXPECT_EQ (storedPreference ("Record Duration"), "45");
    toldSet ("45");
}

TEST_F (SettingsMenuView, TheManualIsOpenedOrTheUserToldWhy)
{
    const auto page = juce::File (recordingFolder()).getParentDirectory().getChildFile ("manual.html");

    // Not installed: nothing to open.
    manual->page = page;
    choose (42);
    EXPECT_TRUE (manual->opened.isEmpty());
    ASSERT_EQ (messages().size(), 1u);
    EXPECT_EQ (messages().front().icon, Icon::InfoIcon);
    EXPECT_EQ (messages().front().title, "Online Manual - Error");
    messages().clear();

    // Opened.
    ASSERT_TRUE (page.replaceWithText ("<html></html>"));
    choose (42);
    EXPECT_EQ (manual->opened, juce::StringArray (page.getFullPathName()));
    EXPECT_TRUE (messages().empty());

    // The browser could not be started.
    manual->failure = "xdg-open was not found";
    choose (42);
    EXPECT_EQ (manual->opened.size(), 2);
    ASSERT_EQ (messages().size(), 1u);
    EXPECT_EQ (messages().front().icon, Icon::InfoIcon);
    EXPECT_EQ (messages().front().title, "Online Manual - Error");
    EXPECT_TRUE (messages().front().text.contains ("xdg-open was not found")) << messages().front().text;
}

TEST_F (SettingsMenuView, UnknownIdsAndDismissingDoNothing)
{
    setPlainState (proc());
    pauseButton.setVisible (false);
    settingsButton.setVisible (true);
    proc().savePreference ("Selected Theme", 1);
    const auto bytes = preferencesBytes();
    const auto menuBefore = openMenu();

    for (const int id : { 0, -1, 5, 6, 7, 8, 19, 51, 99, 1000, -2 })
    {
        SCOPED_TRACE (id);
        choose (id);

        EXPECT_TRUE (preferencesBytes() == bytes);
        EXPECT_TRUE (messages().empty());
        EXPECT_TRUE (shell.calls.isEmpty());
        EXPECT_TRUE (manual->opened.isEmpty());
        EXPECT_EQ (openMenu(), menuBefore);   // every setting it shows is as it was
        EXPECT_EQ (proc().pendingRecordDuration.load(), -1);
        EXPECT_FALSE (pauseButton.isVisible());
        EXPECT_TRUE (settingsButton.isVisible());
        EXPECT_FALSE (window.isAlwaysOnTop());
    }
}

//==============================================================================
TEST_F (SettingsMenuStandalone, BorderlessSwitchesTheTitleBarByTheWindowsState)
{
    struct Case
    {
        const char* what;
        int heightBefore;
        bool flagBefore;
        const char* call;
        const char* text;
    };

    const Case cases[] {
        { "framed: goes borderless", 27, false, "title bar 0",
          "Borderless Window has been turned on. \nYou can move the window by holding ctrl/command + alt and dragging it." },
        { "borderless: gets its bar back", 0, true, "title bar 27", "Borderless Window has been turned off. " },
        { "the window wins over the flag", 0, false, "title bar 27",
          "Borderless Window has been turned on. \nYou can move the window by holding ctrl/command + alt and dragging it." },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        shell.height = c.heightBefore;
        shell.calls.clear();
        proc().borderlessWindow = c.flagBefore;
        messages().clear();

        choose (24);

        EXPECT_EQ (shell.calls, juce::StringArray (c.call));
        EXPECT_EQ (shell.lastView, view.get());
        EXPECT_EQ (proc().borderlessWindow, ! c.flagBefore);
        EXPECT_EQ (storedPreference ("Borderless Window"), c.flagBefore ? "0" : "1");
        ASSERT_EQ (messages().size(), 1u);
        EXPECT_TRUE (isMessage (messages().front(), Icon::InfoIcon, "Borderless Window - Success", c.text));
    }
}

TEST_F (SettingsMenuStandalone, WithoutAWindowBorderlessDoesNothingAtAll)
{
    shell.window = false;
    const auto bytes = preferencesBytes();

    choose (24);

    EXPECT_TRUE (shell.calls.isEmpty());
    EXPECT_FALSE (proc().borderlessWindow);
    EXPECT_TRUE (preferencesBytes() == bytes);
    EXPECT_TRUE (messages().empty());
}

TEST_F (SettingsMenuStandalone, QuitSavesTheStateWhenThereIsAWindow)
{
    choose (25);
    EXPECT_EQ (shell.calls, juce::StringArray ("save state", "quit"));
    EXPECT_EQ (shell.lastView, view.get());

    shell.calls.clear();
    shell.window = false;
    choose (25);
    EXPECT_EQ (shell.calls, juce::StringArray ("quit"));
    EXPECT_TRUE (messages().empty());
}

TEST_F (SettingsMenuStandalone, AudioSettingsOpensTheDevicesDialog)
{
    choose (23);
    EXPECT_EQ (shell.calls, juce::StringArray ("audio settings"));
    EXPECT_EQ (shell.lastView, view.get());
    EXPECT_TRUE (messages().empty());
}

//==============================================================================
namespace
{

/** Collects what is asked to be repainted in the editor and its children, as the window's
    peer would before its next paint. */
class RepaintRecorder final : public juce::CachedComponentImage
{
public:
    explicit RepaintRecorder (juce::Component& c) : component (c) {}

    void paint (juce::Graphics&) override {}
    bool invalidateAll() override                          { region.add (component.getLocalBounds()); return true; }
    bool invalidate (const juce::Rectangle<int>& r) override { region.add (r); return true; }
    void releaseResources() override {}

    juce::Component& component;
    juce::RectangleList<int> region;
};

/** A real editor on the desktop over a processor with some audio recorded. */
class SettingsMenuInEditor : public ::testing::Test
{
protected:
    void SetUp() override   { clearHome(); }

    void open (std::map<juce::String, juce::String> preferences = {}, bool standalone = false)
    {
        preferences["Recording Path"] = recordingFolder();
        preferences.emplace ("OpenGL", "0");
        preferences["Display Width"] = "1000";
        preferences["Display Height"] = "89";
        writePreferences (preferences);

        p = std::make_unique<ProcessorUnderTest> (standalone);
        (**p).prepareToPlay (48000.0, 512);

        for (int b = 0; b < 300; ++b)
        {
            auto block = makeBlock (2, 512, [b] (int c, int i) { return (0.3f + 0.2f * (float) c) * std::sin ((float) (b * 512 + i) * 0.01f); });
            processBlock (**p, block);
        }

        editor = std::make_unique<AudioPluginAudioProcessorEditor> (**p);
        auto& view = editor->testComponent;
        view.setClock (clock);
        view.setPointerSource (pointer);
        view.setMenuPresenter (menus);
        pointer.position = { -100, -100 };   // away from the view
        editor->addToDesktop (0);
        editor->setVisible (true);
        ASSERT_TRUE (editor->isShowing());
    }

    void TearDown() override
    {
        if (editor != nullptr)
            editor->removeFromDesktop();

        editor.reset();
        p.reset();
    }

    void tick()
    {
        clock.wallMs += 16;
        clock.steadyMs += 16;
        editor->timerCallback();
    }

    void choose (int id)
    {
        editor->testComponent.showContextMenu();
        ASSERT_TRUE (menus.choose != nullptr);
        menus.choose (id);
    }

    std::unique_ptr<ProcessorUnderTest> p;
    std::unique_ptr<AudioPluginAudioProcessorEditor> editor;
    FakeClock clock;
    FakePointer pointer;
    FakeMenus menus;
};

juce::Image blankImage()   { return { juce::Image::ARGB, 1000, 89, true }; }

/** Paints what was asked to be repainted over the previous picture, as the window would. */
void paintRegion (juce::Component& editor, juce::Image& picture, const juce::RectangleList<int>& region)
{
    if (region.isEmpty())
        return;

    juce::Graphics g (picture);
    g.reduceClipRegion (region);
    editor.paintEntireComponent (g, true);
}

void invalidateCachedImages (juce::Component& c)
{
    if (auto* cache = c.getCachedComponentImage())
        cache->invalidateAll();

    for (auto* child : c.getChildren())
        invalidateCachedImages (*child);
}

/** The editor painted from scratch: no image kept from an earlier paint. */
juce::Image freshPicture (juce::Component& editor)
{
    for (auto* child : editor.getChildren())
        invalidateCachedImages (*child);

    auto picture = blankImage();
    juce::Graphics g (picture);
    editor.paintEntireComponent (g, true);
    return picture;
}

/** The first pixel where two pictures differ, or "" when they are equal. The framework's
    renderer may shade an antialiased edge that crosses the border of a repainted rectangle a
    level or two differently from an unclipped paint, so on the inner border of `repainted` a
    pixel may be that far off. */
std::string firstDifference (const juce::Image& a, const juce::Image& b, const std::vector<juce::Rectangle<int>>& repainted = {})
{
    const auto onBorder = [&repainted] (int x, int y)
    {
        for (const auto& r : repainted)
            if (r.contains (x, y) && ! r.reduced (1).contains (x, y))
                return true;

        return false;
    };

    const auto close = [] (juce::Colour p, juce::Colour q)
    {
        return std::abs (p.getAlpha() - q.getAlpha()) <= 2 && std::abs (p.getRed() - q.getRed()) <= 2
            && std::abs (p.getGreen() - q.getGreen()) <= 2 && std::abs (p.getBlue() - q.getBlue()) <= 2;
    };

    for (int y = 0; y < a.getHeight(); ++y)
    {
        for (int x = 0; x < a.getWidth(); ++x)
        {
            const auto p = a.getPixelAt (x, y), q = b.getPixelAt (x, y);

            if (p != q && ! (onBorder (x, y) && close (p, q)))
                return std::to_string (x) + "," + std::to_string (y) + ": " + p.toDisplayString (true).toStdString()
                     + " instead of " + q.toDisplayString (true).toStdString();
        }
    }

    return {};
}

/** The view's animations, which step once per paint of the view. */
struct Animations
{
    explicit Animations (varrow::TestComponent& v) : view (v)
    {
        for (int i = 0; i < 3; ++i)
            saved[i] = { smoother (i).current, smoother (i).getTarget() };
    }

    void restore() const
    {
        for (int i = 0; i < 3; ++i)
        {
            smoother (i).current = saved[i].first;
            smoother (i).setTarget (saved[i].second);
        }
    }

    Smoother& smoother (int i) const   { return i == 0 ? view.freezeTint : i == 1 ? view.zoomBand : view.captureHighlight; }

    varrow::TestComponent& view;
    std::pair<double, double> saved[3];
};

} // namespace

TEST_F (SettingsMenuInEditor, AChosenFrameRateIsUsedFromTheNextTicks)
{
    open ({ { "Target FPS", "20" } });
    auto* counter = &countRenders (editor->testComponent.waveformDisplay);

    const auto rendersOver = [&] (int ticks)
    {
        const int before = counter->renders;

        for (int t = 0; t < ticks; ++t)
            tick();

        return counter->renders - before;
    };

    rendersOver (10);
    ASSERT_EQ (rendersOver (52), 13);   // 52 ticks of 16 ms hold 13 periods of 20 fps

    // A frame is due once more than its period has passed: every 2nd tick at 60 fps, every
    // 3rd at 30, 4th at 20, 5th at 15, 7th at 10 and 13th at 5.
    struct Case { int id, ticks, renders; };

    for (const auto c : { Case { 18, 52, 26 }, Case { 50, 52, 4 }, Case { 17, 51, 17 }, Case { 48, 50, 10 },
                          Case { 49, 49, 7 }, Case { 16, 52, 13 } })
    {
        SCOPED_TRACE (c.id);
        choose (c.id);
        rendersOver (13);   // settle onto the new grid
        EXPECT_EQ (rendersOver (c.ticks), c.renders);
    }
}

TEST_F (SettingsMenuInEditor, UseOpenGLLeavesTheOpenEditorAsItIs)
{
    open();
    ASSERT_EQ (editor->openGLContext.getTargetComponent(), nullptr);

    choose (20);

    EXPECT_TRUE ((**p).useOpenGL);
    EXPECT_EQ (editor->openGLContext.getTargetComponent(), nullptr);
    EXPECT_FALSE (editor->openGLContext.isAttached());
}

TEST_F (SettingsMenuInEditor, AfterACommandOneTickLeavesNoStalePicture)
{
    struct Case
    {
        const char* what;
        int id;
        std::map<juce::String, juce::String> preferences;
        std::function<void (Processor&)> set;
        bool changesLook;
    };

    const auto none = [] (Processor&) {};
    const auto gain = [] (double g) { return [g] (Processor& x) { x.displayGain = g; }; };
    const auto takes = [] (Processor& x) { x.takeStart = 0.2; x.takeEnd = 0.6; };

    const Case cases[] {
        { "Carbon", 2, { { "Selected Theme", "3" } }, none, true },
        { "Rainbow", 3, {}, none, true },
        { "Bright", 4, {}, none, true },
        { "Vintage", 30, {}, none, true },
        { "Lemon", 41, {}, none, true },
        { "Asymmetrical Display", 29, {}, none, true },
        { "Asymmetrical Display off", 29, { { "Legacy Display", "0" } }, none, true },
        { "+6db", 35, {}, none, true },
        { "Unity (0db)", 36, {}, gain (0.5), true },
        { "-6db", 37, {}, none, true },
        { "-12db", 38, {}, none, true },
        { "Capture Playback", 31, {}, takes, true },
        { "Capture Playback off", 31, { { "Capture Playback", "1" } }, takes, true },
        { "Show Pause Button", 45, {}, none, true },
        { "Hide Pause Button", 45, { { "Pause Button", "1" } }, none, true },
        { "Show Settings Button", 46, { { "Context Button", "0" } }, none, true },
        { "Mute Output", 40, {}, none, false },   // nothing shows it now
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        open (c.preferences);
        c.set (**p);
        (**p).targetFps = 5;

        auto* recorder = new RepaintRecorder (*editor);
        editor->setCachedComponentImage (recorder);   // takes ownership

        // Shown and ticking for a while, the last tick one that drew the waveform anew.
        auto picture = freshPicture (*editor);
        recorder->region.clear();
        std::vector<juce::Rectangle<int>> repainted;

        for (int t = 0; t < 40 && ! (t > 20 && editor->lastWaveformRepaintMs == clock.now().toMilliseconds()); ++t)
        {
            tick();
            paintRegion (*editor, picture, recorder->region);
            repainted.insert (repainted.end(), recorder->region.begin(), recorder->region.end());
            recorder->region.clear();
        }

        ASSERT_EQ (editor->lastWaveformRepaintMs, clock.now().toMilliseconds());
        const auto settled = freshPicture (*editor);
        ASSERT_EQ (firstDifference (picture, settled, repainted), "");
        picture = settled;
        const auto before = picture.createCopy();

        choose (c.id);
        tick();

        const Animations animations (editor->testComponent);
        paintRegion (*editor, picture, recorder->region);
        animations.restore();
        const auto fresh = freshPicture (*editor);

        EXPECT_EQ (firstDifference (picture, fresh, { recorder->region.begin(), recorder->region.end() }), "");

        if (c.changesLook)   // else the case could not show a stale picture
        {
            EXPECT_NE (firstDifference (before, fresh), "");
        }

        editor->setCachedComponentImage (nullptr);
        TearDown();
    }
}
