// The painting of the view, in software: one repaint of the waveform image, and one paint of
// the overlays drawn on every tick, in the plain Carbon theme and in Rainbow, whose waveform,
// zoom band and lines take their colours from the animated palette.

#include "BenchmarkSupport.h"
#include "varrow/TestComponent.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace
{

constexpr int carbon = 1;
constexpr int rainbow = 2;

/** A processor with its whole 30 s ring captured (a loud, varied signal, so every column
    holds a real range) and a view of the given size over it, in the given theme. */
class PaintedView
{
public:
    PaintedView (int width, int height, int themeNumber = carbon)
        : processor (std::make_unique<AudioPluginAudioProcessor> (std::make_unique<SilentMessages>())),
          view (*processor, pauseButton, settingsButton)
    {
        processor->prepareToPlay (48000.0, blockSize);
        view.selectTheme (themeNumber);
        view.setBounds (0, 0, width, height);
        view.waveformDisplay.setBounds (view.margin, view.margin, width - 2 * view.margin, height - 2 * view.margin);
        waveformImage = juce::Image (juce::Image::ARGB, view.waveformDisplay.getWidth(), view.waveformDisplay.getHeight(), true);
        overlayImage = juce::Image (juce::Image::ARGB, width, height, true);
        paintOverlays();   // publishes the width
        capture (48000 * 31 / blockSize);
    }

    /** Feeds the processor the next blocks of the signal, as the audio thread would. */
    void capture (int numBlocks)
    {
        for (int b = 0; b < numBlocks; ++b, ++blocksFed)
        {
            for (int i = 0; i < blockSize; ++i)
            {
                const double t = (double) (blocksFed * blockSize + i) / 48000.0;
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

    static constexpr int blockSize = 256;

    std::unique_ptr<AudioPluginAudioProcessor> processor;
    juce::Component pauseButton, settingsButton;
    varrow::TestComponent view;
    juce::Image waveformImage, overlayImage;
    juce::AudioBuffer<float> block { 2, blockSize };
    juce::MidiBuffer midi;
    juce::int64 blocksFed = 0;
};

void waveformPaint (benchmark::State& state, int width, int height, int themeNumber)
{
    PaintedView painted (width + 10, height + 10, themeNumber);

    for (auto _ : state)
        painted.paintWaveform();
}

void waveformPaint1000 (benchmark::State& state)          { waveformPaint (state, 1000, 79, carbon); }
void waveformPaint2560 (benchmark::State& state)          { waveformPaint (state, 2560, 400, carbon); }
void waveformPaint1000Rainbow (benchmark::State& state)   { waveformPaint (state, 1000, 79, rainbow); }
void waveformPaint2560Rainbow (benchmark::State& state)   { waveformPaint (state, 2560, 400, rainbow); }

/** A selection and take markers, with nothing moving or fading. */
void overlayPaint1000Idle (benchmark::State& state)
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

/** An alt + left click at x: the preview gesture, which starts at the view's next paint. */
void startPreview (varrow::TestComponent& view, int x)
{
    const juce::Point<float> position ((float) x, (float) view.getHeight() / 2.0f);
    const juce::ModifierKeys mods (juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::altModifier);
    const auto now = juce::Time::getCurrentTime();
    view.mouseDown (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, mods,
                                      1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &view, &view, now, position, now, 1, false));
}

/** Every overlay at once: the zoom band of a zoomed view, the write head moving by one 16 ms
    tick of audio (768 samples) between paints, a preview line, take markers with "Capture
    Playback" on and its highlight fading, a selection, and the freeze tint fading out. The
    window covers 99.9 % of the ring, so the head and the preview line stay in view while they
    move. The audio between paints and the resetting of the fades are not timed. */
void overlayPaintBusy (benchmark::State& state, int themeNumber)
{
    PaintedView painted (1000, 89, themeNumber);
    auto& p = *painted.processor;
    auto& view = painted.view;
    p.recordingPathSet = true;   // no reminder over the view
    p.capturePlayback = true;
    p.takeStart = 0.1;
    p.takeEnd = 0.25;

    requestZoom (p, 0.0, 0.999);
    painted.capture (1);
    startPreview (view, 600);
    p.selectionStart = 0.3f;
    p.selectionLength = 0.2f;
    painted.paintOverlays();

    if (! p.zoomed.load() || view.getGesture() != varrow::TestComponent::Gesture::preview)
        state.SkipWithError ("the view is not zoomed or not previewing");

    for (auto _ : state)
    {
        state.PauseTiming();
        painted.capture (3);
        view.freezeTint.current = 0.5;
        view.captureHighlight.setTarget (1.0);
        view.captureHighlight.current = 0.5;
        state.ResumeTiming();

        painted.paintOverlays();
    }
}

void overlayPaint1000Busy (benchmark::State& state)          { overlayPaintBusy (state, carbon); }
void overlayPaint1000BusyRainbow (benchmark::State& state)   { overlayPaintBusy (state, rainbow); }

} // namespace

BENCHMARK (waveformPaint1000)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (waveformPaint1000Rainbow)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (waveformPaint2560)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (waveformPaint2560Rainbow)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (overlayPaint1000Idle)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (overlayPaint1000Busy)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (overlayPaint1000BusyRainbow)->Unit (benchmark::kNanosecond)->Repetitions (5);

#include "AudioPluginAudioProcessorEditor.h"

namespace juce
{
// The framework's message pump, which its modal loops use; those are not built here.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

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

namespace
{

/** A right click's settings menu: built from the live state and shown as a pop-up window on
    the display, the part of opening it that the message thread waits for. Closing it again is
    not timed. Needs an X display. */
void settingsMenuOpen (benchmark::State& state)
{
    if (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isEmpty())
    {
        state.SkipWithError ("no X display");
        return;
    }

    PaintedView painted (1000, 89);
    painted.processor->recordingPathSet = true;
    auto& view = painted.view;
    view.addToDesktop (juce::ComponentPeer::windowIsTemporary);
    view.setVisible (true);

    for (auto _ : state)
    {
        view.showContextMenu();

        state.PauseTiming();

        // Dismissed menus are deleted by a message of their own.
        if (! juce::PopupMenu::dismissAllActiveMenus())
            state.SkipWithError ("the menu did not open");

        while (juce::dispatchNextMessageOnSystemQueue (true))
        {
        }

        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK (settingsMenuOpen)->Unit (benchmark::kNanosecond)->Iterations (50)->Repetitions (5);
