#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <cstdint>

namespace varrow
{

/** The rolling two-channel capture ring.

    One thread (the audio thread) writes samples and restarts the ring; other threads read
    the published index and capacity, and copy regions out through copyRegion(), which
    detects the samples the writer overwrote while the copy ran.
*/
class CircularBuffer
{
public:
    /** Storage for both channels, created (zeroed) away from the audio thread and handed to
        restart(), which swaps it with the ring's own so that the audio thread never allocates. */
    struct Channels
    {
        explicit Channels (int numSamples);

        juce::AudioBuffer<float> left, right;
    };

    /** What a copy could guarantee: the destination samples inside `valid` are exactly what
        the ring held at those positions when the copy began; all others were overwritten
        (or discarded by a restart) during the copy and have been set to zero. */
    struct CopyResult
    {
        juce::Range<int> valid;
    };

    explicit CircularBuffer (int capacity);

    /** Writes one stereo sample at the write head and advances it. Audio thread. */
    void write (float leftValue, float rightValue) noexcept;

    /** Writes n samples as n calls to write() would; a null left source writes silence and a
        null right source repeats the left one. Audio thread. */
    void writeBlock (const float* leftSource, const float* rightSource, int n) noexcept;

    /** Empties the ring by adopting the zeroed channels in `fresh` (which must hold exactly
        newCapacity samples); the old channels are left in `fresh` for release elsewhere.
        Audio thread; constant time. */
    void restart (int newCapacity, Channels& fresh) noexcept;

    /** Copies numSamples samples starting at ring index `first` (wrapping at the capacity).
        Never blocks the writer. Message thread. */
    CopyResult copyRegion (int first, int numSamples, float* destLeft, float* destRight) const noexcept;

    /** The destination samples of a copy of numSamples slots from `first` that stay valid
        when the writer overwrote `overwritten` slots, starting at the then oldest one. */
    static juce::Range<int> keptAfterOverwrite (int first, int numSamples, int capacity,
                                                int oldestIndex, std::int64_t overwritten) noexcept;

    juce::AudioBuffer<float> left, right;
    int capacity = 0;
    std::atomic<int> capacityShared { 0 };
    int writeIndex = 0;
    std::atomic<int> writeIndexShared { 0 };
    int wrapCount = 0;

private:
    static std::uint64_t pack (int lap, int index) noexcept;
    void beginWrite (int endIndex) noexcept;
    void publish() noexcept;
    void publishStorage() noexcept;

    // Readers see (lap, index) pairs as one value. `reserved` announces how far the writer is
    // about to write before it touches the samples; `position` says how far it has written.
    // (Mutable because readers check them with read-modify-writes that add nothing.)
    mutable std::atomic<std::uint64_t> reserved { 0 };
    std::atomic<std::uint64_t> position { 0 };
    mutable std::atomic<std::uint32_t> restartSequence { 0 };   // odd while a restart is under way
    std::atomic<const float*> leftShared { nullptr }, rightShared { nullptr };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CircularBuffer)
};

} // namespace varrow
