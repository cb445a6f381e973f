#pragma once

#include <juce_core/juce_core.h>

namespace varrow
{

/** The view's and the editor's clocks. The default reads the system; tests set the time. */
class Clock
{
public:
    virtual ~Clock() = default;

    /** Milliseconds on a steady clock that never wraps (for how long a press is held). */
    virtual juce::int64 steadyMilliseconds() const = 0;

    /** The wall-clock time (for the colour animation and the waveform's frame pacing). */
    virtual juce::Time now() const = 0;

    static Clock& system();
};

} // namespace varrow
