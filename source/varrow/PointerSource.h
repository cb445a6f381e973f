#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace varrow
{

/** Where the mouse pointer is and which modifier keys are held, as the view polls them on
    every tick. The default asks the desktop; tests move a pointer of their own. */
class PointerSource
{
public:
    virtual ~PointerSource() = default;

    virtual juce::Point<int> positionRelativeTo (const juce::Component& component) const = 0;
    virtual juce::ModifierKeys modifiers() const = 0;

    static PointerSource& desktop();
};

} // namespace varrow
