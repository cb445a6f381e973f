#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

using namespace quorvel::test;

namespace
{

/** Input whose every sample tells how many samples came before it: left holds the low 20
    bits of that count, right the rest (both exact in a float). */
juce::int64 countOf (float left, float right)
{
    return ((juce::int64) right << 20) | (juce::int64) left;
}

/** Runs processBlock on its own thread, as a host's audio thread would, until stopped. */
class CaptureThread
{
public:
    explicit CaptureThread (AudioPluginAudioProcessor& p) : processor (p), thread ([this] { run(); }) {}
    ~CaptureThread()   { stop(); }

    void stop()
    {
        keepGoing = false;

        if (thread.joinable())
            thread.join();
    }

    /** Samples the processor has finished with (a lower bound of what the ring holds). */
    std::atomic<juce::int64> finished { 0 };
    /** Samples the processor may have started on (an upper bound). */
    std::atomic<juce::int64> started { 0 };

private:
    void run()
    {
        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;

        for (juce::int64 count = 0; keepGoing; count += blockSize)
        {
            for (int i = 0; i < blockSize; ++i)
            {
                buffer.setSample (0, i, (float) ((count + i) & 0xfffff));
                buffer.setSample (1, i, (float) ((count + i) >> 20));
            }

            started = count + blockSize;
            processor.processBlock (buffer, midi);
            finished = count + blockSize;
        }
    }

    static constexpr int blockSize = 64;
    AudioPluginAudioProcessor& processor;
    std::atomic<bool> keepGoing { true };
    std::thread thread;
};

struct CopyCheck
{
    int copies = 0, withValidSamples = 0;

    /** Most copies keep samples. Under ThreadSanitizer a copy runs a hundred times slower and
        the busy writer laps many of them whole, so there only some must. */
    int leastWithValidSamples() const noexcept
    {
       #ifdef __SANITIZE_THREAD__
        return 1;
       #else
        return copies / 2 + 1;
       #endif
    }
};

/** Copies random regions while capture runs and checks every sample the copy vouches for.
    Without restarts: it is the sample captured at that ring slot, no older than the ring's
    contents when the copy began and no newer than the capture when it ended. With restarts
    (which move the slots): it was captured before the copy ended, and the samples form one
    coherent picture of the ring, consecutive but for the single jump at the write head. */
void copyAndCheck (AudioPluginAudioProcessor& p, CaptureThread& capture, std::mt19937& random,
                   CopyCheck& check, bool alsoRestart)
{
    std::vector<float> left, right;

    while (capture.finished.load() < 2 * p.captureBuffer->capacityShared.load())
        std::this_thread::yield();

    // Up to 3000 copies, but no more than about ten seconds of them: instrumented builds
    // (ThreadSanitizer) copy a hundred times slower.
    const auto deadline = juce::Time::getMillisecondCounter() + 10000;

    for (int round = 0; round < 3000 && (round < 12 || juce::Time::getMillisecondCounter() < deadline); ++round)
    {
        if (alsoRestart && round % 10 == 5)
            p.requestRecordDuration (round % 20 == 5 ? 15 : 30);

        const int capacity = p.captureBuffer->capacityShared.load();
        const int n = std::uniform_int_distribution<int> (1, capacity) (random);
        const int first = std::uniform_int_distribution<int> (0, capacity - 1) (random);
        left.assign ((size_t) n, -1.0f);
        right.assign ((size_t) n, -1.0f);

        const auto before = capture.finished.load();
        const auto result = p.copyFromCapture (first, n, left.data(), right.data());
        const auto after = capture.started.load();

        ++check.copies;
        check.withValidSamples += result.valid.isEmpty() ? 0 : 1;
        int jumps = 0;
        juce::int64 previous = -1;

        for (int i = 0; i < n; ++i)
        {
            const auto s = (size_t) i;

            if (! result.valid.contains (i))
            {
                ASSERT_EQ (left[s], 0.0f);
                ASSERT_EQ (right[s], 0.0f);
                continue;
            }

            const auto c = countOf (left[s], right[s]);

            if (alsoRestart && c == 0)
                continue;   // a slot not written since the ring restarted

            ASSERT_LT (c, after) << "a sample captured after the copy ended";

            if (! alsoRestart)
            {
                ASSERT_EQ (c % capacity, (first + i) % capacity) << "a sample from another slot";
                ASSERT_GE (c, before - capacity) << "a sample overwritten before the copy began";
            }
            else
            {
                jumps += previous >= 0 && c != previous + 1 ? 1 : 0;
                previous = c;
            }
        }

        ASSERT_LE (jumps, 1) << "an incoherent copy";
    }
}

} // namespace

TEST (Concurrency, CopiesDuringCaptureAreExactOrExcludeWhatWasOverwritten)
{
    clearHome();
    writePreferences ({ { "Recording Path", recordingFolder() }, { "Record Duration", "15" } });
    ProcessorUnderTest p;
    p->prepareToPlay (4000.0, 64);   // a 60000-sample ring that laps quickly

    std::mt19937 random (3);
    CopyCheck check;
    {
        CaptureThread capture (*p);
        copyAndCheck (*p, capture, random, check, false);
    }

    EXPECT_GE (check.copies, 12);
    EXPECT_GE (check.withValidSamples, check.leastWithValidSamples());
}

TEST (Concurrency, CopiesSurviveRestartsOfTheRing)
{
    clearHome();
    writePreferences ({ { "Recording Path", recordingFolder() }, { "Record Duration", "15" } });
    ProcessorUnderTest p;
    p->prepareToPlay (4000.0, 64);

    std::mt19937 random (4);
    CopyCheck check;
    {
        CaptureThread capture (*p);
        copyAndCheck (*p, capture, random, check, true);
    }

    EXPECT_GE (check.withValidSamples, check.leastWithValidSamples());
}
