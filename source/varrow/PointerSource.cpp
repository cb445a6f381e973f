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
        // Asking the X server is a round trip on every tick. While the pointer is over none of
        // our windows and no button is held, the position the last mouse event left behind
        // serves as well: nothing of ours lies under it.
        const auto mouse = juce::Desktop::getInstance().getMainMouseSource();

        if (mouse.getComponentUnderMouse() == nullptr && ! mouse.isDragging())
            return component.getLocalPoint (nullptr, mouse.getScreenPosition()).roundToInt();

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
