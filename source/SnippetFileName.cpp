#include "SnippetFileName.h"

#include <charconv>
#include <cmath>

juce::String SnippetFileName::timeStamp (juce::Time time)
{
    return time.toISO8601 (false).replaceCharacter ('.', '_').replaceCharacter ('+', '_');
}

juce::String SnippetFileName::tempoSuffix (bool appendBpm, double bpm)
{
    // -1.0 means the host never reported a tempo; a value no host sends gives no suffix either.
    if (! appendBpm || bpm == -1.0 || ! std::isfinite (bpm) || bpm <= 0.0)
        return {};

    // Six decimals as "%f" prints them, but always with a point: a host's locale must not put
    // a comma into the file name.
    char text[400];
    const auto printed = std::to_chars (text, text + sizeof (text) - 1, bpm, std::chars_format::fixed, 6);

    if (printed.ec != std::errc())
        return {};

    auto tempo = juce::String (text, (size_t) (printed.ptr - text)).trimCharactersAtEnd ("0");

    if (tempo.endsWithChar ('.'))
        tempo = tempo.dropLastCharacters (1);

    return "_" + tempo + "BPM";
}

juce::String SnippetFileName::baseName (juce::Time time, bool appendBpm, double bpm)
{
    return "VA_" + timeStamp (time) + tempoSuffix (appendBpm, bpm);
}

juce::String SnippetFileName::withAttempt (const juce::String& base, int attempt)
{
    return attempt <= 1 ? base + ".wav" : base + "_" + juce::String (attempt) + ".wav";
}
