#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

/** Writes a snippet as a WAV file without metadata, safely: the samples go into a hidden
    temporary file in the target folder, which gets its final name only once everything was
    written and read back; a name already taken is never overwritten. After any failure no
    file is left behind. */
class SnippetFileWriter
{
public:
    struct Format
    {
        double sampleRate = 44100.0;
        int numChannels = 2;
        int bitsPerSample = 32;   // 32: IEEE float; 24: integer PCM
    };

    struct Result
    {
        juce::File file;       // the written file, when it succeeded
        juce::String error;    // why it failed, as a plain phrase ("No space left on device")

        bool succeeded() const noexcept { return error.isEmpty(); }
    };

    /** Writes numSamples samples of the first format.numChannels channels, followed by
        `padding` samples of silence, as <folder>/<baseName>.wav (or _2, _3, ... when taken). */
    static Result write (const juce::File& folder, const juce::String& baseName,
                         const float* const* channels, int numSamples, int padding, const Format& format);

    /** Samples handed to the framework's writer per call: its conversion buffer stays small. */
    static constexpr int samplesPerWrite = 65536;

private:
    static juce::String writeSamples (const juce::File& file, const float* const* channels,
                                      int numSamples, int padding, const Format& format);
    static juce::String checkWrittenFile (const juce::File& file, juce::int64 numFrames, const Format& format);
    static Result giveFinalName (const juce::File& temporary, const juce::File& folder, const juce::String& baseName);
};
