#pragma once

#include <juce_core/juce_core.h>

/** What counts as silence in a snippet, and where its sound begins and ends.

    A sample's level is that of its magnitude, so a negative half-cycle is as loud as a
    positive one. A position is loud when any of the scanned channels reaches the threshold.
*/
class SilenceScan
{
public:
    static constexpr double floorDb = -150.0;

    /** 20 log10 |x|, and floorDb for magnitudes below 2^-25 (zero included) or anything lower. */
    static double level (float x) noexcept;

    /** The loudest level among the samples of both channels, from floorDb. */
    static double loudest (const float* left, const float* right, int numSamples) noexcept;

    /** Finds the kept range [start, end] of a snippet of numSamples positions: one position of
        silence is left before the first loud position and after the last. Without any loud
        position the whole snippet is kept; with keepStart the start is never moved. */
    static juce::Range<int> keptRange (const float* const* channels, int numChannels, int numSamples,
                                       double thresholdDb, bool keepStart) noexcept;

    /** The smallest magnitude whose level reaches the threshold (infinity when none does): the
        scans compare magnitudes with it instead of taking a logarithm per sample. */
    static float loudMagnitude (double thresholdDb) noexcept;

private:
    static bool isLoud (const float* const* channels, int numChannels, int i, float magnitude) noexcept;
};
