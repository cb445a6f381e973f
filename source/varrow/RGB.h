#pragma once

#include <juce_graphics/juce_graphics.h>

namespace varrow
{

/** A colour as four 0-255 channels. */
struct RGB
{
    int r = 0, g = 0, b = 0, a = 255;

    /** The colour whose ARGB word is (a << 24) | (r << 16) | (g << 8) | b, low bytes only. */
    juce::Colour toJuceColor() const noexcept;

    bool operator== (const RGB& other) const noexcept
    {
        return r == other.r && g == other.g && b == other.b && a == other.a;
    }
};

/** The animated colours of the palette themes at animation time t (seconds): type 1 cycles
    all three channels, type 2 only red; any other type gives black. Alpha is always 255. */
RGB palette (float t, int type) noexcept;

} // namespace varrow
