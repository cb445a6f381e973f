#include "SettingsMenu.h"
#include "TestComponent.h"
#include "../AudioPluginAudioProcessor.h"
#include "../NumberText.h"

#include <cmath>

namespace varrow
{

namespace
{

struct FrameRate
{
    int id, fps;
};

constexpr FrameRate frameRates[] { { SettingsMenu::fps60, 60 }, { SettingsMenu::fps30, 30 }, { SettingsMenu::fps20, 20 },
                                   { SettingsMenu::fps15, 15 }, { SettingsMenu::fps10, 10 }, { SettingsMenu::fps5, 5 } };

struct DisplayGain
{
    int id;
    const char* text;
    double exponent;   // the gain is e^exponent: 10^(dB / 20)
};

constexpr DisplayGain displayGains[] { { SettingsMenu::gainPlus6dB, "+6db", 0.6907755278982137 },
                                       { SettingsMenu::gainUnity, "Unity (0db)", 0.0 },
                                       { SettingsMenu::gainMinus6dB, "-6db", -0.6907755278982137 },
                                       { SettingsMenu::gainMinus12dB, "-12db", -1.3815510557964275 } };

struct Duration
{
    int id, seconds;
    const char* text;
};

constexpr Duration durations[] { { SettingsMenu::duration15s, 15, "15 seconds" },
                                 { SettingsMenu::duration30s, 30, "30 seconds" },
                                 { SettingsMenu::duration45s, 45, "45 seconds" },
                                 { SettingsMenu::duration60s, 60, "1 minute" },
                                 { SettingsMenu::duration90s, 90, "90 seconds" },
                                 { SettingsMenu::duration120s, 120, "2 minutes" },
                                 { SettingsMenu::duration240s, 240, "4 minutes" },
                                 { SettingsMenu::duration600s, 600, "10 minutes" } };

constexpr int themeIds[] { SettingsMenu::themeCarbon, SettingsMenu::themeRainbow, SettingsMenu::themeBright,
                           SettingsMenu::themeVintage, SettingsMenu::themeLemon };

/** The record duration the menu shows: the one asked for, until the audio thread has taken it. */
int shownDuration (const AudioPluginAudioProcessor& p)
{
    const int pending = p.pendingRecordDuration.load();
    return pending > 0 ? pending : p.recordDurationSeconds.load();
}

juce::PopupMenu formatMenu (const AudioPluginAudioProcessor& p)
{
    juce::PopupMenu menu;
    menu.addSectionHeader ("Channels");
    menu.addSeparator();
    menu.addItem (SettingsMenu::stereo, "Stereo", true, p.channelMode == 0);
    menu.addItem (SettingsMenu::monoLeft, "Mono (Left)", true, p.channelMode == 1);
    menu.addItem (SettingsMenu::monoRight, "Mono (Right)", true, p.channelMode == 2);
    menu.addSectionHeader ("Format");
    menu.addSeparator();
    menu.addItem (SettingsMenu::save24Bit, "Save 24-bit files", true, p.save24Bit);
    return menu;
}

juce::PopupMenu variousMenu (const AudioPluginAudioProcessor& p)
{
    juce::PopupMenu menu;
    menu.addItem (SettingsMenu::addBpmToFilename, "Add BPM to filename", true, p.appendBpm);
    menu.addItem (SettingsMenu::trimSilence, "Automatically Trim Silence", true, p.trimSilence);

    if (p.hostIsAbletonLive)
        menu.addItem (SettingsMenu::preventAutoWarp, "Try to Prevent Auto-Warp", true, p.snapFileLength);

    return menu;
}

juce::PopupMenu performanceMenu (const AudioPluginAudioProcessor& p)
{
    juce::PopupMenu menu;
    menu.addSectionHeader ("Waveform FPS");
    menu.addSeparator();

    for (const auto& rate : frameRates)
        menu.addItem (rate.id, juce::String (rate.fps), true, p.targetFps == rate.fps);

    menu.addSeparator();
    menu.addItem (SettingsMenu::useOpenGL, "Use OpenGL", true, p.useOpenGL);
    return menu;
}

juce::PopupMenu displayGainMenu (const AudioPluginAudioProcessor& p)
{
    juce::PopupMenu menu;

    for (const auto& gain : displayGains)
        menu.addItem (gain.id, gain.text, true, std::abs (p.displayGain - std::exp (gain.exponent)) < 0.001);

    menu.addSeparator();
    menu.addItem (SettingsMenu::setDefaultGain, "Set default gain to: " + SettingsMenu::gainText (p.displayGain) + "db", true, false);
    return menu;
}

juce::PopupMenu visualMenu (const AudioPluginAudioProcessor& p)
{
    juce::PopupMenu menu;
    menu.addItem (SettingsMenu::asymmetricalDisplay, "Asymmetrical Display", true, ! p.legacyDisplay);
    menu.addItem (SettingsMenu::showPauseButton, "Show Pause Button", true, p.showPauseButton);

    if (! p.showContextButton)
        menu.addItem (SettingsMenu::showSettingsButton, "Show Settings Button", true, false);

    return menu;
}

juce::PopupMenu settingsMenu (const AudioPluginAudioProcessor& p)
{
    juce::PopupMenu menu;
    menu.addSectionHeader ("File");
    menu.addSeparator();
    menu.addItem (SettingsMenu::setRecordingPath, "Set Recording Path");
    menu.addSubMenu ("Format", formatMenu (p));
    menu.addSubMenu ("Various", variousMenu (p));
    menu.addSectionHeader ("Display");
    menu.addSeparator();
    menu.addSubMenu ("Performance", performanceMenu (p));
    menu.addSubMenu ("Display Gain", displayGainMenu (p));
    menu.addSubMenu ("Visual", visualMenu (p));

    juce::PopupMenu input;
    input.addItem (SettingsMenu::useLegacyKeys, "Use Legacy Keys", true, p.legacyModifiers);
    menu.addSubMenu ("Input", input);

    menu.addSectionHeader ("Recording");
    menu.addSeparator();

    if (! p.isStandalone)
        menu.addItem (SettingsMenu::capturePlayback, "Capture Playback", true, p.capturePlayback);

    menu.addItem (SettingsMenu::muteOutput, "Mute Output", true, p.previewOnly);
    menu.addSeparator();
    menu.addItem (SettingsMenu::openManual, "Open Online Manual");
    menu.addItem (SettingsMenu::versionLine, "Version: " + juce::String (JucePlugin_VersionString), false, false);
    return menu;
}

juce::PopupMenu durationMenu (const AudioPluginAudioProcessor& p)
{
    juce::PopupMenu menu;
    const int shown = shownDuration (p);

    for (const auto& duration : durations)
        menu.addItem (duration.id, duration.text, true, shown == duration.seconds);

    menu.addSeparator();
    menu.addItem (SettingsMenu::setDefaultDuration, "Set as default");
    return menu;
}

void flip (AudioPluginAudioProcessor& p, bool& flag, const char* key)
{
    flag = ! flag;
    p.savePreference (key, flag);
}

void toggleSettingsButton (const SettingsMenu::Target& t)
{
    t.processor.toggleDisplayContextButton();
    t.settingsButton.setVisible (t.processor.showContextButton);
}

void toggleBorderless (const SettingsMenu::Target& t)
{
    auto& p = t.processor;

    if (! t.shell.hasWindow (t.view))
        return;

    t.shell.setTitleBarHeight (t.view, t.shell.titleBarHeight (t.view) == 0 ? SettingsMenu::titleBarHeight : 0);
    flip (p, p.borderlessWindow, "Borderless Window");
    p.notifyUser ("Borderless Window - Success",
                  juce::String ("Borderless Window has been turned ")
                      + (p.borderlessWindow ? "on. \nYou can move the window by holding ctrl/command + alt and dragging it."
                                            : "off. "));
}

void requestDuration (AudioPluginAudioProcessor& p, int seconds)
{
    try
    {
        p.requestRecordDuration (seconds);
    }
    catch (const std::bad_alloc&)
    {
        p.notifyUser ("Recording Duration - Error",
                      p.productName + " could not get the memory for a recording of " + juce::String (seconds)
                          + " seconds; it keeps recording " + juce::String (shownDuration (p)) + " seconds.");
    }
}

void saveDefaultDuration (AudioPluginAudioProcessor& p)
{
    const int seconds = shownDuration (p);
    p.savePreference ("Record Duration", seconds);
    p.notifyUser ("Recording Duration - Success",
                  "Default recording duration has successfully been set to: " + juce::String (seconds) + " seconds.");
}

} // namespace

//==============================================================================
double SettingsMenu::gainInDb (double gain) noexcept
{
    constexpr double floorDb = -150.0;

    if (! (gain >= std::ldexp (1.0, -25)))
        return floorDb;

    const double dB = std::log (gain) * 8.685889638065037;
    return dB < floorDb ? floorDb : dB;
}

juce::String SettingsMenu::gainText (double gain)
{
    return NumberText::general (gainInDb (gain));
}

juce::Colour SettingsMenu::themeLabelColour (int themeNumber)
{
    const auto& themes = Theme::all();

    switch (Theme::indexForNumber (themeNumber))
    {
        case 1:  return themes[1].accent.toJuceColor();
        case 2:  return juce::Colour ((juce::uint8) 181, (juce::uint8) 36, (juce::uint8) 36).withBrightness (1.5f);
        case 3:  return themes[3].waveform.toJuceColor().withMultipliedBrightness (1.4f);
        case 4:  return juce::Colour (0xffa3db1f);
        default: return themes[0].accent.toJuceColor();
    }
}

int SettingsMenu::themeItemId (int themeNumber) noexcept
{
    return themeIds[Theme::indexForNumber (themeNumber)];
}

int SettingsMenu::durationSecondsFor (int itemId) noexcept
{
    for (const auto& duration : durations)
        if (duration.id == itemId)
            return duration.seconds;

    return 0;
}

juce::PopupMenu SettingsMenu::build (const AudioPluginAudioProcessor& p, int themeNumber)
{
    juce::PopupMenu menu;

    if (! p.recordingPathSet)
        menu.addItem (setRecordingPath, "Set Recording Path");

    if (p.isStandalone)
    {
        menu.addSectionHeader ("Standalone");
        menu.addSeparator();
        menu.addItem (audioSettings, "Audio Settings");

        juce::PopupMenu window;
        window.addItem (borderlessWindow, "Borderless Window", true, p.borderlessWindow);
        window.addItem (pinOnTop, "Pin On Top", true, p.pinOnTop);
        menu.addSubMenu ("Window", window);
    }

    menu.addSectionHeader ("Sampler");
    menu.addSeparator();
    menu.addSubMenu ("Settings", settingsMenu (p));
    menu.addSubMenu ("Duration", durationMenu (p));
    menu.addItem (muteOutput, "Mute Output", true, p.previewOnly);
    menu.addSectionHeader (" Themes ");
    menu.addSeparator();

    const int current = Theme::indexForNumber (themeNumber);

    for (int i = 0; i < Theme::count; ++i)
        menu.addColouredItem (themeIds[i], Theme::all()[(size_t) i].name, themeLabelColour (i + 1), true, i == current);

    if (p.isStandalone)
    {
        menu.addSeparator();
        menu.addItem (quit, "Quit");
    }

    return menu;
}

//==============================================================================
void SettingsMenu::perform (int itemId, const Target& t)
{
    auto& p = t.processor;

    for (int i = 0; i < Theme::count; ++i)
    {
        if (itemId == themeIds[i])
        {
            t.view.selectTheme (i + 1);
            p.saveSelectedTheme (i + 1);

            if (t.view.onThemeChanged)
                t.view.onThemeChanged();

            return;
        }
    }

    for (const auto& rate : frameRates)
    {
        if (itemId == rate.id)
        {
            p.targetFps = rate.fps;
            p.savePreference ("Target FPS", rate.fps);
            return;
        }
    }

    for (const auto& gain : displayGains)
    {
        if (itemId == gain.id)
        {
            p.displayGain = std::exp (gain.exponent);
            return;
        }
    }

    if (const int seconds = durationSecondsFor (itemId); seconds > 0)
    {
        requestDuration (p, seconds);
        return;
    }

    switch (itemId)
    {
        case setRecordingPath:      p.launchRecordPathDialogue(); break;
        case addBpmToFilename:      flip (p, p.appendBpm, "Append BPM"); break;
        case useOpenGL:             p.toggleOpenGL(); break;
        case audioSettings:         t.shell.showAudioSettings (t.view); break;
        case borderlessWindow:      toggleBorderless (t); break;
        case trimSilence:           p.toggleTrimSilence(); break;
        case asymmetricalDisplay:   flip (p, p.legacyDisplay, "Legacy Display"); break;
        case capturePlayback:       flip (p, p.capturePlayback, "Capture Playback"); break;
        case save24Bit:             flip (p, p.save24Bit, "24 bit"); break;
        case preventAutoWarp:       flip (p, p.snapFileLength, "Snap File Length"); break;
        case openManual:            p.openManual(); break;
        case setDefaultDuration:    saveDefaultDuration (p); break;
        case stereo:                p.channelMode = 0; break;
        case monoLeft:              p.channelMode = 1; break;
        case monoRight:             p.channelMode = 2; break;
        case showSettingsButton:    toggleSettingsButton (t); break;

        case quit:
            if (t.shell.hasWindow (t.view))
                t.shell.saveState (t.view);

            t.shell.quit();
            break;

        case pinOnTop:
            if (auto* window = t.view.getTopLevelComponent())
                window->setAlwaysOnTop (! p.pinOnTop);

            flip (p, p.pinOnTop, "Pin");
            break;

        case setDefaultGain:
            p.savePreference ("Display Gain", p.displayGain);
            p.notifyUser ("Display Gain - Success", "Default display gain has successfully been set to: "
                                                        + NumberText::twoDecimals (gainInDb (p.displayGain)) + "dBs.");
            break;

        case muteOutput:
            p.previewOnly = ! p.previewOnly;
            p.outputGain.setTarget (p.previewOnly ? 0.0 : 1.0);
            break;

        case showPauseButton:
            flip (p, p.showPauseButton, "Pause Button");
            t.pauseButton.setVisible (p.showPauseButton);
            break;

        case useLegacyKeys:
            flip (p, p.legacyModifiers, "Legacy Modifiers");

            if (! p.showContextButton)
                toggleSettingsButton (t);

            break;

        default:
            break;
    }
}

} // namespace varrow
