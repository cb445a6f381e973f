#pragma once

#include <atomic>

namespace varrow
{

/** The visible window over the capture ring, in ring fractions: the ring position at its
    left edge (kept in [0, 2)) and the share of the ring it shows (0 < width <= 1).
    Written only by the audio thread. */
class Zoom
{
public:
    /** View fraction of ring position p in a window; results outside [0, 1] lie outside it.
        A window running past the ring's end shows the ring's beginning in its right part. */
    static double getConstrained (double p, double offset, double width) noexcept
    {
        if (offset + width > 1.0 && (p < offset || p > offset + width))
            p += 1.0;

        return (p - offset) / width;
    }

    double getConstrained (double p) const noexcept
    {
        return getConstrained (p, offset.load (std::memory_order_relaxed), width.load (std::memory_order_relaxed));
    }

    std::atomic<double> offset { 0.0 };
    std::atomic<double> width { 1.0 };
};

} // namespace varrow
