#include "TestEnvironment.h"
#include "varrow/CircularBuffer.h"
#include "varrow/RestartMailbox.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace
{

std::vector<float> ramp (int n, float from = 1.0f)
{
    std::vector<float> v ((size_t) n);
    std::iota (v.begin(), v.end(), from);
    return v;
}

bool isSilent (const juce::AudioBuffer<float>& b)
{
    return b.findMinMax (0, 0, b.getNumSamples()) == juce::Range<float>();
}

} // namespace

TEST (CircularBuffer, StartsSilentWithEverythingAtZero)
{
    varrow::CircularBuffer ring (1000);

    EXPECT_EQ (ring.capacity, 1000);
    EXPECT_EQ (ring.capacityShared.load(), 1000);
    EXPECT_EQ (ring.writeIndexShared.load(), 0);
    EXPECT_EQ (ring.wrapCount, 0);
    EXPECT_TRUE (isSilent (ring.left));
    EXPECT_TRUE (isSilent (ring.right));
}

TEST (CircularBuffer, CapacityWritesWrapToIndexZeroAndCountOneLap)
{
    varrow::CircularBuffer ring (7);

    for (int i = 0; i < 7; ++i)
        ring.write ((float) i, (float) -i);

    EXPECT_EQ (ring.writeIndex, 0);
    EXPECT_EQ (ring.writeIndexShared.load(), 0);
    EXPECT_EQ (ring.wrapCount, 1);
    EXPECT_EQ (ring.left.getSample (0, 6), 6.0f);
    EXPECT_EQ (ring.right.getSample (0, 6), -6.0f);
}

TEST (CircularBuffer, BlockWritesLeaveTheRingAsSampleWritesDo)
{
    // Block sizes below, equal to and above the capacity, starting at various offsets.
    for (const int blockSize : { 1, 3, 10, 11, 25 })
    {
        varrow::CircularBuffer bySample (10), byBlock (10);
        const auto l = ramp (blockSize), r = ramp (blockSize, 100.0f);

        for (int round = 0; round < 4; ++round)
        {
            for (int i = 0; i < blockSize; ++i)
                bySample.write (l[(size_t) i], r[(size_t) i]);

            byBlock.writeBlock (l.data(), r.data(), blockSize);

            ASSERT_EQ (byBlock.writeIndex, bySample.writeIndex) << blockSize;
            ASSERT_EQ (byBlock.writeIndexShared.load(), bySample.writeIndexShared.load());
            ASSERT_EQ (byBlock.wrapCount, bySample.wrapCount);

            for (int i = 0; i < 10; ++i)
            {
                ASSERT_EQ (byBlock.left.getSample (0, i), bySample.left.getSample (0, i));
                ASSERT_EQ (byBlock.right.getSample (0, i), bySample.right.getSample (0, i));
            }
        }
    }
}

TEST (CircularBuffer, BlockWriteWithoutRightChannelRepeatsLeftAndWithoutInputWritesSilence)
{
    varrow::CircularBuffer ring (8);
    const auto l = ramp (4);

    ring.writeBlock (l.data(), nullptr, 4);
    EXPECT_EQ (ring.right.getSample (0, 3), 4.0f);

    ring.writeBlock (nullptr, nullptr, 6);
    EXPECT_EQ (ring.writeIndex, 2);
    EXPECT_EQ (ring.left.getSample (0, 0), 0.0f);
    EXPECT_EQ (ring.right.getSample (0, 7), 0.0f);
}

TEST (CircularBuffer, RestartAdoptsFreshSilentChannelsAndHandsBackTheOldOnes)
{
    varrow::CircularBuffer ring (100);
    const auto l = ramp (150);
    ring.writeBlock (l.data(), l.data(), 150);
    ASSERT_EQ (ring.wrapCount, 1);

    varrow::CircularBuffer::Channels fresh (40);
    ring.restart (40, fresh);

    EXPECT_EQ (ring.capacity, 40);
    EXPECT_EQ (ring.capacityShared.load(), 40);
    EXPECT_EQ (ring.writeIndexShared.load(), 0);
    EXPECT_EQ (ring.wrapCount, 2);
    EXPECT_EQ (ring.left.getNumSamples(), 40);
    EXPECT_TRUE (isSilent (ring.left));
    EXPECT_TRUE (isSilent (ring.right));
    EXPECT_EQ (fresh.left.getNumSamples(), 100);
    EXPECT_EQ (fresh.left.getSample (0, 0), 101.0f);
}

