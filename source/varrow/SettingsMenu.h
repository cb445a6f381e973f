#pragma once

#include "StandaloneShell.h"

#include <juce_gui_basics/juce_gui_basics.h>

class AudioPluginAudioProcessor;

namespace varrow
{

class TestComponent;

/** The settings menu: every option of the program, built from the live state each time it
    opens, and the handler that carries out the chosen item. The view only shows the menu and
    hands the chosen Id to perform(). */
class SettingsMenu
{
public:
    enum ItemId
    {
        versionLine = -1,
        dismissed = 0,
        setRecordingPath = 1,
        themeCarbon = 2,
        themeRainbow = 3,
        themeBright = 4,
        duration30s = 9,
        duration45s = 10,
        duration60s = 11,
        duration90s = 12,
        duration120s = 13,
        setDefaultDuration = 14,
        addBpmToFilename = 15,
        fps20 = 16,
        fps30 = 17,
        fps60 = 18,
        useOpenGL = 20,
        duration240s = 21,
        duration15s = 22,
        audioSettings = 23,
        borderlessWindow = 24,
        quit = 25,
        pinOnTop = 26,
        duration600s = 27,
        trimSilence = 28,
        asymmetricalDisplay = 29,
        themeVintage = 30,
        capturePlayback = 31,
        stereo = 32,
        monoLeft = 33,
        monoRight = 34,
        gainPlus6dB = 35,
        gainUnity = 36,
        gainMinus6dB = 37,
        gainMinus12dB = 38,
        setDefaultGain = 39,
        muteOutput = 40,
        themeLemon = 41,
        openManual = 42,
        save24Bit = 43,
        preventAutoWarp = 44,
        showPauseButton = 45,
        showSettingsButton = 46,
        useLegacyKeys = 47,
        fps15 = 48,
        fps10 = 49,
        fps5 = 50
    };

    /** The menu for the processor's current settings, with `themeNumber` (1 to 5) ticked. */
    static juce::PopupMenu build (const AudioPluginAudioProcessor& processor, int themeNumber);

    /** What the commands change besides the processor. */
    struct Target
    {
        AudioPluginAudioProcessor& processor;
        TestComponent& view;
        juce::Component& pauseButton;
        juce::Component& settingsButton;
        StandaloneShell& shell;
    };

    /** Carries out the item with the given Id; 0 and unknown Ids do nothing. */
    static void perform (int itemId, const Target& target);

    /** A display gain in dB as the menu prints it: ln (gain) x 8.685889638065037, -150 for
        silence, six significant digits. */
    static double gainInDb (double gain) noexcept;
    static juce::String gainText (double gain);

    /** The text colour of a theme's item (theme numbers 1 to 5). */
    static juce::Colour themeLabelColour (int themeNumber);

    /** The item Id of a theme number, and the record duration an Id asks for (0 for none). */
    static int themeItemId (int themeNumber) noexcept;
    static int durationSecondsFor (int itemId) noexcept;

    static constexpr int titleBarHeight = 27;
};

} // namespace varrow
