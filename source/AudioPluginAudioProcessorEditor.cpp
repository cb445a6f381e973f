#include "AudioPluginAudioProcessorEditor.h"

AudioPluginAudioProcessorEditor::AudioPluginAudioProcessorEditor (AudioPluginAudioProcessor& p)
    : AudioProcessorEditor (&p),
      background (&testComponent),
      testComponent (p, playButton, contextMenuButton),
      playButton (testComponent),
      contextMenuButton (testComponent),
      audioProcessor (p)
{
    if (audioProcessor.useOpenGL)
        openGLContext.attachTo (*this);

    // The standalone window's own background follows the dark look.
    if (audioProcessor.isStandalone)
        if (auto* v4 = dynamic_cast<juce::LookAndFeel_V4*> (&getLookAndFeel()))
            v4->getCurrentColourScheme().setUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground,
                                                      juce::Colour (0xff242424));

    setOpaque (true);
    addAndMakeVisible (background);
    addAndMakeVisible (testComponent.waveformDisplay);

    testComponent.onThemeChanged = [this]
    {
        background.repaint();
        testComponent.waveformDisplay.repaint();
        repaint();
    };

    addAndMakeVisible (testComponent);
    addAndMakeVisible (playButton);
    addAndMakeVisible (contextMenuButton);

    const auto [width, height] = audioProcessor.getDisplaySize();

    // The limits hold for resizing with the corner; a stored size is restored as it was.
    setResizeLimits (134, 54, 10000, 10000);
    setResizable (false, true);
    setSize (width, height);

    if (resizableCorner != nullptr)
        resizableCorner->setLookAndFeel (&defaultLAF);

    startTimer (tickMilliseconds);
}

AudioPluginAudioProcessorEditor::~AudioPluginAudioProcessorEditor()
{
    audioProcessor.saveDisplaySize (getWidth(), getHeight());

    if (resizableCorner != nullptr)
        resizableCorner->setLookAndFeel (nullptr);

    stopTimer();
    openGLContext.detach();
}

void AudioPluginAudioProcessorEditor::paint (juce::Graphics&)
{
    // The background always covers the whole editor.
}

void AudioPluginAudioProcessorEditor::resized()
{
    const int w = getWidth(), h = getHeight(), m = testComponent.margin;

    background.setBounds (0, 0, w, h);
    testComponent.waveformDisplay.setBounds (m, m, w - 2 * m, h - 2 * m);
    testComponent.setBounds (0, 0, w, h);
    playButton.setBounds (m, m, 20, 20);
    contextMenuButton.setBounds (w - 20 - m, m, 20, 20);

    if (playButton.isVisible() != audioProcessor.showPauseButton)
        playButton.setVisible (audioProcessor.showPauseButton);

    if (contextMenuButton.isVisible() != audioProcessor.showContextButton)
        contextMenuButton.setVisible (audioProcessor.showContextButton);
}

void AudioPluginAudioProcessorEditor::timerCallback()
{
    testComponent.timerTasks();

    if (! isShowing())
        return;

    const auto now = testComponent.getClock().now().toMilliseconds();
    const auto changes = testComponent.changesSinceLastTick();

    // A wall clock set back would otherwise hold the waveform still until it caught up. A
    // changed look (theme, display gain, shape) is drawn at once, whatever the frame rate.
    if (changes.waveform || now < lastWaveformRepaintMs
        || (double) (now - lastWaveformRepaintMs) * 0.001 > (double) (1.0f / (float) audioProcessor.targetFps))
    {
        testComponent.waveformDisplay.repaint();
        lastWaveformRepaintMs = now;
    }

    // The overlays are drawn anew every tick; while only the write head moves, only what it
    // swept needs it.

    if (changes.everything)
    {
        repaint();
        return;
    }

    repaint (changes.writeHead);
    repaint (changes.grip);
}
