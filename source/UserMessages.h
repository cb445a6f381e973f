#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

/** Where the processor's messages to the user go: an asynchronous message box by default,
    a recorder in tests. */
class UserMessages
{
public:
    virtual ~UserMessages() = default;

    /** Shows a message with an "OK" button; `onDismissed` runs when the user closes it. */
    virtual void show (juce::MessageBoxIconType icon, const juce::String& title,
                       const juce::String& text, std::function<void()> onDismissed = {}) = 0;

    /** The message boxes of the framework. */
    static std::unique_ptr<UserMessages> createDefault();
};
