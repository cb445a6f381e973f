#pragma once

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_plugin_client/juce_audio_plugin_client.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_extra/juce_gui_extra.h>
#include <juce_audio_plugin_client/Standalone/juce_StandaloneFilterWindow.h>

#include "StandaloneWindowShell.h"

namespace juce
{

/** Quorvel's standalone program: the framework's standalone application, with its settings
    file kept beside the preferences in ~/.config/Varrow's/Quorvel/, and the window started
    borderless or pinned on top as the preferences say. */
class StandaloneFilterApp final : public JUCEApplication
{
public:
    StandaloneFilterApp();
    ~StandaloneFilterApp() override;

    const String getApplicationName() override;
    const String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void anotherInstanceStarted (const String&) override;

    /** The framework's window: the plug-in holder with the processor, its audio device and
        the editor, and the "Options" menu in a non-native title bar. */
    StandaloneFilterWindow* createWindow();

    void initialise (const String& commandLine) override;
    void shutdown() override;
    void systemRequestedQuit() override;

private:
    void applyWindowPreferences();
    void reportXRuns() const;

    ApplicationProperties appProperties;
    std::unique_ptr<StandaloneFilterWindow> mainWindow;
    StandaloneWindowShell shell;
};

} // namespace juce
