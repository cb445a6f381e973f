#include "DisplayFeed.h"
#include "Zoom.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varrow
{

namespace
{

/** Calls onRun (key, begin, end) for each run of equal keys in [begin, end), for a key
    function that never decreases over that range. */
template <typename KeyFn, typename RunFn>
void forEachRun (juce::int64 begin, juce::int64 end, KeyFn&& keyAt, RunFn&& onRun)
{
    while (begin < end)
    {
        const int key = keyAt (begin);
        auto same = begin;      // last index known to have `key`
        auto other = end;       // first index known to differ (or the end)

        for (juce::int64 step = 1;; step *= 2)
        {
            const auto probe = same + step;

            if (probe >= end)
                break;

            if (keyAt (probe) != key)
            {
                other = probe;
                break;
            }

            same = probe;
        }

        while (other - same > 1)
        {
            const auto mid = same + (other - same) / 2;
            (keyAt (mid) == key ? same : other) = mid;
        }

        onRun (key, begin, other);
        begin = other;
    }
}

/** The smallest and largest of left[i] + right[i] over n samples (single-precision sums). */
void sumRange (const float* left, const float* right, int n, float& lo, float& hi) noexcept
{
    constexpr int chunkSize = 256;
    float sums[chunkSize];

    for (int done = 0; done < n; done += chunkSize)
    {
        const int count = std::min (chunkSize, n - done);
        juce::FloatVectorOperations::add (sums, left + done, right + done, count);
        const auto range = juce::FloatVectorOperations::findMinAndMax (sums, count);
        lo = std::min (lo, range.getStart());
        hi = std::max (hi, range.getEnd());
    }
}

/** A display value: the mean of the two channels, halved in double precision. */
float mono (float sum) noexcept
{
    return (float) ((double) sum * 0.5);
}

} // namespace

int DisplayFeed::columnKey (double x, int columns) noexcept
{
    if (! (x >= 0.0))
        return -1;

    if (! (x <= 1.0))
        return columns;

    return (int) std::round (x * (columns - 1));
}

void DisplayFeed::mergeLive (DisplayBuffer& display, const float* left, const float* right, int numSamples,
                             int writeIndex, int capacity, double offset, double width, int stamp) noexcept
{
    const int columns = display.columnCount;

    if (columns <= 0 || numSamples <= 0 || capacity <= 0)
        return;

    const auto ringIndex = [&] (juce::int64 j) { return (int) ((writeIndex + j) % capacity); };
    const auto keyAt = [&] (juce::int64 j)
    {
        return columnKey (Zoom::getConstrained (ringIndex (j) / (double) capacity, offset, width), columns);
    };

    const auto mergeRun = [&] (int key, juce::int64 begin, juce::int64 end)
    {
        if (key < 0 || key >= columns)
            return;

        float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();

        if (left != nullptr)
        {
            sumRange (left + begin, (right != nullptr ? right : left) + begin, (int) (end - begin), lo, hi);
        }
        else
        {
            lo = hi = 0.0f;
        }

        display.mergeRun (key, mono (lo), mono (hi), stamp);
    };

    // The mapping only increases while the ring index does not wrap and, for a window that
    // runs past the ring's end, while the position stays on one side of the window's offset.
    const bool windowWraps = offset < 1.0 && offset + width > 1.0;

    for (juce::int64 j = 0; j < numSamples;)
    {
        auto pieceEnd = j + std::min<juce::int64> (numSamples - j, capacity - ringIndex (j));

        if (windowWraps && ringIndex (j) / (double) capacity < offset)
        {
            auto below = j, from = pieceEnd;   // first index at or past the offset, by bisection

            while (from - below > 1)
            {
                const auto mid = below + (from - below) / 2;
                (ringIndex (mid) / (double) capacity < offset ? below : from) = mid;
            }

            pieceEnd = from;
        }

        forEachRun (j, pieceEnd, keyAt, mergeRun);
        j = pieceEnd;
    }
}

double DisplayFeed::refill (DisplayBuffer& display, const CircularBuffer& ring, double offset, double width,
                            double progress, int maxPositions) noexcept
{
    const int columns = display.columnCount;
    const auto capacity = (juce::int64) ring.capacity;

    if (columns <= 0 || capacity <= 0)
        return 1.0;

    const auto start = (juce::int64) std::floor (offset * (double) capacity);
    const auto end = (juce::int64) std::floor ((offset + width) * (double) capacity);
    const auto span = end - start;

    if (span <= 0)
        return std::numeric_limits<double>::quiet_NaN();

    const auto chunkStart = (juce::int64) std::floor ((double) start + (double) span * progress);
    const auto chunkEnd = std::min (chunkStart + maxPositions, end);
    const int stamp = ring.wrapCount - 1;
    const auto* left = ring.left.getReadPointer (0);
    const auto* right = ring.right.getReadPointer (0);
    const auto ringIndex = [capacity] (juce::int64 x) { return (int) (((x % capacity) + capacity) % capacity); };
    const auto columnOf = [&] (double x)
    {
        return std::clamp ((int) std::round ((x - (double) start) / (double) span * (columns - 1)), 0, columns - 1);
    };

    if (span < columns)
    {
        // Fewer samples than columns: visit fractional positions so every column gets one.
        const double step = (double) span / columns;

        for (double x = (double) chunkStart; x < (double) chunkEnd; x += step)
        {
            const int i = ringIndex ((juce::int64) x);
            display.updateColumn (columnOf (x), mono (left[i] + right[i]), stamp);
        }
    }
    else
    {
        const auto keyAt = [&] (juce::int64 x) { return columnOf ((double) x); };

        forEachRun (chunkStart, chunkEnd, keyAt, [&] (int key, juce::int64 begin, juce::int64 runEnd)
        {
            float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();

            for (auto x = begin; x < runEnd;)
            {
                const int i = ringIndex (x);
                const auto count = (int) std::min<juce::int64> (runEnd - x, capacity - i);
                sumRange (left + i, right + i, count, lo, hi);
                x += count;
            }

            display.mergeRun (key, mono (lo), mono (hi), stamp);
        });
    }

    return (double) (chunkEnd - start) / (double) span;
}

} // namespace varrow
