#include "ValueParsing.h"

#include <cmath>
#include <limits>

namespace ValueParsing
{

static int saturate (double v) noexcept
{
    if (! (v == v))
        return 0;

    return (int) juce::jlimit ((double) std::numeric_limits<int>::min(),
                               (double) std::numeric_limits<int>::max(), v);
}

int parseInt (const juce::String& text) noexcept
{
    auto s = text.getCharPointer().findEndOfWhitespace();
    const bool negative = *s == '-';

    if (negative)
        ++s;

    constexpr auto limit = (juce::int64) std::numeric_limits<int>::max() + 1;
    juce::int64 v = 0;

    for (;;)
    {
        const auto c = s.getAndAdvance();

        if (c < '0' || c > '9')
            break;

        v = std::min (limit, v * 10 + (juce::int64) (c - '0'));
    }

    return (int) juce::jlimit ((juce::int64) std::numeric_limits<int>::min(),
                               (juce::int64) std::numeric_limits<int>::max(),
                               negative ? -v : v);
}

int toInt (const juce::var& value) noexcept
{
    if (value.isDouble())
        return saturate ((double) value);

    if (value.isInt64())
        return (int) juce::jlimit ((juce::int64) std::numeric_limits<int>::min(),
                                   (juce::int64) std::numeric_limits<int>::max(),
                                   (juce::int64) value);

    if (value.isString())
        return parseInt (value.toString());

    return (int) value;
}

double toFiniteDouble (const juce::var& value, double fallback) noexcept
{
    const auto v = value.isString() ? value.toString().getDoubleValue() : (double) value;
    return std::isfinite (v) ? v : fallback;
}

double parseFiniteDouble (const juce::String& text, double fallback) noexcept
{
    const auto v = text.getDoubleValue();
    return std::isfinite (v) ? v : fallback;
}

} // namespace ValueParsing
