#pragma once

#include "SnippetFileWriter.h"
#include "SnippetRegion.h"
#include "varrow/CircularBuffer.h"

#include <functional>

/** Takes a region of the capture ring to a WAV file: copies it out of the ring without
    holding up the writer, leaves out the samples the write head reached meanwhile, trims the
    silence, snaps the length to bars when asked, names and writes the file. */
class SnippetExport
{
public:
    using Snapshot = varrow::CircularBuffer::Snapshot;
    using Copy = std::function<varrow::CircularBuffer::CopyResult (const Snapshot&, int first, int numSamples,
                                                                   float* destLeft, float* destRight)>;

    enum ChannelMode { stereo = 0, monoLeft = 1, monoRight = 2 };

    struct Options
    {
        int channelMode = stereo;
        bool keepStart = false;       // the playback region never loses its start
        bool trimSilence = true;
        double thresholdDb = -125.0;
        bool snapToBars = false;      // already checked against the host and the option
        double bpm = -1.0;
        bool appendBpm = true;
        int sampleRate = 44100;
        bool save24Bit = false;
    };

    /** The copied snippet: `numSamples` samples from `offset` in both channels of the storage. */
    struct Copied
    {
        int offset = 0;
        int numSamples = 0;
        bool complete = false;        // false: the ring was replaced, or overwritten entirely, during the copy
    };

    /** Samples copied per call into the ring. */
    static constexpr int samplesPerCopy = 65536;

    /** Copies the region, as seen at `since`, into `storage` (2 channels, resized as needed):
        channel 0 holds the channel the mode writes first, channel 1 the other capture channel
        in stereo and the same one in the mono modes. Samples the writer overwrote since the
        snapshot are left out, so the result can be shorter than the region. */
    static Copied copy (const Copy& copyFromRing, const Snapshot& since, const SnippetRegion& region,
                        int channelMode, juce::AudioBuffer<float>& storage);

    /** Copies, trims, snaps and writes the snippet into `folder`; the file is named from `time`. */
    static SnippetFileWriter::Result write (const juce::File& folder, juce::Time time, const Copy& copyFromRing,
                                            const Snapshot& since, const SnippetRegion& region,
                                            const Options& options, juce::AudioBuffer<float>& storage);

    /** The loudest level of both capture channels over the region, read in bounded chunks;
        samples overwritten meanwhile do not count. */
    static double loudestLevel (const Copy& copyFromRing, const Snapshot& since, const SnippetRegion& region);

    /** The cause told to the user when the ring was replaced during the copy. */
    static const char* const ringReplacedCause;
};
