#include "WaveformDisplay.h"
#include "AudioPluginAudioProcessor.h"
#include "varrow/TestComponent.h"
#include "varrow/ViewGeometry.h"

#include <cmath>

using varrow::DisplayBuffer;
using varrow::ViewGeometry;

namespace
{

constexpr int gradientStops = 10;

} // namespace

WaveformDisplay::WaveformDisplay (AudioPluginAudioProcessor& p, const varrow::TestComponent& v)
    : processor (p), view (v)
{
    for (int k = 0; k < gradientStops; ++k)
        gradient.addColour ((double) k / (gradientStops - 1), juce::Colours::black);
}

void WaveformDisplay::rebuild (float t)
{
    const int w = getWidth();
    const auto& theme = view.getTheme();
    const bool zoomed = processor.zoomed.load();
    const bool mirrored = ! zoomed && processor.legacyDisplay;
    const double gain = processor.displayGain;
    const auto& columns = processor.displayBuffer;

    const float half = (float) getHeight() * 0.5f;
    const float centre = (float) ViewGeometry::roundHalfAway (half) + 0.5f;
    const float rotation = zoomed ? 0.0f : ViewGeometry::wrapRotation (processor.displayRotation.load());
    const int o = std::min ((int) std::floor ((float) w * rotation), std::max (0, w - 1));   // the first column drawn

    // Columns the audio thread does not count (yet) read as empty.
    const int counted = std::min (columns.columnCountShared.load(), DisplayBuffer::maxColumns);
    const auto maxOf = [&] (int i) { return i < counted ? columns.columnMax[(size_t) i].load (std::memory_order_relaxed) : DisplayBuffer::emptyMax; };
    const auto minOf = [&] (int i) { return i < counted ? columns.columnMin[(size_t) i].load (std::memory_order_relaxed) : DisplayBuffer::emptyMin; };
    const auto yOf = [&] (float v) { return centre - (float) ViewGeometry::verticalOffset (v, gain, half); };

    path.clear();
    path.preallocateSpace (6 * w + 1);
    path.startNewSubPath (0.5f, centre);

    for (int k = 0; k < w; ++k)
    {
        const int i = (o + k) % w;
        float v = maxOf (i);
        v = DisplayBuffer::isEmptyMax (v) ? 0.0f : v;
        path.lineTo ((float) k + 0.5f, yOf (mirrored ? std::abs (v) : v));
    }

    for (int k = w - 1; k >= 1; --k)
    {
        const int i = (o + k) % w;
        float v;

        if (mirrored)
        {
            const float top = maxOf (i);
            v = DisplayBuffer::isEmptyMax (top) || DisplayBuffer::isEmptyMin (top) ? 0.0f : -std::abs (top);
        }
        else
        {
            v = minOf (i);
            v = DisplayBuffer::isEmptyMin (v) ? 0.0f : v;
        }

        path.lineTo ((float) k + 0.5f, yOf (v));
    }

    path.closeSubPath();

    // The gradient drifts through one palette cycle every ten seconds.
    gradient.point1 = { (float) w, half };
    gradient.point2 = { 0.0f, 0.0f };

    for (int k = 0; k < gradientStops; ++k)
    {
        const float position = (float) k / (gradientStops - 1);
        gradient.setColour (k, varrow::palette (position - t / 10.0f, theme.paletteType).toJuceColor());
    }
}

void WaveformDisplay::paint (juce::Graphics& g)
{
    rebuild (view.animationTime());

    const auto& theme = view.getTheme();
    const bool zoomed = processor.zoomed.load();
    const auto stroke = juce::PathStrokeType (1.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);
    const float fill = zoomed ? theme.zoomedFillOpacity : theme.fillOpacity;

    if (theme.usesPalette)
    {
        g.setGradientFill (gradient);
        g.strokePath (path, stroke);
        gradient.multiplyOpacity (fill);
        g.setGradientFill (gradient);
    }
    else
    {
        const auto colour = theme.waveform.toJuceColor();
        g.setColour (colour);
        g.strokePath (path, stroke);
        g.setColour (colour.withAlpha ((juce::uint8) (int) (fill * 255.0f)));
    }

    g.fillPath (path);
}
