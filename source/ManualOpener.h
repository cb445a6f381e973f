#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

/** Finds the manual installed with Quorvel and opens it in the default web browser. The
    default asks xdg-open; tests answer themselves. */
class ManualOpener
{
public:
    virtual ~ManualOpener() = default;

    /** The installed manual page, or a file that does not exist when there is none. */
    virtual juce::File findPage() const;

    /** Opens the page. `onFailed` runs on the message thread, with the cause, when it could not
        be opened; it never runs after this object has been destroyed. */
    virtual void open (const juce::File& page, std::function<void (const juce::String& cause)> onFailed) = 0;

    /** The manual that belongs to a program or plug-in file: "manual.html" beside it (the build
        tree), "share/doc/quorvel/manual.html" under one of its ancestors (an installation
        prefix), or the system's. */
    static juce::File findPageFrom (const juce::File& program);

    static std::unique_ptr<ManualOpener> createDefault();
};
