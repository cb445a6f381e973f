#include "varrow/DisplayBuffer.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <cstring>
#include <random>

using varrow::DisplayBuffer;

namespace
{

bool isReset (const DisplayBuffer& d, int c)
{
    return d.columnMax[(size_t) c].load() == DisplayBuffer::emptyMax
        && d.columnMin[(size_t) c].load() == DisplayBuffer::emptyMin
        && d.columnStamp[(size_t) c].load() == -1;
}

} // namespace

TEST (DisplayBuffer, StartsWithEveryColumnEmptyAndTenCounted)
{
    const auto d = std::make_unique<DisplayBuffer>();

    EXPECT_EQ (d->columnCount, 10);
    EXPECT_EQ (d->columnCountShared.load(), 10);

    for (int c = 0; c < DisplayBuffer::maxColumns; ++c)
        ASSERT_TRUE (isReset (*d, c)) << c;

    // The sentinels are the extreme finite floats.
    const auto bits = [] (float f) { juce::uint32 u; std::memcpy (&u, &f, sizeof u); return u; };
    EXPECT_EQ (bits (DisplayBuffer::emptyMax), 0xff7fffffu);
    EXPECT_EQ (bits (DisplayBuffer::emptyMin), 0x7f7fffffu);
}

TEST (DisplayBuffer, PushBackResetsOnlyTheColumnsItCounts)
{
    const auto d = std::make_unique<DisplayBuffer>();
    d->pushBack (990);

    for (int c = 0; c < 990; ++c)
        d->updateColumn (c, 0.5f, 3);

    d->pushBack (5);
    EXPECT_EQ (d->columnCountShared.load(), 5);
    EXPECT_TRUE (isReset (*d, 4));
    EXPECT_EQ (d->columnMax[5].load(), 0.5f);
    EXPECT_EQ (d->columnStamp[989].load(), 3);

    d->pushBack (0);
    EXPECT_EQ (d->columnCount, 0);
    EXPECT_EQ (d->columnMax[5].load(), 0.5f);
}

TEST (DisplayBuffer, ColumnCountsAreClampedToTheArrays)
{
    const auto d = std::make_unique<DisplayBuffer>();

    d->pushBack (25000);
    EXPECT_EQ (d->columnCountShared.load(), DisplayBuffer::maxColumns);

    d->pushBack (-3);
    EXPECT_EQ (d->columnCountShared.load(), 0);
}

TEST (DisplayBuffer, StampsDecideBetweenRestartingAndWidening)
{
    struct Step { float v; int stamp; float max, min; int storedStamp; };

    const Step steps[] {
        { 0.2f, 0, 0.2f, 0.2f, 0 },      // a reset column takes the first value whatever the stamp
        { -0.1f, 0, 0.2f, -0.1f, 0 },    // same lap: widens
        { 0.1f, 0, 0.2f, -0.1f, 0 },     // inside the range: nothing changes
        { 0.05f, 1, 0.05f, 0.05f, 1 },   // a newer lap restarts the column
        { 0.3f, 0, 0.3f, 0.05f, 0 },     // an older lap widens without restarting (and takes its stamp)
        { 0.3f, 5, 0.3f, 0.3f, 5 },
    };

    const auto d = std::make_unique<DisplayBuffer>();

    for (const auto& s : steps)
    {
        d->updateColumn (3, s.v, s.stamp);
        EXPECT_EQ (d->columnMax[3].load(), s.max) << s.v;
        EXPECT_EQ (d->columnMin[3].load(), s.min) << s.v;
        EXPECT_EQ (d->columnStamp[3].load(), s.storedStamp) << s.v;
    }
}

TEST (DisplayBuffer, MergingARunEqualsMergingItsValuesInTurn)
{
    std::mt19937 random (7);
    std::uniform_real_distribution<float> value (-1.0f, 1.0f);
    std::uniform_int_distribution<int> stamp (-1, 3), length (1, 6);

    const auto bySample = std::make_unique<DisplayBuffer>();
    const auto byRun = std::make_unique<DisplayBuffer>();

    for (int trial = 0; trial < 2000; ++trial)
    {
        const int s = stamp (random);
        float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();

        for (int i = length (random); --i >= 0;)
        {
            const float v = value (random);
            bySample->updateColumn (0, v, s);
            lo = std::min (lo, v);
            hi = std::max (hi, v);
        }

        byRun->mergeRun (0, lo, hi, s);

        ASSERT_EQ (byRun->columnMax[0].load(), bySample->columnMax[0].load());
        ASSERT_EQ (byRun->columnMin[0].load(), bySample->columnMin[0].load());
        ASSERT_EQ (byRun->columnStamp[0].load(), bySample->columnStamp[0].load());
    }
}
