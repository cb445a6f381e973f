#include "SilenceScan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

double SilenceScan::level (float x) noexcept
{
    constexpr float quietest = 2.9802322e-8f;   // 2^-25
    const float magnitude = std::abs (x);

    if (! (magnitude >= quietest))
        return floorDb;

    return std::max (floorDb, std::log ((double) magnitude) * 8.685889638065037);
}

double SilenceScan::loudest (const float* left, const float* right, int numSamples) noexcept
{
    // The largest magnitude has the highest level, so one logarithm per call is enough.
    float peak = 0.0f;

    for (int i = 0; i < numSamples; ++i)
        peak = std::max ({ peak, std::abs (left[i]), std::abs (right[i]) });

    return level (peak);
}

float SilenceScan::loudMagnitude (double thresholdDb) noexcept
{
    if (level (0.0f) >= thresholdDb)
        return 0.0f;

    // The level never falls as the magnitude grows, and non-negative floats order like their
    // bit patterns: a binary search over the patterns finds the exact boundary.
    const auto asFloat = [] (std::uint32_t bits) { float f; std::memcpy (&f, &bits, sizeof f); return f; };
    std::uint32_t low = 0, high = 0x7f800000;   // level (low) < threshold; high is infinity

    if (! (level (asFloat (high)) >= thresholdDb))
        return asFloat (high);

    while (high - low > 1)
    {
        const auto middle = low + (high - low) / 2;
        (level (asFloat (middle)) >= thresholdDb ? high : low) = middle;
    }

    return asFloat (high);
}

bool SilenceScan::isLoud (const float* const* channels, int numChannels, int i, float magnitude) noexcept
{
    for (int c = 0; c < numChannels; ++c)
        if (std::abs (channels[c][i]) >= magnitude)
            return true;

    return false;
}

juce::Range<int> SilenceScan::keptRange (const float* const* channels, int numChannels, int numSamples,
                                         double thresholdDb, bool keepStart) noexcept
{
    if (numSamples <= 0)
        return {};

    const float magnitude = loudMagnitude (thresholdDb);

    int last = numSamples - 1;

    while (last >= 0 && ! isLoud (channels, numChannels, last, magnitude))
        --last;

    if (last < 0)
        return { 0, numSamples };   // nothing loud: the snippet is written whole

    int start = 0;

    if (! keepStart)
    {
        int firstLoud = 0;

        while (! isLoud (channels, numChannels, firstLoud, magnitude))
            ++firstLoud;

        start = std::max (0, firstLoud - 1);
    }

    const int end = std::min (numSamples - 1, last + 1);
    return { start, end + 1 };
}
