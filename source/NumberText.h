#pragma once

#include <juce_core/juce_core.h>

/** Numbers as the menus and messages print them, the same in every locale. */
namespace NumberText
{
    /** Six significant digits without trailing zeros, as C's "%g": -6.0206, 0, -150. */
    juce::String general (double value);

    /** Exactly two decimals: -6.02, -90.00. */
    juce::String twoDecimals (double value);
}
