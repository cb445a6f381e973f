#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_plugin_client/juce_audio_plugin_client.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_extra/juce_gui_extra.h>
#include <juce_audio_plugin_client/Standalone/juce_StandaloneFilterWindow.h>

#include "varrow/StandaloneShell.h"

/** The settings menu's access to the standalone program's window: the framework's standalone
    window that holds the view. Installed for the life of the application. */
class StandaloneWindowShell final : public varrow::StandaloneShell
{
public:
    StandaloneWindowShell();
    ~StandaloneWindowShell() override;

    bool hasWindow (juce::Component& view) override;
    int titleBarHeight (juce::Component& view) override;
    void setTitleBarHeight (juce::Component& view, int height) override;
    void showAudioSettings (juce::Component& view) override;
    void saveState (juce::Component& view) override;
    void quit() override;

    /** Switches a window to a non-native title bar of the given height; the window grows or
        shrinks by the difference so that its content keeps its size. */
    static void setTitleBarHeight (juce::DocumentWindow& window, int height);

private:
    static juce::StandaloneFilterWindow* windowOf (juce::Component& view);
};
