#include "CircularBuffer.h"

#include <algorithm>
#include <thread>

namespace varrow
{

CircularBuffer::Channels::Channels (int numSamples)
    : left (1, numSamples), right (1, numSamples)
{
    // Clearing here touches every page, so the audio thread never takes a page fault on them.
    left.clear();
    right.clear();
}

namespace
{
std::uint32_t nextSerial() noexcept
{
    static std::atomic<std::uint32_t> counter { 0 };
    return ++counter;
}
} // namespace

CircularBuffer::CircularBuffer (int initialCapacity)
    : left (1, initialCapacity), right (1, initialCapacity), capacity (initialCapacity), serial (nextSerial())
{
    jassert (initialCapacity > 0);
    left.clear();
    right.clear();
    capacityShared.store (capacity);
    publishStorage();
    publish();
}

std::uint64_t CircularBuffer::pack (int lap, int index) noexcept
{
    return ((std::uint64_t) (std::uint32_t) lap << 32) | (std::uint32_t) index;
}

std::uint64_t CircularBuffer::generationOf (std::uint32_t sequence) const noexcept
{
    return ((std::uint64_t) serial << 32) | sequence;
}

void CircularBuffer::beginWrite (int endIndex) noexcept
{
    const auto end = endIndex >= capacity ? pack (wrapCount + 1, 0) : pack (wrapCount, endIndex);
    // A read-modify-write with acquire ordering: the sample writes that follow cannot become
    // visible before the announcement.
    reserved.exchange (end, std::memory_order_acq_rel);
}

void CircularBuffer::publish() noexcept
{
    writeIndexShared.store (writeIndex, std::memory_order_release);
    position.store (pack (wrapCount, writeIndex), std::memory_order_release);
}

void CircularBuffer::publishStorage() noexcept
{
    leftShared.store (left.getReadPointer (0), std::memory_order_release);
    rightShared.store (right.getReadPointer (0), std::memory_order_release);
}

void CircularBuffer::write (float leftValue, float rightValue) noexcept
{
    beginWrite (writeIndex + 1);
    left.getWritePointer (0)[writeIndex] = leftValue;
    right.getWritePointer (0)[writeIndex] = rightValue;

    if (++writeIndex >= capacity)
    {
        ++wrapCount;
        writeIndex = 0;
    }

    publish();
}

void CircularBuffer::writeBlock (const float* leftSource, const float* rightSource, int n) noexcept
{
    if (rightSource == nullptr)
        rightSource = leftSource;

    auto* l = left.getWritePointer (0);
    auto* r = right.getWritePointer (0);

    for (int done = 0; done < n;)
    {
        const int chunk = std::min (n - done, capacity - writeIndex);
        beginWrite (writeIndex + chunk);

        if (leftSource != nullptr)
        {
            std::copy_n (leftSource + done, chunk, l + writeIndex);
            std::copy_n (rightSource + done, chunk, r + writeIndex);
        }
        else
        {
            std::fill_n (l + writeIndex, chunk, 0.0f);
            std::fill_n (r + writeIndex, chunk, 0.0f);
        }

        done += chunk;
        writeIndex += chunk;

        if (writeIndex >= capacity)
        {
            ++wrapCount;
            writeIndex = 0;
        }

        publish();
    }
}

void CircularBuffer::restart (int newCapacity, Channels& fresh) noexcept
{
    jassert (newCapacity > 0);
    jassert (fresh.left.getNumSamples() == newCapacity && fresh.right.getNumSamples() == newCapacity);

    const auto sequence = restartSequence.fetch_add (1, std::memory_order_acq_rel);

    std::swap (left, fresh.left);
    std::swap (right, fresh.right);

    ++wrapCount;
    capacity = newCapacity;
    writeIndex = 0;

    publishStorage();
    reserved.store (pack (wrapCount, 0), std::memory_order_relaxed);
    writeIndexShared.store (0, std::memory_order_release);
    capacityShared.store (capacity, std::memory_order_release);
    position.store (pack (wrapCount, 0), std::memory_order_release);
    restartSequence.store (sequence + 2, std::memory_order_release);
}

CircularBuffer::Snapshot CircularBuffer::snapshot() const noexcept
{
    // A restart takes constant time on the audio thread; a reader that meets one tries again.
    for (;;)
    {
        const auto sequence = restartSequence.load (std::memory_order_acquire);
        const auto where = position.load (std::memory_order_acquire);
        const int cap = capacityShared.load (std::memory_order_acquire);

        if ((sequence & 1u) == 0 && restartSequence.fetch_add (0, std::memory_order_acq_rel) == sequence)
            return { generationOf (sequence), cap, (int) (std::uint32_t) where, where };

        std::this_thread::yield();
    }
}

CircularBuffer::CopyResult CircularBuffer::copyRegion (int first, int numSamples,
                                                       float* destLeft, float* destRight) const noexcept
{
    const auto result = copyRegion (snapshot(), first, numSamples, destLeft, destRight);

    // Only the one clean stretch is vouched for here; the rest reads as silence.
    std::fill (destLeft, destLeft + result.valid.getStart(), 0.0f);
    std::fill (destRight, destRight + result.valid.getStart(), 0.0f);
    std::fill (destLeft + result.valid.getEnd(), destLeft + std::max (0, numSamples), 0.0f);
    std::fill (destRight + result.valid.getEnd(), destRight + std::max (0, numSamples), 0.0f);
    return result;
}

CircularBuffer::CopyResult CircularBuffer::copyRegion (const Snapshot& since, int first, int numSamples,
                                                       float* destLeft, float* destRight) const noexcept
{
    numSamples = std::max (0, numSamples);
    const auto zeroAll = [&]
    {
        std::fill_n (destLeft, numSamples, 0.0f);
        std::fill_n (destRight, numSamples, 0.0f);
        return CopyResult { {}, since.capacity, since.generation, 0, false };
    };

    // The storage must still be the one `since` saw: no restart may have begun or ended since.
    // The checks re-read through read-modify-writes, which see the latest value and keep the
    // reads before them from moving past them.
    const auto latestGeneration = [this] { return generationOf (restartSequence.fetch_add (0, std::memory_order_acq_rel)); };

    if (since.capacity <= 0 || latestGeneration() != since.generation)
        return zeroAll();

    const int cap = since.capacity;
    const float* l = leftShared.load (std::memory_order_acquire);
    const float* r = rightShared.load (std::memory_order_acquire);

    if (latestGeneration() != since.generation)
        return zeroAll();

    const int n = std::min (numSamples, cap);
    first = ((first % cap) + cap) % cap;

    for (int done = 0; done < n;)
    {
        const int from = (first + done) % cap;
        const int chunk = std::min (n - done, cap - from);
        std::copy_n (l + from, chunk, destLeft + done);
        std::copy_n (r + from, chunk, destRight + done);
        done += chunk;
    }

    std::fill_n (destLeft + n, numSamples - n, 0.0f);
    std::fill_n (destRight + n, numSamples - n, 0.0f);

    // Everything the writer may have touched since the reference point is announced in `reserved`.
    const auto end = reserved.fetch_add (0, std::memory_order_acq_rel);

    if (latestGeneration() != since.generation)
        return zeroAll();

    const auto lapOf = [] (std::uint64_t p) { return (std::int64_t) (std::uint32_t) (p >> 32); };
    const auto indexOf = [] (std::uint64_t p) { return (std::int64_t) (std::uint32_t) p; };
    const auto overwritten = std::max<std::int64_t> (0, (lapOf (end) - lapOf (since.position)) * cap
                                                            + indexOf (end) - indexOf (since.position));
    if (overwritten >= cap)
    {
        auto result = zeroAll();
        result.overwritten = overwritten;
        result.sameRing = true;
        return result;
    }

    const auto [headLost, wrapLost] = lostAfterOverwrite (first, n, cap, since.writeIndex, overwritten);

    for (const auto lost : { headLost, wrapLost })
    {
        std::fill (destLeft + lost.getStart(), destLeft + lost.getEnd(), 0.0f);
        std::fill (destRight + lost.getStart(), destRight + lost.getEnd(), 0.0f);
    }

    return { keptAfterOverwrite (first, n, cap, since.writeIndex, overwritten), cap, since.generation, overwritten, true };
}

std::pair<juce::Range<int>, juce::Range<int>> CircularBuffer::lostAfterOverwrite (int first, int numSamples, int cap,
                                                                                   int oldestIndex, std::int64_t overwritten) noexcept
{
    overwritten = std::clamp<std::int64_t> (overwritten, 0, cap);

    // The writer overwrites slots in order from the oldest one, which lies `distance` slots
    // before the copy's first slot; the copy meets it again, wrapped, at cap - distance.
    const auto distance = ((std::int64_t) first - oldestIndex + cap) % cap;
    const auto clampToCopy = [numSamples] (std::int64_t i) { return (int) std::clamp<std::int64_t> (i, 0, numSamples); };

    return { { 0, clampToCopy (overwritten - distance) },
             { clampToCopy (cap - distance), clampToCopy (cap - distance + overwritten) } };
}

juce::Range<int> CircularBuffer::keptAfterOverwrite (int first, int numSamples, int cap,
                                                    int oldestIndex, std::int64_t overwritten) noexcept
{
    if (overwritten >= cap)
        return {};

    overwritten = std::max<std::int64_t> (0, overwritten);

    // The writer overwrites slots in order from the oldest one. Destination sample i is lost
    // when its slot comes within the first `overwritten` slots of that order.
    const auto distance = ((std::int64_t) first - oldestIndex + cap) % cap;
    const auto headLostEnd = (int) std::clamp<std::int64_t> (overwritten - distance, 0, numSamples);
    const auto wrapLostStart = (int) std::clamp<std::int64_t> (cap - distance, headLostEnd, numSamples);
    const auto wrapLostEnd = (int) std::clamp<std::int64_t> (cap - distance + overwritten, wrapLostStart, numSamples);

    if (wrapLostEnd == wrapLostStart)
        return { headLostEnd, numSamples };

    // A region spanning the oldest slot loses a stretch in its middle: keep the longer clean
    // side (the earlier one on a tie).
    const juce::Range<int> before (headLostEnd, wrapLostStart), after (wrapLostEnd, numSamples);
    return after.getLength() > before.getLength() ? after : before;
}

} // namespace varrow
