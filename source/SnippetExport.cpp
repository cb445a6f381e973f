#include "SnippetExport.h"
#include "BarSnapping.h"
#include "SilenceScan.h"
#include "SnippetFileName.h"

#include <algorithm>
#include <vector>

const char* const SnippetExport::ringReplacedCause = "the recording was restarted while the snippet was being copied";

SnippetExport::Copied SnippetExport::copy (const Copy& copyFromRing, const Snapshot& since, const SnippetRegion& region,
                                           int channelMode, juce::AudioBuffer<float>& storage)
{
    const int capacity = since.capacity;
    const int n = juce::jlimit (0, std::max (0, capacity), region.numSamples);

    if (capacity <= 0)
        return {};

    storage.setSize (2, std::max (1, n), false, false, true);

    // The mode's channel goes into channel 0, which is the one a mono file holds.
    auto* first = storage.getWritePointer (channelMode == monoRight ? 1 : 0);
    auto* second = storage.getWritePointer (channelMode == monoRight ? 0 : 1);
    std::int64_t overwritten = 0;

    for (int done = 0; done < n;)
    {
        const int chunk = std::min (samplesPerCopy, n - done);
        const auto result = copyFromRing (since, region.first + done, chunk, first + done, second + done);

        if (! result.sameRing || result.capacity != capacity || result.generation != since.generation)
            return {};

        overwritten = std::max (overwritten, result.overwritten);
        done += chunk;
    }

    if (overwritten >= capacity)
        return {};

    const auto [headLost, wrapLost] = varrow::CircularBuffer::lostAfterOverwrite (region.first, n, capacity,
                                                                                  since.writeIndex, overwritten);

    if (! wrapLost.isEmpty())
    {
        // Close the gap: what follows it moves back over it.
        for (auto* channel : { first, second })
            std::copy (channel + wrapLost.getEnd(), channel + n, channel + wrapLost.getStart());
    }

    return { headLost.getEnd(), n - headLost.getLength() - wrapLost.getLength(), true };
}

SnippetFileWriter::Result SnippetExport::write (const juce::File& folder, juce::Time time, const Copy& copyFromRing,
                                                const Snapshot& since, const SnippetRegion& region,
                                                const Options& options, juce::AudioBuffer<float>& storage)
{
    const auto copied = copy (copyFromRing, since, region, options.channelMode, storage);

    if (! copied.complete)
        return { {}, ringReplacedCause };

    const int numChannels = options.channelMode == stereo ? 2 : 1;
    const float* channels[] { storage.getReadPointer (0) + copied.offset, storage.getReadPointer (1) + copied.offset };

    auto kept = juce::Range<int> (0, copied.numSamples);

    if (options.trimSilence)
        kept = SilenceScan::keptRange (channels, numChannels, copied.numSamples, options.thresholdDb, options.keepStart);

    channels[0] += kept.getStart();
    channels[1] += kept.getStart();

    const int length = options.snapToBars ? BarSnapping::snappedLength (kept.getLength(), options.sampleRate, options.bpm)
                                          : kept.getLength();

    // Snapping only ever pads: the written samples are the kept ones, then silence.
    const int written = std::min (length, kept.getLength());
    const SnippetFileWriter::Format format { (double) options.sampleRate, numChannels, options.save24Bit ? 24 : 32 };

    return SnippetFileWriter::write (folder, SnippetFileName::baseName (time, options.appendBpm, options.bpm),
                                     channels, written, length - written, format);
}

double SnippetExport::loudestLevel (const Copy& copyFromRing, const Snapshot& since, const SnippetRegion& region)
{
    const int n = juce::jlimit (0, std::max (0, since.capacity), region.numSamples);
    std::vector<float> left ((size_t) std::min (n, samplesPerCopy)), right (left.size());
    double loudest = SilenceScan::floorDb;

    for (int done = 0; done < n;)
    {
        const int chunk = std::min (samplesPerCopy, n - done);
        const auto result = copyFromRing (since, region.first + done, chunk, left.data(), right.data());

        if (! result.sameRing)
            break;

        // Only the samples the writer had not reached count.
        const auto valid = result.valid;
        loudest = std::max (loudest, SilenceScan::loudest (left.data() + valid.getStart(), right.data() + valid.getStart(),
                                                           valid.getLength()));
        done += chunk;
    }

    return loudest;
}
