#include "varrow/DisplayFeed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using varrow::DisplayBuffer;
using varrow::DisplayFeed;

namespace
{

/** The display feed written out sample by sample, as plainly as it can be said. */
struct ReferenceColumns
{
    explicit ReferenceColumns (int count)
        : max ((size_t) count, DisplayBuffer::emptyMax), min ((size_t) count, DisplayBuffer::emptyMin),
          stamp ((size_t) count, -1) {}

    void update (int c, float v, int s)
    {
        auto i = (size_t) c;

        if (stamp[i] < s)
        {
            max[i] = min[i] = v;
            stamp[i] = s;
            return;
        }

        if (v > max[i]) { max[i] = v; stamp[i] = s; }
        if (v < min[i]) { min[i] = v; stamp[i] = s; }
    }

    int count() const { return (int) max.size(); }

    std::vector<float> max, min;
    std::vector<int> stamp;
};

double windowFraction (double p, double offset, double width)
{
    if (offset + width > 1.0 && (p < offset || p > offset + width))
        p += 1.0;

    return (p - offset) / width;
}

float mono (float l, float r)   { return (float) ((double) (l + r) * 0.5); }

void referenceLive (ReferenceColumns& ref, const std::vector<float>& l, const std::vector<float>& r,
                    int writeIndex, int capacity, double offset, double width, int stamp)
{
    for (size_t j = 0; j < l.size(); ++j)
    {
        const double p = (double) ((writeIndex + (int) j) % capacity) / capacity;
        const double x = windowFraction (p, offset, width);

        if (x < 0.0 || x > 1.0)
            continue;

        ref.update ((int) std::round (x * (ref.count() - 1)), mono (l[j], r[j]), stamp);
    }
}

double referenceRefill (ReferenceColumns& ref, const varrow::CircularBuffer& ring, double offset, double width,
                        double progress, int maxPositions)
{
    const auto n = (long long) ring.capacity;
    const int c = ref.count();
    const auto s = (long long) std::floor (offset * n), e = (long long) std::floor ((offset + width) * n);
    const auto span = e - s;
    const auto from = (long long) std::floor (s + span * progress);
    const auto to = std::min (from + maxPositions, e);
    const double step = span < c ? (double) span / c : 1.0;

    for (double x = (double) from; x < (double) to; x += step)
    {
        auto i = (long long) x;
        i = i >= n ? i - n : i;
        ref.update ((int) std::round ((x - s) / span * (c - 1)),
                    mono (ring.left.getSample (0, (int) i), ring.right.getSample (0, (int) i)), ring.wrapCount - 1);
    }

    return (double) (to - s) / span;
}

void expectSame (const DisplayBuffer& d, const ReferenceColumns& ref, const char* what)
{
    for (int c = 0; c < ref.count(); ++c)
    {
        ASSERT_EQ (d.columnMax[(size_t) c].load(), ref.max[(size_t) c]) << what << " column " << c;
        ASSERT_EQ (d.columnMin[(size_t) c].load(), ref.min[(size_t) c]) << what << " column " << c;
        ASSERT_EQ (d.columnStamp[(size_t) c].load(), ref.stamp[(size_t) c]) << what << " column " << c;
    }
}

struct Window { double offset, width; };

// Whole ring, inner windows, windows running past the ring's end, offsets beyond 1, and
// windows narrower than the column count.
const Window windows[] { { 0.0, 1.0 }, { 0.3, 0.2 }, { 0.9, 0.3 }, { 0.55, 0.5 },
                         { 1.2, 0.5 }, { 0.501, 0.0003 }, { 0.999, 0.004 } };

} // namespace

TEST (DisplayFeed, LiveSamplesLandInTheColumnsTheSampleBySampleRuleGives)
{
    std::mt19937 random (11);
    std::uniform_real_distribution<float> sample (-1.0f, 1.0f);
    constexpr int capacity = 20000;

    for (const int columns : { 1, 7, 990 })
    {
        for (const auto w : windows)
        {
            const auto display = std::make_unique<DisplayBuffer>();
            display->pushBack (columns);
            ReferenceColumns ref (columns);
            int writeIndex = 19000, stamp = 4;

            for (const int blockSize : { 512, 64, 3000, 1, 4096, 700 })
            {
                std::vector<float> l ((size_t) blockSize), r ((size_t) blockSize);

                for (int i = 0; i < blockSize; ++i)
                    l[(size_t) i] = sample (random), r[(size_t) i] = sample (random);

                DisplayFeed::mergeLive (*display, l.data(), r.data(), blockSize, writeIndex, capacity, w.offset, w.width, stamp);
                referenceLive (ref, l, r, writeIndex, capacity, w.offset, w.width, stamp);
                expectSame (*display, ref, "live");

                writeIndex = (writeIndex + blockSize) % capacity;
                stamp += blockSize % 2;
            }
        }
    }
}

TEST (DisplayFeed, MonoAndSilentInputs)
{
    const auto display = std::make_unique<DisplayBuffer>();
    display->pushBack (4);
    const std::vector<float> l { 0.5f, -0.25f, 1.0f, 0.0f };

    DisplayFeed::mergeLive (*display, l.data(), nullptr, 4, 0, 4, 0.0, 1.0, 0);
    EXPECT_EQ (display->columnMax[1].load(), -0.25f);   // the mean of a sample with itself

    DisplayFeed::mergeLive (*display, nullptr, nullptr, 4, 0, 4, 0.0, 1.0, 1);
    EXPECT_EQ (display->columnMax[2].load(), 0.0f);
    EXPECT_EQ (display->columnMin[2].load(), 0.0f);
}

