#pragma once

#include <atomic>
#include <array>
#include <limits>

namespace varrow
{

/** One minimum/maximum pair per pixel column of the waveform view.

    Written only by the audio thread; the painter reads the columns through single atomic
    loads and accepts seeing a column between two of its stores. Fixed in size: it never
    allocates.
*/
class DisplayBuffer
{
public:
    static constexpr int maxColumns = 10000;
    static constexpr float emptyMax = std::numeric_limits<float>::lowest();
    static constexpr float emptyMin = std::numeric_limits<float>::max();

    DisplayBuffer() noexcept;

    /** Empties columns 0 to n - 1 and makes n the column count (clamped to the arrays). */
    void pushBack (int n) noexcept;

    /** Merges v into column c under lap stamp s: a newer stamp restarts the column,
        the same or an older stamp widens its range. */
    void updateColumn (int c, float v, int s) noexcept;

    /** Merges a run of values whose extremes are lo and hi, all under stamp s. Leaves the
        column exactly as merging each value of the run in turn with updateColumn would. */
    void mergeRun (int c, float lo, float hi, int s) noexcept;

    static bool isEmptyMax (float v) noexcept   { return v == emptyMax; }
    static bool isEmptyMin (float v) noexcept   { return v == emptyMin; }

    std::array<std::atomic<float>, maxColumns> columnMax;
    std::array<std::atomic<float>, maxColumns> columnMin;
    std::array<std::atomic<int>, maxColumns> columnStamp;
    int columnCount = 0;
    std::atomic<int> columnCountShared { 0 };
};

} // namespace varrow
