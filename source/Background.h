#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace varrow
{
class TestComponent;
}

/** The editor's backdrop: the current theme's background with the frame around the waveform
    area. Opaque, buffered to an image, and transparent to the mouse. */
class Background final : public juce::Component
{
public:
    /** Paints with whatever theme the view holds at the time. The view may still be under
        construction when this is made; it is only read when painting. */
    explicit Background (const varrow::TestComponent* view);
    ~Background() override;

    void paint (juce::Graphics& g) override;

private:
    const varrow::TestComponent* view;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Background)
};