TEST (CircularBuffer, CopyReadsAcrossTheEndOfTheStorage)
{
    varrow::CircularBuffer ring (10);
    const auto l = ramp (10), r = ramp (10, 50.0f);
    ring.writeBlock (l.data(), r.data(), 10);

    struct Case { int first, n; float firstLeft, lastLeft; };

    for (const auto c : { Case { 7, 5, 8.0f, 2.0f },      // 7, 8, 9, 0, 1
                          Case { 17, 2, 8.0f, 9.0f },     // a start beyond the capacity wraps too
                          Case { 0, 10, 1.0f, 10.0f } })
    {
        std::vector<float> dl ((size_t) c.n), dr ((size_t) c.n);
        const auto result = ring.copyRegion (c.first, c.n, dl.data(), dr.data());

        EXPECT_EQ (result.valid, juce::Range<int> (0, c.n));
        EXPECT_EQ (dl.front(), c.firstLeft);
        EXPECT_EQ (dl.back(), c.lastLeft);
        EXPECT_EQ (dr.front(), c.firstLeft + 49.0f);
    }
}

TEST (CircularBuffer, OverwrittenSlotsAreExcludedFromACopy)
{
    // Ring of 100 whose oldest slot was 40 when the copy began.
    struct Case { int first, n; std::int64_t overwritten; juce::Range<int> kept; };

    for (const auto c : {
             Case { 50, 30, 0, { 0, 30 } },     // nothing overwritten
             Case { 50, 30, 5, { 0, 30 } },     // the writer stayed behind the region
             Case { 50, 30, 15, { 5, 30 } },    // it ate the region's oldest five
             Case { 40, 30, 30, { 30, 30 } },   // all of it
             Case { 30, 30, 4, { 14, 30 } },    // region spans the oldest slot: 10..13 lost, the longer side kept
             Case { 20, 30, 4, { 0, 20 } },     // ... here the earlier side is longer
             Case { 50, 30, 100, {} } })        // a whole lap
    {
        EXPECT_EQ (varrow::CircularBuffer::keptAfterOverwrite (c.first, c.n, 100, 40, c.overwritten), c.kept)
            << c.first << " " << c.overwritten;
    }
}

TEST (CircularBuffer, CapacityTruncatesTheSampleRate)
{
    EXPECT_EQ (AudioPluginAudioProcessor::capacityFor (44100.0, 30), 1323000);
    EXPECT_EQ (AudioPluginAudioProcessor::capacityFor (44100.9, 30), 1323000);
    EXPECT_EQ (AudioPluginAudioProcessor::capacityFor (48000.0, 30), 1440000);
    EXPECT_EQ (AudioPluginAudioProcessor::capacityFor (192000.0, 600), 115200000);
    EXPECT_GE (AudioPluginAudioProcessor::capacityFor (0.0, 30), 1);
}

TEST (RestartMailbox, ParcelsTravelOnceAndComeBackForRelease)
{
    varrow::RestartMailbox mailbox;
    EXPECT_EQ (mailbox.claim(), nullptr);

    mailbox.post (std::make_unique<varrow::RestartMailbox::Parcel> (10, 1));
    mailbox.post (std::make_unique<varrow::RestartMailbox::Parcel> (20, 2));   // replaces the unclaimed one

    auto* parcel = mailbox.claim();
    ASSERT_NE (parcel, nullptr);
    EXPECT_EQ (parcel->tag, 2);
    EXPECT_EQ (parcel->channels.left.getNumSamples(), 20);
    EXPECT_EQ (mailbox.claim(), nullptr);

    mailbox.giveBack (parcel);
    EXPECT_TRUE (mailbox.isHoldingMemory());
    mailbox.releaseReturned();
    EXPECT_FALSE (mailbox.isHoldingMemory());
}
