#include "BarSnapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool BarSnapping::applies (bool snapFileLength, bool isStandalone, bool hostIsAbletonLive) noexcept
{
    return snapFileLength && ! isStandalone && hostIsAbletonLive;
}

int BarSnapping::snappedLength (int numSamples, int sampleRate, double bpm) noexcept
{
    if (sampleRate <= 0 || ! (bpm > 0.0) || ! std::isfinite (bpm))
        return numSamples;

    const double seconds = (double) numSamples / (double) sampleRate;

    if (seconds >= 60.0)
        return numSamples;

    const double bars = seconds * bpm / 240.0;
    const double exponent = std::max (0.0, std::ceil (std::log2 (bars)));   // no sound: one bar
    const double length = std::round (std::pow (2.0, exponent) * sampleRate * (240.0 / bpm));

    // A very slow tempo could ask for more than a file can hold; such a snippet keeps its length.
    return length <= (double) std::numeric_limits<int>::max() ? (int) length : numSamples;
}
