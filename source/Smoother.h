#pragma once

#include <atomic>
#include <cmath>

/** One-pole smoother: each step moves `current` a fixed share of the way to `target`.

    The target may be set from another thread than the one stepping the smoother.
*/
class Smoother
{
public:
    Smoother (double coefficientToUse, double initialTarget, double initialCurrent) noexcept
        : coefficient (coefficientToUse), target (initialTarget), current (initialCurrent) {}

    /** The coefficient that gives a time constant of `seconds` at `sampleRate`. */
    static double coefficientFor (double seconds, double sampleRate) noexcept
    {
        return 1.0 - std::exp (-1.0 / (sampleRate * seconds));
    }

    void step() noexcept
    {
        current = current + (target.load (std::memory_order_relaxed) - current) * coefficient;
    }

    /** Sets current to target once it is within `tolerance` of it; returns true when it did. */
    bool snap (double tolerance = 1.0e-5) noexcept
    {
        const auto t = target.load (std::memory_order_relaxed);

        if (std::abs (current - t) > tolerance)
            return false;

        current = t;
        return true;
    }

    double getTarget() const noexcept           { return target.load (std::memory_order_relaxed); }
    void setTarget (double newTarget) noexcept  { target.store (newTarget, std::memory_order_relaxed); }

    double coefficient;
    std::atomic<double> target;
    double current;
    double rate = 44100.0;   // kept for the record; the coefficient already includes the rate
};
