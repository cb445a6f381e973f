#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <cstdint>
#include <utility>

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

    /** Which ring a reader saw and where its write head stood: the reference point of the
        copies that follow, so that a region worked out from this capacity is copied from this
        very ring and samples overwritten since are known. */
    struct Snapshot
    {
        std::uint64_t generation = 0;   // this ring object and its restart count
        int capacity = 0;               // 0: no ring
        int writeIndex = 0;
        std::uint64_t position = 0;     // lap and index, as the writer publishes them
    };

    /** What a copy could guarantee: the destination samples inside `valid` are exactly what
        the ring held at those positions at the reference point; all others were overwritten
        (or discarded by a restart) since and have been set to zero. */
    struct CopyResult
    {
        juce::Range<int> valid;
        int capacity = 0;                  // the capacity the copy read with
        std::uint64_t generation = 0;      // the ring the copy read
        std::int64_t overwritten = 0;      // slots written since the reference point, counted from its write index
        bool sameRing = false;             // false when the ring was restarted since the reference point
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

    /** The ring and its write head as a reader sees them now. Never blocks the writer. */
    Snapshot snapshot() const noexcept;

    /** Copies numSamples samples starting at ring index `first` (wrapping at the capacity).
        Never blocks the writer. Message thread. */
    CopyResult copyRegion (int first, int numSamples, float* destLeft, float* destRight) const noexcept;

    /** As above, with overwrites counted from `since` instead of from the start of this copy;
        when the ring was restarted after `since`, nothing is copied (all zero, sameRing false).
        Only the samples the writer reached are zeroed: where the copy passes the oldest slot,
        samples on both sides of them are kept, while `valid` names the longer side. */
    CopyResult copyRegion (const Snapshot& since, int first, int numSamples,
                           float* destLeft, float* destRight) const noexcept;

    /** The destination samples of a copy of numSamples slots from `first` that the writer
        reached when it overwrote `overwritten` slots from the then oldest one: a stretch at the
        start of the copy and one where the copy passes the oldest slot (either may be empty). */
    static std::pair<juce::Range<int>, juce::Range<int>> lostAfterOverwrite (int first, int numSamples, int capacity,
                                                                             int oldestIndex, std::int64_t overwritten) noexcept;

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
    std::uint64_t generationOf (std::uint32_t sequence) const noexcept;
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
    const std::uint32_t serial;   // tells this ring from earlier and later ones

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CircularBuffer)
};

} // namespace varrow
