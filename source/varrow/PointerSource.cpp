#include "PointerSource.h"

namespace varrow
{

namespace
{

class DesktopPointer final : public PointerSource
{
public:
    juce::Point<int> positionRelativeTo (const juce::Component& component) const override
    {
        return component.getMouseXYRelative();
    }

    juce::ModifierKeys modifiers() const override
    {
        return juce::ModifierKeys::getCurrentModifiersRealtime();
    }
};

} // namespace

PointerSource& PointerSource::desktop()
{
    static DesktopPointer pointer;
    return pointer;
}

} // namespace varrow
