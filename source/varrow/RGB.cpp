#include "RGB.h"

#include <cmath>

namespace varrow
{

juce::Colour RGB::toJuceColor() const noexcept
{
    const auto byte = [] (int v) { return (juce::uint32) v & 0xffu; };
    return juce::Colour ((byte (a) << 24) | (byte (r) << 16) | (byte (g) << 8) | byte (b));
}

RGB palette (float t, int type) noexcept
{
    // The cycle multiplier is 6.28318, not 2 pi: the colours drift by that difference.
    if (type == 1)
    {
        const auto channel = [t] (float phase)
        {
            const float v = std::cos ((t + phase) * 6.28318f) * 0.5f + 0.8f;
            return v > 1.0f ? 255 : (int) std::floor (v * 255.0f + 0.5f);
        };

        return { channel (0.0f), channel (0.33f), channel (0.67f), 255 };
    }

    if (type == 2)
    {
        const auto channel = [t] (double phase, double depth, double centre)
        {
            const double v = std::cos (((double) t + phase) * 6.28318) * depth + centre;
            return v > 1.0 ? 255 : v < 0.0 ? 0 : (int) std::floor (v * 255.0);
        };

        return { channel (0.0, 0.6, 0.7), channel (0.33, 0.0, 0.9), channel (0.66, 0.0, 0.4), 255 };
    }

    return { 0, 0, 0, 255 };
}

} // namespace varrow
