// The painting of the view, in software: one repaint of the waveform image, and one paint of
// the overlays drawn on every tick.

#include "BenchmarkSupport.h"
#include "varrow/TestComponent.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace
{

/** A processor with its whole 30 s ring captured (a loud, varied signal, so every column
    holds a real range) and a view of the given size over it. */
class PaintedView
{
public:
    PaintedView (int width, int height)
        : processor (std::make_unique<AudioPluginAudioProcessor> (std::make_unique<SilentMessages>())),
          view (*processor, pauseButton, settingsButton)
    {
        processor->prepareToPlay (48000.0, 512);
        view.setBounds (0, 0, width, height);
        view.waveformDisplay.setBounds (view.margin, view.margin, width - 2 * view.margin, height - 2 * view.margin);
        waveformImage = juce::Image (juce::Image::ARGB, view.waveformDisplay.getWidth(), view.waveformDisplay.getHeight(), true);
        overlayImage = juce::Image (juce::Image::ARGB, width, height, true);
        paintOverlays();   // publishes the width

        juce::AudioBuffer<float> block (2, 512);
        juce::MidiBuffer midi;

        for (int b = 0; b < 48000 * 31 / 512; ++b)
        {
            for (int i = 0; i < 512; ++i)
            {
                const double t = (double) (b * 512 + i) / 48000.0;
                const auto v = (float) (std::sin (t * 1500.0) * std::exp (-std::fmod (t, 0.5) * 6.0) * 0.8);
                block.setSample (0, i, v);
                block.setSample (1, i, -0.7f * v);
            }

            processor->processBlock (block, midi);
        }
    }

    void paintWaveform()
    {
        waveformImage.clear (waveformImage.getBounds());
        juce::Graphics g (waveformImage);
        view.waveformDisplay.paint (g);
    }

    void paintOverlays()
    {
        overlayImage.clear (overlayImage.getBounds());
        juce::Graphics g (overlayImage);
        view.paint (g);
    }

    std::unique_ptr<AudioPluginAudioProcessor> processor;
    juce::Component pauseButton, settingsButton;
    varrow::TestComponent view;
    juce::Image waveformImage, overlayImage;
};

void waveformPaint (benchmark::State& state, int width, int height)
{
    PaintedView painted (width + 10, height + 10);

    for (auto _ : state)
        painted.paintWaveform();
}

void waveformPaint1000 (benchmark::State& state)   { waveformPaint (state, 1000, 79); }
void waveformPaint2560 (benchmark::State& state)   { waveformPaint (state, 2560, 400); }

void overlayPaint1000 (benchmark::State& state)
{
    PaintedView painted (1000, 89);
    auto& p = *painted.processor;
    p.recordingPathSet = true;   // no reminder over the view
    p.selectionStart = 0.3f;
    p.selectionLength = 0.2f;
    p.capturePlayback = true;
    p.takeStart = 0.1;
    p.takeEnd = 0.25;

    for (auto _ : state)
        painted.paintOverlays();
}

} // namespace

BENCHMARK (waveformPaint1000)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (waveformPaint2560)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (overlayPaint1000)->Unit (benchmark::kNanosecond)->Repetitions (5);

#include "AudioPluginAudioProcessorEditor.h"

namespace
{

/** The whole editor as each 16 ms tick repaints it: the cached background and waveform images
    blitted, the overlays painted over them, into the window's image. */
void editorPaint1000 (benchmark::State& state)
{
    PaintedView painted (1000, 89);
    painted.processor->recordingPathSet = true;
    AudioPluginAudioProcessorEditor editor (*painted.processor);
    juce::Image window (juce::Image::ARGB, editor.getWidth(), editor.getHeight(), true);

    for (auto _ : state)
    {
        juce::Graphics g (window);
        editor.paintEntireComponent (g, true);
    }
}

} // namespace

BENCHMARK (editorPaint1000)->Unit (benchmark::kNanosecond)->Repetitions (3);
