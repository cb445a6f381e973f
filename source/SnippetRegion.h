#pragma once

#include <juce_core/juce_core.h>

/** A stretch of the capture ring to export: its first ring index and its length in samples.
    The first index may lie past the ring's end; positions then wrap to its start. */
struct SnippetRegion
{
    int first = 0;
    int numSamples = 0;

    /** The view's selection, given as fractions of the visible window. The rotation applies
        only to the unzoomed picture. */
    static SnippetRegion forSelection (float selectionStart, float selectionLength, float rotation,
                                       bool zoomed, double zoomOffset, double zoomWidth, int capacity) noexcept;

    /** The stretch between the take markers (fractions of the capacity). A marker of -2.0 for
        the end means the take is still running and ends at the write index; an end before the
        start wraps through the ring's end. Without a take the region is empty. */
    static SnippetRegion forPlayback (double takeStart, double takeEnd, int writeIndex, int capacity) noexcept;

    /** A start and a length as fractions of the capacity, each rounded to whole samples
        (halves away from zero). The length is kept within one ring. */
    static SnippetRegion fromFractions (double start, double length, int capacity) noexcept;
};
