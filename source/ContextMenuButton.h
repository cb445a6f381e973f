#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace varrow
{
class TestComponent;
}

/** The small square button with a down-pointing chevron in the top-right corner: opens the
    settings menu, or on a right click its own one-item "Hide" menu. */
class ContextMenuButton final : public juce::Component
{
public:
    explicit ContextMenuButton (varrow::TestComponent& view);
    ~ContextMenuButton() override;

    void paint (juce::Graphics& g) override;
    void mouseDown (const juce::MouseEvent& e) override;

private:
    varrow::TestComponent& view;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ContextMenuButton)
};
