#pragma once

#include "varrow/RGB.h"

#include <juce_gui_basics/juce_gui_basics.h>

class AudioPluginAudioProcessor;

namespace varrow
{
class TestComponent;
}

/** The waveform itself: an outline and a translucent fill through the display columns, in
    the theme's colour or its animated palette. Buffered to an image and repainted at the
    target frame rate; the view above it draws everything that moves faster. */
class WaveformDisplay final : public juce::Component
{
public:
    WaveformDisplay (AudioPluginAudioProcessor& processor, const varrow::TestComponent& view);

    void paint (juce::Graphics& g) override;

    /** The waveform's outline as last painted (for inspection). */
    const juce::Path& getPath() const noexcept   { return path; }

private:
    AudioPluginAudioProcessor& processor;
    const varrow::TestComponent& view;
    juce::Path path;
    juce::ColourGradient gradient;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WaveformDisplay)
};
