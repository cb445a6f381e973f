#include "SnippetRegion.h"

#include <algorithm>
#include <cmath>

SnippetRegion SnippetRegion::forSelection (float selectionStart, float selectionLength, float rotation,
                                           bool zoomed, double zoomOffset, double zoomWidth, int capacity) noexcept
{
    const double shift = zoomed ? 0.0 : (double) rotation;
    const double start = ((double) selectionStart + shift) * zoomWidth + zoomOffset;
    return fromFractions (start, zoomWidth * (double) selectionLength, capacity);
}

SnippetRegion SnippetRegion::forPlayback (double takeStart, double takeEnd, int writeIndex, int capacity) noexcept
{
    if (capacity <= 0 || ! (takeStart >= 0.0))
        return {};

    const double start = takeStart;
    double end = takeEnd == -2.0 ? (double) writeIndex / (double) capacity : takeEnd;

    if (start > end)
        end += 1.0;

    return fromFractions (start, end - start, capacity);
}

SnippetRegion SnippetRegion::fromFractions (double start, double length, int capacity) noexcept
{
    if (capacity <= 0 || ! std::isfinite (start) || ! std::isfinite (length))
        return {};

    const auto c = (double) capacity;
    const auto first = std::round (std::clamp (start, -4.0, 4.0) * c);
    const auto n = std::round (std::clamp (length, 0.0, 1.0) * c);

    // Ring positions are reduced into the ring here, so every later index is one wrap at most.
    const auto reduced = std::fmod (first, c);
    return { (int) (reduced < 0.0 ? reduced + c : reduced), (int) n };
}
