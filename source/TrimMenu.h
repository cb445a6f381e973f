#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class AudioPluginAudioProcessor;

/** The menu a right click on the selection opens: automatic trimming, the silence threshold's
    presets, calibration from the selection and saving the threshold as the default. Built from
    the live state each time it opens; the view shows it and hands the chosen Id to perform(). */
class TrimMenu
{
public:
    enum ItemId
    {
        calibrateFromSelection = 2,
        setDefaultThreshold = 3,
        automaticallyTrimSilence = 4,
        minus100dB = 5,
        minus90dB = 6,
        minus75dB = 7,
        minus60dB = 8,
        minus125dB = 9
    };

    static juce::PopupMenu build (bool trimSilence, double thresholdDb);

    /** Carries out the item with the given Id; any other Id (a dismissed menu) does nothing. */
    static void perform (int itemId, AudioPluginAudioProcessor& processor);

    /** A threshold as the last item prints it: six significant digits, no trailing zeros. */
    static juce::String thresholdText (double thresholdDb);
};
