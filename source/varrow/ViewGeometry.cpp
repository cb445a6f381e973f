#include "ViewGeometry.h"
#include "Zoom.h"

#include <algorithm>
#include <cmath>

namespace varrow
{

int ViewGeometry::roundHalfAway (float v) noexcept
{
    return (int) std::round (v);
}

double ViewGeometry::ringFractionOfIndex (int index, int capacity) noexcept
{
    if (capacity <= 0)
        return 0.0;

    return (double) std::clamp (index, 0, capacity - 1) / (double) capacity;
}

float ViewGeometry::wrapRotation (float rotation) noexcept
{
    if (! std::isfinite (rotation))
        return 0.0f;

    const float wrapped = rotation - std::floor (rotation);

    // Just below a whole turn the difference rounds up to 1, which is the same place as 0.
    return wrapped < 1.0f ? wrapped : 0.0f;
}

WaveformArea ViewGeometry::areaFor (int viewWidth, int viewHeight, int columnCount, int margin) noexcept
{
    return { margin, margin, std::max (0, std::min (columnCount, viewWidth - 2 * margin)), std::max (0, viewHeight - 2 * margin) };
}

std::optional<double> ViewGeometry::viewFractionOf (double p, const ViewWindow& window, Mark mark) noexcept
{
    double x = Zoom::getConstrained (p, window.offset, window.width);

    if (! window.zoomed)
        x -= (double) window.rotation;
    else if (x < 0.0 || x > 1.0)
        return std::nullopt;

    if (x >= 1.0)
        x -= 1.0;

    if (mark == Mark::writeHead ? x < 0.0 : x <= 0.0)
        x += 1.0;

    return x;
}

int ViewGeometry::pixelOf (const WaveformArea& area, double fraction) noexcept
{
    return roundHalfAway ((float) area.width * (float) fraction + (float) area.x);
}

float ViewGeometry::viewFractionOfPixel (int x, int margin, int areaWidth) noexcept
{
    // Before the first layout, and in views of 10 pixels or less, the area has no width:
    // every pixel then lies at its left edge.
    if (areaWidth <= 0)
        return 0.0f;

    return (float) (x - margin) / (float) areaWidth;
}

double ViewGeometry::ringPositionOfPixel (int x, const WaveformArea& area, const ViewWindow& window) noexcept
{
    double f = (double) viewFractionOfPixel (x, area.x, area.width);

    if (! window.zoomed)
        f += (double) window.rotation;

    if (f >= 1.0)
        f -= 1.0;

    if (f <= 0.0)
        f += 1.0;

    return f * window.width + window.offset;
}

int ViewGeometry::verticalOffset (float value, double gain, float halfHeight) noexcept
{
    const double scaled = (double) value * gain;

    // A damaged column (not a number) draws at the centre line.
    if (std::isnan (scaled))
        return 0;

    return roundHalfAway ((float) juce::jlimit (-1.0, 1.0, scaled) * halfHeight);
}

std::optional<ZoomRequest> ViewGeometry::zoomIn (float selectionStart, float selectionLength, int displayWidth,
                                                 const ViewWindow& window) noexcept
{
    if ((float) displayWidth * selectionLength < 1.0f)
        return std::nullopt;

    if (selectionStart == 0.0f && selectionLength == 1.0f)
        return std::nullopt;

    const float base = selectionStart + (window.zoomed ? 0.0f : window.rotation);
    return ZoomRequest { window.offset + window.width * (double) base, window.width * (double) selectionLength };
}

double ViewGeometry::scrollFor (int pressX, int releaseX, int viewWidth) noexcept
{
    if (viewWidth <= 10)
        return 0.0;   // no inner width to scroll across

    return (double) (pressX - releaseX) / (double) (viewWidth - 10);
}

ViewGeometry::Zone ViewGeometry::hitTest (juce::Point<int> pointer, bool pointerOverView, const WaveformArea& area,
                                          float selectionStart, float selectionLength,
                                          double takeStart, double takeEnd, const ViewWindow& window) noexcept
{
    const int left = roundHalfAway ((float) area.x + (float) area.width * selectionStart);
    const int right = left + roundHalfAway (selectionLength * (float) area.width);

    // Marker fractions are always brought into range here, even when a zoomed window does not
    // show the marker.
    const auto markerPixel = [&] (double p)
    {
        double x = Zoom::getConstrained (p, window.offset, window.width);

        if (! window.zoomed)
            x -= (double) window.rotation;

        if (x >= 1.0)
            x -= 1.0;

        if (x <= 0.0)
            x += 1.0;

        // Deep zooms put a marker billions of pixels away. It is held within a distance
        // no pointer reaches before converting, so neither the conversion nor the distances
        // below can overflow.
        constexpr double farAway = 1.0e8;
        const double pixel = std::floor ((double) area.width * x + (double) area.x);
        return (int) (pixel < farAway ? std::max (pixel, -farAway) : farAway);   // not a number: far right
    };

    if (left <= pointer.x && pointer.x <= right && pointer.y >= 0 && area.height >= 0 && selectionLength > 0.000001f)
        return onSelection;

    if (std::abs (pointer.x - markerPixel (takeStart)) <= handleReach)
        return std::abs (pointer.y) <= handleReach ? onMarkerHandle : nothing;

    if (std::abs (pointer.x - markerPixel (takeEnd)) <= handleReach && std::abs (pointer.y) <= handleReach)
        return pointerOverView ? onMarkerHandle : nothing;

    return nothing;
}

} // namespace varrow
