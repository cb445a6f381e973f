#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace varrow
{
class TestComponent;
struct Theme;
}

/** The small square button in the top-left corner that freezes and resumes the capture.
    A dark red dot while live; a slight shade of the background while frozen. */
class PlayButton final : public juce::Component
{
public:
    explicit PlayButton (varrow::TestComponent& view);
    ~PlayButton() override;

    void paint (juce::Graphics& g) override;
    void mouseDown (const juce::MouseEvent& e) override;

    /** The dot's colour for a theme: the live red, or the frozen shade of its background. */
    static juce::Colour dotColour (const varrow::Theme& theme, bool frozen) noexcept;

private:
    varrow::TestComponent& view;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PlayButton)
};
