#pragma once

#include <juce_core/juce_core.h>

/** The name of an exported snippet: "VA_", the local time stamp with milliseconds, the host
    tempo when asked for, then ".wav". A name already taken gets "_2", "_3", ... before ".wav". */
class SnippetFileName
{
public:
    /** The local time in ISO 8601 basic form, with "." and "+" replaced by "_". */
    static juce::String timeStamp (juce::Time time);

    /** "_<tempo>BPM", the tempo without trailing zeros; empty without a tempo or when not asked for. */
    static juce::String tempoSuffix (bool appendBpm, double bpm);

    /** The name without its extension. */
    static juce::String baseName (juce::Time time, bool appendBpm, double bpm);

    /** The file name for the given attempt: base.wav first, then base_2.wav, base_3.wav, ... */
    static juce::String withAttempt (const juce::String& base, int attempt);
};
