#include "RealtimeGuard.h"
#include "TestEnvironment.h"
#include "varrow/TestComponent.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace quorvel::test;

namespace
{

class Realtime : public PreparedProcessor
{
protected:
    void SetUp() override
    {
        PreparedProcessor::SetUp();
        RealtimeGuard::reset();
    }

    /** Runs blocks on this thread under the guard, as the audio thread would. */
    void audioBlocks (int count, int n = 512)
    {
        for (int b = 0; b < count; ++b)
        {
            auto buffer = makeBlock (buffers, n, [b] (int c, int i) { return 0.001f * (float) ((b + i + c) % 700); });
            juce::MidiBuffer midi;

            RealtimeGuard guard;
            p->processBlock (buffer, midi);
        }
    }

    void expectNoViolations (const char* scenario)
    {
        EXPECT_EQ (RealtimeGuard::violations(), 0) << scenario << ": " << RealtimeGuard::firstViolation();
        RealtimeGuard::reset();
    }

    int buffers = 2;
};

} // namespace

TEST_F (Realtime, TheGuardCatchesHeapLockAndFileCalls)
{
    {
        RealtimeGuard guard;
        delete new int (3);
    }
    EXPECT_GE (RealtimeGuard::violations(), 2);
    RealtimeGuard::reset();

    {
        std::mutex m;
        RealtimeGuard guard;
        const std::lock_guard<std::mutex> lock (m);
    }
    EXPECT_EQ (RealtimeGuard::firstViolation(), "pthread_mutex_lock");
    RealtimeGuard::reset();

    const auto probe = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("rt-probe");
    {
        RealtimeGuard guard;
        juce::ignoreUnused (probe.create());
    }
    EXPECT_GT (RealtimeGuard::violations(), 0);
    RealtimeGuard::reset();

    {
        char target[256];
        RealtimeGuard guard;
        juce::ignoreUnused (::readlink ("/proc/self/exe", target, sizeof (target)));
    }
    EXPECT_EQ (RealtimeGuard::firstViolation(), "readlink");
}

TEST_F (Realtime, TheAudioThreadNeverAllocatesLocksWaitsLogsOrTouchesFiles)
{
    audioBlocks (50);
    expectNoViolations ("steady capture");

    playHead.playing = true;
    playHead.bpm = 120.0;
    audioBlocks (3);
    playHead.playing = false;
    audioBlocks (3);
    expectNoViolations ("transport start and stop");

    p->parameters.getParameter ("Freeze")->setValueNotifyingHost (1.0f);
    audioBlocks (3);
    p->parameters.getParameter ("Freeze")->setValueNotifyingHost (0.0f);
    audioBlocks (3);
    expectNoViolations ("freeze parameter");

    requestZoom (*p, 0.9, 0.3);
    audioBlocks (40, 64);
    EXPECT_EQ (p->refillProgress, 1.0);
    expectNoViolations ("zoom and refill");

    p->scrollRequest = 0.5;
    p->columnsResetRequested = true;
    p->displayWidth = 1500;
    audioBlocks (40, 64);
    expectNoViolations ("scroll, reset and width change");

    p->requestRecordDuration (600);   // the memory is prepared here, on the message thread
    audioBlocks (2);
    EXPECT_EQ (p->captureBuffer->capacity, 48000 * 600);
    p->requestRecordDuration (15);
    audioBlocks (2);
    EXPECT_EQ (p->captureBuffer->capacity, 48000 * 15);
    expectNoViolations ("record duration changes");

    p->requestPreviewSeek (0.001);
    p->previewFade->setTarget (1.0);
    p->previewPlaying = true;
    audioBlocks (20);
    p->previewFade->setTarget (0.0);
    p->previewPlaying = false;
    audioBlocks (20);
    expectNoViolations ("preview");

    p->outputGain.setTarget (0.0);
    audioBlocks (20);
    p->outputGain.setTarget (1.0);
    audioBlocks (20);
    expectNoViolations ("output gain glide");

    p->frozen = true;
    audioBlocks (5);
    expectNoViolations ("frozen");

    {
        // Hosts may ask for the tail from their audio thread.
        RealtimeGuard guard;
        EXPECT_EQ (p->getTailLengthSeconds(), 0.0);
    }
    expectNoViolations ("tail length query");
}

TEST_F (Realtime, AMonoLayoutStaysRealtimeSafeToo)
{
    p->releaseResources();
    p->setPlayConfigDetails (1, 1, 48000.0, 64);
    p->prepareToPlay (48000.0, 64);
    buffers = 1;
    RealtimeGuard::reset();

    audioBlocks (20, 64);
    p->requestPreviewSeek (0.0);
    p->previewPlaying = true;
    p->previewFade->setTarget (1.0);
    audioBlocks (20, 64);
    expectNoViolations ("mono");
}

TEST_F (Realtime, RebuildingTheWaveformReusesItsStorage)
{
    juce::Component a, b;
    varrow::TestComponent view (*p, a, b);
    view.waveformDisplay.setSize (2560, 400);
    p->displayWidth = 2560;
    audioBlocks (200);

    view.waveformDisplay.rebuild (1.0f);   // grows once to the width
    RealtimeGuard::reset();

    for (int frame = 0; frame < 10; ++frame)
    {
        audioBlocks (1);
        RealtimeGuard guard;
        view.waveformDisplay.rebuild ((float) frame);
    }

    expectNoViolations ("waveform rebuild");
}
