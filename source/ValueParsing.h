#pragma once

#include <juce_core/juce_core.h>

/** Conversions of stored text and state values that cannot overflow or produce values the
    rest of the program cannot use, whatever the stored bytes hold. In range they give what
    the framework's own conversions give. */
namespace ValueParsing
{
    /** Like juce::String::getIntValue() (leading blanks, '-', digits), saturating on overflow. */
    int parseInt (const juce::String& text) noexcept;

    /** An int from a state property of any type; non-numbers read as 0, out-of-range values saturate. */
    int toInt (const juce::var& value) noexcept;

    /** A finite double from a state property, or `fallback` when it holds no finite number. */
    double toFiniteDouble (const juce::var& value, double fallback) noexcept;

    /** A finite double from stored text, or `fallback` when it holds no finite number. */
    double parseFiniteDouble (const juce::String& text, double fallback) noexcept;
}
