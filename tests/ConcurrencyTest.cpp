#include "TestEnvironment.h"
#include "WavFile.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

using namespace quorvel::test;

namespace
{

using Count = juce::int64;

/** Input that names every sample by its place in the capture timeline: sample number `count`
    goes in as left = 1 + its low 20 bits and right = 1 + count / 256 (both exact in a float).
    The two overlap in bits 8 to 19, so a slot whose channels come from different writes does
    not decode, and only a slot nothing was written to holds zeros. */
float leftStamp (Count count)   { return (float) (1 + (count & 0xfffff)); }
float rightStamp (Count count)  { return (float) (1 + (count >> 8)); }

constexpr Count unwritten = -1, undecodable = -2;

Count decode (float left, float right)
{
    if (left == 0.0f && right == 0.0f)
        return unwritten;

    if (! (left >= 1.0f && left <= (float) 0x100000 && right >= 1.0f && right <= (float) (1 << 24)))
        return undecodable;

    const auto low = (Count) left - 1, high = (Count) right - 1;

    if ((float) (low + 1) != left || (float) (high + 1) != right)
        return undecodable;

    const auto count = (high << 8) | (low & 0xff);
    return (count & 0xfffff) == low ? count : undecodable;
}

/** A stretch of the timeline between restarts of the ring: sample `firstCount` went to slot
    `firstSlot` of a ring of `capacity` slots that held nothing else, each later one to the next. */
struct Epoch
{
    Count firstCount;
    int firstSlot, capacity;
};

/** Runs processBlock on its own thread, as a host's audio thread would, but only as far into
    the timeline as the copier allows: it then waits (this is the test's stand-in for an audio
    thread, so it may). Between copies the ring stands still, and during one the writer can
    overwrite no more than the copier allowed, so a copy keeps samples however the threads
    are scheduled. It also records where each restart of the ring put the timeline. */
class CaptureThread
{
public:
    static constexpr int blockSize = 64;

    explicit CaptureThread (AudioPluginAudioProcessor& p) : processor (p)
    {
        const auto& ring = *p.captureBuffer;
        epochs[0] = { 0, ring.writeIndex, ring.capacity };
        thread = std::thread ([this] { run(); });
        useSeparateCores();
    }

    ~CaptureThread()
    {
        keepGoing = false;
        thread.join();

        if (copierPinned)
            pthread_setaffinity_np (pthread_self(), sizeof (copierCores), &copierCores);
    }

    /** Lets the writer capture the samples before `end` (a multiple of the block size). */
    void allowUpTo (Count end)         { allowed.store (end); }

    /** Waits until it has captured the samples before `end`. */
    void waitUntilCaptured (Count end) { waitUntil ([&] { return finished.load() >= end; }); }

    /** Waits until it has started on the samples before `end`, without ever sleeping, so as
        to catch it while it writes. */
    void waitUntilStarted (Count end)  { while (started.load() < end) std::this_thread::yield(); }

    /** The epochs so far; complete up to the samples captured. */
    std::vector<Epoch> epochsSoFar() const
    {
        return { epochs.begin(), epochs.begin() + epochCount.load() };
    }

    /** Samples the processor has finished with, and may have started on. */
    std::atomic<Count> finished { 0 }, started { 0 };
    std::atomic<bool> lostTrackOfRestarts { false };

private:
    void run()
    {
        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;
        const auto& ring = *processor.captureBuffer;

        for (Count count = 0;; count += blockSize)
        {
            waitUntil ([&] { return count + blockSize <= allowed.load() || ! keepGoing; });

            if (! keepGoing)
                return;

            for (int i = 0; i < blockSize; ++i)
            {
                buffer.setSample (0, i, leftStamp (count + i));
                buffer.setSample (1, i, rightStamp (count + i));
            }

            // The ring is this thread's own, so it may look at the writer's side of it.
            const int index = ring.writeIndex, laps = ring.wrapCount, capacity = ring.capacity;

            started = count + blockSize;
            processor.processBlock (buffer, midi);

            const bool wrapped = index + blockSize >= capacity;

            if (ring.capacity != capacity || ring.writeIndex != (index + blockSize) % capacity
                || ring.wrapCount != laps + (wrapped ? 1 : 0))
            {
                // The block began with a restart.
                const int n = epochCount.load();

                if (n == (int) epochs.size() || ring.writeIndex != blockSize)
                    lostTrackOfRestarts = true;
                else
                    epochs[(size_t) n] = { count, 0, ring.capacity };

                epochCount.store (std::min (n + 1, (int) epochs.size()));
            }

            finished = count + blockSize;
        }
    }

