#pragma once

#include "CircularBuffer.h"
#include "DisplayBuffer.h"

namespace varrow
{

/** The audio thread's writers of the display columns.

    Both merge samples into the column that the visible window maps them to. Consecutive
    samples mostly share a column, so the column boundaries are found by search on the
    (monotonic) mapping and each run of samples is merged with one min/max; the columns end
    up exactly as merging sample by sample would leave them.
*/
class DisplayFeed
{
public:
    /** The column of window fraction x: -1 left of the window, `columns` right of it. */
    static int columnKey (double x, int columns) noexcept;

    /** Merges a block of incoming samples, which the ring will store from `writeIndex` on,
        under lap stamp `stamp`. A null left source reads as silence; a null right source
        repeats the left one. */
    static void mergeLive (DisplayBuffer& display, const float* left, const float* right, int numSamples,
                           int writeIndex, int capacity, double offset, double width, int stamp) noexcept;

    /** Rebuilds the next stretch (at most maxPositions ring positions) of the window from the
        ring, continuing from `progress` (the share of the window done), under stamp
        wrapCount - 1. Returns the new progress; NaN when the window holds no sample. */
    static double refill (DisplayBuffer& display, const CircularBuffer& ring, double offset, double width,
                          double progress, int maxPositions) noexcept;
};

} // namespace varrow
