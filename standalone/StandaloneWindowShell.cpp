#include "StandaloneWindowShell.h"

StandaloneWindowShell::StandaloneWindowShell()
{
    install (this);
}

StandaloneWindowShell::~StandaloneWindowShell()
{
    install (nullptr);
}

juce::StandaloneFilterWindow* StandaloneWindowShell::windowOf (juce::Component& view)
{
    return view.findParentComponentOfClass<juce::StandaloneFilterWindow>();
}

bool StandaloneWindowShell::hasWindow (juce::Component& view)
{
    return windowOf (view) != nullptr;
}

int StandaloneWindowShell::titleBarHeight (juce::Component& view)
{
    if (auto* window = windowOf (view))
        return window->getTitleBarHeight();

    return 0;
}

void StandaloneWindowShell::setTitleBarHeight (juce::Component& view, int height)
{
    if (auto* window = windowOf (view))
        setTitleBarHeight (*window, height);
}

void StandaloneWindowShell::setTitleBarHeight (juce::DocumentWindow& window, int height)
{
    const int change = height - window.getTitleBarHeight();
    window.setUsingNativeTitleBar (false);
    window.setTitleBarHeight (height);
    window.setBounds (window.getBounds().withHeight (window.getHeight() + change));
}

void StandaloneWindowShell::showAudioSettings (juce::Component& view)
{
    if (auto* window = windowOf (view))
        window->pluginHolder->showAudioSettingsDialog();
}

void StandaloneWindowShell::saveState (juce::Component& view)
{
    if (auto* window = windowOf (view))
        window->pluginHolder->savePluginState();
}

void StandaloneWindowShell::quit()
{
    juce::JUCEApplicationBase::quit();
}