    /** Yields for a while, then sleeps, so that a long wait leaves the core to others. */
    template <typename Condition>
    static void waitUntil (Condition done)
    {
        for (int i = 0; ! done(); ++i)
        {
            if (i < 100)
                std::this_thread::yield();
            else
                std::this_thread::sleep_for (std::chrono::microseconds (50));
        }
    }

    /** Left to itself the scheduler often keeps both threads on one core of a busy machine,
        where the writer hardly ever runs during a copy; on a core each they do. */
    void useSeparateCores()
    {
        if (pthread_getaffinity_np (pthread_self(), sizeof (copierCores), &copierCores) != 0)
            return;

        std::vector<size_t> cores;

        for (size_t c = 0; c < (size_t) CPU_SETSIZE && cores.size() < 2; ++c)
            if (CPU_ISSET (c, &copierCores))
                cores.push_back (c);

        if (cores.size() < 2)
            return;

        cpu_set_t writerCore, copierCore;
        CPU_ZERO (&writerCore);
        CPU_ZERO (&copierCore);
        CPU_SET (cores[0], &writerCore);
        CPU_SET (cores[1], &copierCore);
        pthread_setaffinity_np (thread.native_handle(), sizeof (writerCore), &writerCore);
        copierPinned = pthread_setaffinity_np (pthread_self(), sizeof (copierCore), &copierCore) == 0;
    }

