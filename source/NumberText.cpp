#include "NumberText.h"

#include <charconv>
#include <cstdio>

namespace NumberText
{

juce::String general (double value)
{
    // "%g" as the C library prints it; a comma from a host's locale becomes a point.
    char text[64];
    std::snprintf (text, sizeof (text), "%g", value);
    return juce::String (text).replaceCharacter (',', '.');
}

juce::String twoDecimals (double value)
{
    char text[400];
    const auto printed = std::to_chars (text, text + sizeof (text), value, std::chars_format::fixed, 2);
    return printed.ec == std::errc() ? juce::String (text, (size_t) (printed.ptr - text)) : juce::String (value);
}

} // namespace NumberText