TEST (DisplayFeed, NoColumnsMeansNothingIsWritten)
{
    const auto display = std::make_unique<DisplayBuffer>();
    display->pushBack (0);
    const std::vector<float> l (64, 0.5f);

    DisplayFeed::mergeLive (*display, l.data(), l.data(), 64, 0, 1000, 0.0, 1.0, 0);
    EXPECT_EQ (display->columnStamp[0].load(), -1);
}

TEST (DisplayFeed, RefillRebuildsTheWindowAsTheSampleBySampleRuleDoes)
{
    std::mt19937 random (5);
    std::uniform_real_distribution<float> sample (-1.0f, 1.0f);
    constexpr int capacity = 100000;

    varrow::CircularBuffer ring (capacity);
    std::vector<float> l ((size_t) capacity + 777), r ((size_t) capacity + 777);

    for (size_t i = 0; i < l.size(); ++i)
        l[i] = sample (random), r[i] = sample (random);

    ring.writeBlock (l.data(), r.data(), (int) l.size());

    for (const int columns : { 3, 990 })
    {
        for (const auto w : windows)
        {
            const auto display = std::make_unique<DisplayBuffer>();
            display->pushBack (columns);
            ReferenceColumns ref (columns);

            // Columns the live feed already wrote this lap are widened, not restarted.
            display->updateColumn (0, 2.0f, ring.wrapCount);
            ref.update (0, 2.0f, ring.wrapCount);

            double progress = 0.0, expected = 0.0;

            for (int block = 0; block < 10 && progress < 1.0; ++block)
            {
                progress = DisplayFeed::refill (*display, ring, w.offset, w.width, progress, 44100);
                expected = referenceRefill (ref, ring, w.offset, w.width, expected, 44100);
                ASSERT_EQ (progress, expected);
                expectSame (*display, ref, "refill");
            }

            EXPECT_EQ (progress, 1.0) << w.offset << " " << w.width;
        }
    }
}

TEST (DisplayFeed, RefillVisitsAtMostTheGivenNumberOfPositionsPerCall)
{
    varrow::CircularBuffer ring (441000);
    const auto display = std::make_unique<DisplayBuffer>();
    display->pushBack (100);

    EXPECT_DOUBLE_EQ (DisplayFeed::refill (*display, ring, 0.0, 1.0, 0.0, 44100), 0.1);
    EXPECT_EQ (display->columnMax[10].load(), 0.0f);                 // reached
    EXPECT_EQ (display->columnMax[11].load(), DisplayBuffer::emptyMax); // not yet
}

TEST (DisplayFeed, AWindowWithoutSamplesFinishesAtOnce)
{
    varrow::CircularBuffer ring (1000);
    const auto display = std::make_unique<DisplayBuffer>();

    EXPECT_TRUE (std::isnan (DisplayFeed::refill (*display, ring, 0.5, 1.0e-9, 0.0, 44100)));
}

TEST (DisplayFeed, HandWorkedColumns)
{
    // Eight ring positions over five columns: position j lies at j / 8 of the window, in
    // column round (j / 8 * 4) with halves rounded away from zero, so j = 1, 3, 5, 7 move up.
    const std::vector<float> values { 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f };
    struct Column { float max, min; };
    const auto expectColumns = [] (const DisplayBuffer& display, std::initializer_list<Column> columns, const char* what)
    {
        size_t c = 0;

        for (const auto column : columns)
        {
            EXPECT_EQ (display.columnMax[c].load(), column.max) << what << ", column " << c;
            EXPECT_EQ (display.columnMin[c].load(), column.min) << what << ", column " << c;
            ++c;
        }
    };

    const auto live = std::make_unique<DisplayBuffer>();
    live->pushBack (5);
    DisplayFeed::mergeLive (*live, values.data(), values.data(), 8, 0, 8, 0.0, 1.0, 0);
    expectColumns (*live, { { 1, 1 }, { 3, 2 }, { 5, 4 }, { 7, 6 }, { 8, 8 } }, "whole ring");

    // A window from 0.75 over half the ring runs past its end: positions 6 and 7, then 0 to 2
    // from the ring's beginning; 3 to 5 lie outside.
    const auto wrapped = std::make_unique<DisplayBuffer>();
    wrapped->pushBack (5);
    DisplayFeed::mergeLive (*wrapped, values.data(), values.data(), 8, 0, 8, 0.75, 0.5, 0);
    expectColumns (*wrapped, { { 7, 7 }, { 8, 8 }, { 1, 1 }, { 2, 2 }, { 3, 3 } }, "past the end");

    // The refill puts the ring's own samples in the same columns.
    varrow::CircularBuffer ring (8);
    ring.writeBlock (values.data(), values.data(), 8);
    const auto refilled = std::make_unique<DisplayBuffer>();
    refilled->pushBack (5);
    EXPECT_EQ (DisplayFeed::refill (*refilled, ring, 0.0, 1.0, 0.0, 44100), 1.0);
    expectColumns (*refilled, { { 1, 1 }, { 3, 2 }, { 5, 4 }, { 7, 6 }, { 8, 8 } }, "refill");
}
