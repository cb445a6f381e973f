#include "TrimMenu.h"
#include "AudioPluginAudioProcessor.h"
#include "NumberText.h"

namespace
{

struct Preset
{
    int id;
    double dB;
    const char* text;
};

constexpr Preset presets[] { { TrimMenu::minus125dB, -125.0, "-125dB" },
                             { TrimMenu::minus100dB, -100.0, "-100dB" },
                             { TrimMenu::minus90dB, -90.0, "-90dB" },
                             { TrimMenu::minus75dB, -75.0, "-75dB" },
                             { TrimMenu::minus60dB, -60.0, "-60dB" } };

} // namespace

juce::String TrimMenu::thresholdText (double thresholdDb)
{
    return NumberText::general (thresholdDb);
}

juce::PopupMenu TrimMenu::build (bool trimSilence, double thresholdDb)
{
    juce::PopupMenu menu;
    menu.addSectionHeader ("Trim");
    menu.addItem (automaticallyTrimSilence, "Automatically Trim Silence", true, trimSilence);
    menu.addSectionHeader ("Silence Threshold");

    for (const auto& preset : presets)
        menu.addItem (preset.id, preset.text, true, thresholdDb == preset.dB);

    menu.addSeparator();
    menu.addItem (calibrateFromSelection, "Calibrate From Selection", true, false);
    menu.addItem (setDefaultThreshold, "Set Default Threshold to: " + thresholdText (thresholdDb) + "dBs", true, false);
    return menu;
}

void TrimMenu::perform (int itemId, AudioPluginAudioProcessor& processor)
{
    for (const auto& preset : presets)
    {
        if (itemId == preset.id)
        {
            processor.setNoiseThreshold (preset.dB, false);
            return;
        }
    }

    switch (itemId)
    {
        case automaticallyTrimSilence:   processor.toggleTrimSilence(); break;
        case calibrateFromSelection:     processor.calibrateFromSelection(); break;
        case setDefaultThreshold:        processor.saveDefaultNoiseThreshold (processor.noiseThresholdDb); break;
        default:                         break;
    }
}