    AudioPluginAudioProcessor& processor;
    cpu_set_t copierCores;
    bool copierPinned = false;
    std::array<Epoch, 256> epochs;
    std::atomic<int> epochCount { 1 };
    std::atomic<Count> allowed { 0 };
    std::atomic<bool> keepGoing { true };
    std::thread thread;
};

/** Whether a copy of n slots from `first` is one the ring could have given, knowing the
    ring held the first `from` samples of the timeline when the copy was allowed to start and
    at most the first `to` when it ended: zeros outside the clean range, and inside it exactly
    what one epoch's ring held at one single moment in between. Each sample narrows down the
    moments at which its slot held it; they must leave one. */
testing::AssertionResult copyIsExact (const std::vector<Epoch>& epochs, Count from, Count to, int first, int n,
                                      juce::Range<int> valid, const float* left, const float* right)
{
    if (valid.getStart() < 0 || valid.getEnd() > n)
        return testing::AssertionFailure() << "a clean range outside the copy";

    for (int i = 0; i < n; ++i)
        if (! valid.contains (i) && (left[i] != 0.0f || right[i] != 0.0f))
            return testing::AssertionFailure() << "sample " << i << ", outside the clean range, is not zero";

    if (valid.isEmpty())
        return testing::AssertionSuccess();

    auto failure = testing::AssertionFailure() << "no epoch fits";

    for (size_t k = 0; k < epochs.size(); ++k)
    {
        const auto& epoch = epochs[k];
        const auto capacity = epoch.capacity;
        const Count next = k + 1 < epochs.size() ? epochs[k + 1].firstCount : to;
        auto earliest = std::max (from, epoch.firstCount), latest = std::min (to, next);

        if (earliest > latest)
            continue;   // this ring was gone before the copy, or came after it

        if (valid.getEnd() > capacity)
        {
            failure = testing::AssertionFailure() << "a clean range longer than the ring";
            continue;
        }

        const int startSlot = ((first % capacity) + capacity) % capacity;
        int i = valid.getStart();

        for (; i < valid.getEnd() && earliest <= latest; ++i)
        {
            const auto slot = (startSlot + i) % capacity;
            const Count firstHere = epoch.firstCount + (slot - epoch.firstSlot + capacity) % capacity;
            const auto count = decode (left[i], right[i]);

            if (count == unwritten)
            {
                latest = std::min (latest, firstHere);
            }
            else if (count >= firstHere && (count - firstHere) % capacity == 0)
            {
                // It stays in the slot from its capture until the next lap replaces it.
                earliest = std::max (earliest, count + 1);
                latest = std::min (latest, count + capacity);
            }
            else
            {
                failure = testing::AssertionFailure() << "sample " << i << " (" << left[i] << ", " << right[i]
                                                      << ") is not one this ring ever held at slot " << slot;
                break;
            }
        }

        if (i == valid.getEnd() && earliest <= latest)
            return testing::AssertionSuccess();

        if (i == valid.getEnd() || earliest > latest)
            failure = testing::AssertionFailure() << "the samples up to " << i
                                                  << " are no one moment of the ring; they must have changed during the copy";
    }

    return failure;
}

struct Tally
{
    Count requested = 0, vouchedFor = 0, captured = 0;
};

/** Copies random regions while capture runs and checks every sample each copy vouches for.
    Every round lets the writer capture a sixteenth of the ring while the copy runs. */
void copyAndCheck (AudioPluginAudioProcessor& p, CaptureThread& capture, std::mt19937& random,
                   int rounds, bool alsoRestart, Tally& tally)
{
    std::vector<float> left, right;
    const auto wholeBlocks = [] (Count samples) { return samples / CaptureThread::blockSize * CaptureThread::blockSize; };

    // Fill the ring twice over before copying, so that copies meet one that has lapped.
    Count end = wholeBlocks (2 * p.captureBuffer->capacityShared.load());
    capture.allowUpTo (end);
    capture.waitUntilCaptured (end);

    for (int round = 0; round < rounds; ++round)
    {
        // Restarts to a longer length (from 15 s), a shorter, the same and a longer one again,
        // each with time to fill the ring.
        if (alsoRestart && round % 40 == 20)
            p.requestRecordDuration (std::array<int, 4> { 30, 15, 15, 30 }[(size_t) (round / 40) % 4]);

        const int capacity = p.captureBuffer->capacityShared.load();
        const int n = std::uniform_int_distribution<int> (1, capacity) (random);
        const int first = std::uniform_int_distribution<int> (0, capacity - 1) (random);
        left.assign ((size_t) n, -1.0f);
        right.assign ((size_t) n, -1.0f);

        // The writer is waiting, so the ring holds exactly `from` samples. Let it go on, and
        // mostly let it get into its stride first, so that the copy starts while it writes.
        const auto from = end;
        const auto budget = wholeBlocks (capacity / 16);
        const auto headStart = CaptureThread::blockSize
                             * std::uniform_int_distribution<Count> (0, budget / CaptureThread::blockSize / 2) (random);
        end += budget;
        capture.allowUpTo (end);
        capture.waitUntilStarted (from + headStart);
        const auto result = p.copyFromCapture (first, n, left.data(), right.data());
        const auto to = capture.started.load();
        capture.waitUntilCaptured (end);

        ASSERT_TRUE (copyIsExact (capture.epochsSoFar(), from, to, first, n, result.valid, left.data(), right.data()))
            << "round " << round << ": " << n << " samples from " << first << ", clean " << result.valid.getStart()
            << " to " << result.valid.getEnd() << ", timeline " << from << " to " << to;

        tally.requested += n;
        tally.vouchedFor += result.valid.getLength();

        // Vouched-for samples are silence or decode (copyIsExact saw to that).
        for (auto i = result.valid.getStart(); i < result.valid.getEnd(); ++i)
            tally.captured += left[(size_t) i] != 0.0f ? 1 : 0;
    }

    ASSERT_FALSE (capture.lostTrackOfRestarts.load()) << "a block the ring took neither as the next nor after a restart";
}

// The writer overwrites at most a sixteenth of the ring during a copy, and a copy keeps the
// longer clean side of what it loses, so well over a quarter of what is asked for is vouched
// for (restarts cost a copy in forty) however the threads are scheduled. ThreadSanitizer runs
// everything about a hundred times slower, so there the same rounds are fewer.
#ifdef __SANITIZE_THREAD__
constexpr int roundsPerTest = 100;
#else
constexpr int roundsPerTest = 1000;
#endif

} // namespace

TEST (Concurrency, CopiesDuringCaptureAreExactOrExcludeWhatWasOverwritten)
{
    clearHome();
    writePreferences ({ { "Recording Path", recordingFolder() }, { "Record Duration", "15" } });
    ProcessorUnderTest p;
    p->prepareToPlay (4000.0, 64);   // a 60000-sample ring

    std::mt19937 random (3);
    Tally tally;
    {
        CaptureThread capture (*p);
        copyAndCheck (*p, capture, random, roundsPerTest, false, tally);
    }

    EXPECT_GE (tally.vouchedFor, tally.requested / 4);
    EXPECT_EQ (tally.captured, tally.vouchedFor);
}

