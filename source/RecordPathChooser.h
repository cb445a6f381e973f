#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

/** Asks the user for the recording folder. The default is the framework's asynchronous folder
    chooser (native where the platform has one); tests answer it themselves. */
class RecordPathChooser
{
public:
    virtual ~RecordPathChooser() = default;

    /** Opens the chooser, replacing one that is still open. `onChosen` receives the chosen
        folder, or a default-constructed file when the user cancelled. */
    virtual void browse (std::function<void (const juce::File&)> onChosen) = 0;

    static std::unique_ptr<RecordPathChooser> createDefault();
};
