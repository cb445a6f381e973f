#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace quorvel::test
{

/** A WAV file as libsndfile (a reader independent of the framework's) sees it. */
struct WavFile
{
    bool opened = false;
    int sampleRate = 0, channels = 0, format = 0;   // format: libsndfile's SF_FORMAT_* bits
    juce::int64 frames = 0;
    std::vector<std::vector<float>> samples;      // per channel

    static WavFile read (const juce::File& file);

    bool isFloat() const;
    bool isPcm24() const;
};

/** The ids of the top-level chunks inside the file's RIFF WAVE container, in order. */
juce::StringArray riffChunkIds (const juce::File& file);

} // namespace quorvel::test
