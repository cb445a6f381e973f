#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace varrow
{

/** The standalone program's window around a view, as the settings menu needs it: its title
    bar, the audio settings, saving the processor state, and quitting. The standalone program
    installs its implementation at start-up; without one (the plug-in) no view has such a
    window and quit() asks the application to quit. Tests install their own. */
class StandaloneShell
{
public:
    virtual ~StandaloneShell() = default;

    /** Whether the view lies inside the standalone program's window. The calls below that
        take a view do nothing when it does not. */
    virtual bool hasWindow (juce::Component& view) = 0;

    /** The height of the window's title bar: 0 while borderless. */
    virtual int titleBarHeight (juce::Component& view) = 0;

    /** Gives the window a non-native title bar of this height, keeping its content's size. */
    virtual void setTitleBarHeight (juce::Component& view, int height) = 0;

    virtual void showAudioSettings (juce::Component& view) = 0;

    /** Saves the processor state into the program's settings. */
    virtual void saveState (juce::Component& view) = 0;

    virtual void quit() = 0;

    /** The installed shell, or the one without a window. */
    static StandaloneShell& current() noexcept;

    /** Installs a shell (nullptr uninstalls it); it must outlive every view. */
    static void install (StandaloneShell* shell) noexcept;
};

} // namespace varrow
