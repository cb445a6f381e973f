#pragma once

#include "AudioPluginAudioProcessor.h"
#include "Background.h"
#include "ContextMenuButton.h"
#include "PlayButton.h"
#include "varrow/DefaultLAF.h"
#include "varrow/TestComponent.h"

#include <juce_opengl/juce_opengl.h>

/** The window content: the background, the waveform with its interactive view, the pause and
    settings buttons, and an optional OpenGL context. Restores and stores its size through the
    processor and drives the view with one 16 ms tick. */
class AudioPluginAudioProcessorEditor final : public juce::AudioProcessorEditor,
                                              public juce::Timer
{
public:
    explicit AudioPluginAudioProcessorEditor (AudioPluginAudioProcessor& processor);
    ~AudioPluginAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The tick: the view's pointer tasks always; repaints only while showing, the waveform
        image at most at the "Target FPS" rate. */
    void timerCallback() override;

    static constexpr int tickMilliseconds = 16;

    juce::int64 lastWaveformRepaintMs = 0;
    Background background;
    varrow::DefaultLAF defaultLAF;
    varrow::TestComponent testComponent;
    PlayButton playButton;
    ContextMenuButton contextMenuButton;
    juce::OpenGLContext openGLContext;

private:
    AudioPluginAudioProcessor& audioProcessor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioPluginAudioProcessorEditor)
};