TEST (Concurrency, CopiesSurviveRestartsOfTheRing)
{
    clearHome();
    writePreferences ({ { "Recording Path", recordingFolder() }, { "Record Duration", "15" } });
    ProcessorUnderTest p;
    p->prepareToPlay (4000.0, 64);

    std::mt19937 random (4);
    Tally tally;
    {
        CaptureThread capture (*p);
        copyAndCheck (*p, capture, random, roundsPerTest, true, tally);
    }

    // After a restart the ring takes 17 rounds to fill, so in 23 of every 40 copies all that
    // is vouched for was captured.
    EXPECT_GE (tally.vouchedFor, tally.requested / 4);
    EXPECT_GE (tally.captured, tally.requested / 8);
}

TEST (Concurrency, ExportsDuringCaptureLeaveOutWhatTheWriteHeadOverwrote)
{
    // A 15 s ring at 48 kHz (720000 slots). Each round selects half of it around the write
    // head, lets the writer capture a sixteenth of the ring while the export runs, and reads
    // the file back: the newest samples up to the head, then the oldest ones from the first
    // the head had not reached by the end of the copy. Nothing newer, nothing silent.
    clearHome();
    const auto folder = juce::File (recordingFolder());
    writePreferences ({ { "Recording Path", folder.getFullPathName() }, { "Record Duration", "15" } });
    ProcessorUnderTest p;
    p->prepareToPlay (48000.0, CaptureThread::blockSize);
    const int capacity = p->captureBuffer->capacity;
    const int n = capacity / 2;

#ifdef __SANITIZE_THREAD__
    constexpr int rounds = 3;
#else
    constexpr int rounds = 12;
#endif

    int roundsWithOverwrites = 0;
    CaptureThread capture (*p);
    const auto wholeBlocks = [] (Count samples) { return samples / CaptureThread::blockSize * CaptureThread::blockSize; };
    Count end = wholeBlocks (2 * (Count) capacity);
    capture.allowUpTo (end);
    capture.waitUntilCaptured (end);
    const int firstSlot = capture.epochsSoFar().front().firstSlot;

    for (int round = 0; round < rounds; ++round)
    {
        const auto from = end;
        const int head = (int) ((firstSlot + from) % capacity);
        const int first = (head - n / 2 + capacity) % capacity;
        p->selectionStart = (float) ((double) first / capacity);
        p->selectionLength = 0.5f;

        end += wholeBlocks (capacity / 16);
        capture.allowUpTo (end);
        capture.waitUntilStarted (from + CaptureThread::blockSize);
        p->saveCropRegionToFile (false, true);
        const auto to = capture.started.load();
        capture.waitUntilCaptured (end);

        ASSERT_TRUE (p->fileReadyForDrag) << "round " << round;
        p->fileReadyForDrag = p->dragPending = false;
        const auto file = juce::File (p->lastWrittenFile);
        const auto wav = WavFile::read (file);
        ASSERT_TRUE (wav.isFloat() && wav.channels == 2) << "round " << round;
        const auto frames = (int) wav.frames;

        // The newest sample tells the moment of the copy's reference point; the missing frames
        // tell how far the head went on before the copy ended.
        Count newest = -1;

        for (int i = 0; i < frames; ++i)
            newest = std::max (newest, decode (wav.samples[0][(size_t) i], wav.samples[1][(size_t) i]));

        const Count snapshot = newest + 1;
        const int overwritten = n - frames;
        ASSERT_GE (snapshot, from) << "round " << round;
        ASSERT_LE (snapshot, to) << "round " << round;
        ASSERT_GE (overwritten, 0) << "round " << round;
        ASSERT_LE (snapshot + overwritten, end) << "round " << round << ": more left out than the writer could reach";

        const int headThen = (int) ((firstSlot + snapshot) % capacity);
        int i = 0;

        for (int k = 0; k < n; ++k)
        {
            const int slot = (first + k) % capacity;

            if ((slot - headThen + capacity) % capacity < overwritten)
                continue;   // reached by the head: left out

            const Count expected = snapshot - 1 - ((headThen - 1 - slot + 2 * (Count) capacity) % capacity);
            ASSERT_EQ (decode (wav.samples[0][(size_t) i], wav.samples[1][(size_t) i]), expected)
                << "round " << round << ", frame " << i << " (slot " << slot << ")";
            ++i;
        }

        ASSERT_EQ (i, frames);
        roundsWithOverwrites += overwritten > 0 ? 1 : 0;
        file.deleteFile();
    }

    // The writer ran during the copies, so the head did overwrite a part of some regions.
    EXPECT_GT (roundsWithOverwrites, 0);
}
