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

    /** Rebuilds the outline from the display columns and sets the gradient's colours for
        animation time t. Reuses the path's storage: once it has grown to the width, a
        rebuild allocates nothing. */
    void rebuild (float t);

    /** The waveform's outline as last built. */
    const juce::Path& getPath() const noexcept   { return path; }

private:
    AudioPluginAudioProcessor& processor;
    const varrow::TestComponent& view;
    juce::Path path;
    juce::ColourGradient gradient;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WaveformDisplay)
};
