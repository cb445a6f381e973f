#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace varrow
{

/** The dark default look, with an invisible corner resizer: the editor's corner still
    resizes the window but draws nothing. */
class DefaultLAF final : public juce::LookAndFeel_V4
{
public:
    void drawCornerResizer (juce::Graphics&, int width, int height, bool isMouseOver, bool isMouseDragging) override;
};

} // namespace varrow
