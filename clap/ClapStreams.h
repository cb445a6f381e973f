#pragma once

#include <clap/stream.h>
#include <juce_core/juce_core.h>

/** Moves a state block through a host's CLAP streams.

    Hosts may hand over fewer bytes per call than asked for, in either direction; both helpers
    keep calling until the block is complete. A stream that reports an error, or a write that
    makes no progress, fails the transfer.
*/
class ClapStreams
{
public:
    /** Reads the stream to its end into `destination`. False on a read error or when the stream
        holds more than `maxBytes`. */
    static bool readAll (const clap_istream_t& stream, juce::MemoryBlock& destination,
                         size_t maxBytes = defaultMaxBytes);

    /** Writes every byte of `data`. False if the host reports an error or accepts nothing. */
    static bool writeAll (const clap_ostream_t& stream, const void* data, size_t numBytes);

    // A state far beyond anything the processor writes is refused rather than buffered.
    static constexpr size_t defaultMaxBytes = 64 * 1024 * 1024;
};
