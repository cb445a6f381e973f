#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace varrow
{

/** Starts the drag of files out of the window into another application. The default is the
    framework's X11 drag; tests record the request and finish the drop themselves. */
class ExternalDrag
{
public:
    virtual ~ExternalDrag() = default;

    /** Starts a copy-only drag of the files; onFinished runs when the drop is complete.
        Returns false when no drag could be started (then onFinished never runs). */
    virtual bool start (const juce::StringArray& files, std::function<void()> onFinished) = 0;

    static ExternalDrag& platform();
};

} // namespace varrow
