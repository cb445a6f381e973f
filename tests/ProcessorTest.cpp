#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <vector>

using namespace quorvel::test;

namespace
{

class Processor : public PreparedProcessor
{
protected:
    /** Runs blocks of a constant stereo input (left l, right r) and returns the last block. */
    juce::AudioBuffer<float> run (int blocks, int n = 512, float l = 0.25f, float r = -0.5f)
    {
        juce::AudioBuffer<float> buffer;

        for (int b = 0; b < blocks; ++b)
        {
            buffer = makeBlock (2, n, [&] (int c, int) { return c == 0 ? l : r; });
            processBlock (*p, buffer);
        }

        return buffer;
    }

    void setFreezeParameter (float value)
    {
        p->parameters.getParameter ("Freeze")->setValueNotifyingHost (value);
    }
};

} // namespace

TEST_F (Processor, PrepareBuildsASilentRingForTheSampleRate)
{
    const auto& ring = *p->captureBuffer;
    EXPECT_EQ (ring.capacity, 1440000);
    EXPECT_EQ (ring.writeIndexShared.load(), 0);
    EXPECT_EQ (ring.left.findMinMax (0, 0, ring.capacity), juce::Range<float>());
    EXPECT_EQ (p->sampleRateHz, 48000);
    EXPECT_TRUE (p->prepared);
    EXPECT_EQ (p->outputGain.current, 1.0);
}

TEST_F (Processor, CapturesTheInputAndPassesItThroughUnchanged)
{
    const auto out = run (3, 512, 0.25f, -0.5f);

    const auto& ring = *p->captureBuffer;
    EXPECT_EQ (ring.writeIndexShared.load(), 1536);
    EXPECT_EQ (ring.left.getSample (0, 1535), 0.25f);
    EXPECT_EQ (ring.right.getSample (0, 1535), -0.5f);
    EXPECT_EQ (ring.left.getSample (0, 1536), 0.0f);
    EXPECT_EQ (out.getSample (0, 100), 0.25f);
    EXPECT_EQ (out.getSample (1, 511), -0.5f);
}

TEST_F (Processor, MonoLayoutCapturesChannelZeroTwiceAndMixesThePreviewIntoItOnly)
{
    p->releaseResources();
    p->setPlayConfigDetails (1, 1, 48000.0, 64);
    p->prepareToPlay (48000.0, 64);

    // At a gain of 0.5 a second multiplication would show as a quarter.
    p->outputGain.setTarget (0.5);
    p->outputGain.current = 0.5;
    auto block = makeBlock (1, 64, [] (int, int i) { return 0.25f + (float) i / 1024.0f; });
    processBlock (*p, block);
    EXPECT_EQ (p->captureBuffer->left.getSample (0, 10), 0.25f + 10.0f / 1024.0f);
    EXPECT_EQ (p->captureBuffer->right.getSample (0, 10), 0.25f + 10.0f / 1024.0f);
    EXPECT_EQ (block.getSample (0, 10), 0.5f * (0.25f + 10.0f / 1024.0f));   // gain applied once
    p->outputGain.setTarget (1.0);
    p->outputGain.current = 1.0;

    for (int b = 0; b < 400; ++b)
    {
        block = makeBlock (1, 64, [] (int, int) { return 0.5f; });
        processBlock (*p, block);
    }

    p->requestPreviewSeek (100.0 / p->captureBuffer->capacity);
    p->previewFade->setTarget (1.0);
    p->previewPlaying = true;

    for (int b = 0; b < 200; ++b)   // 12800 samples: the 15 ms fade-in is complete
    {
        block = makeBlock (1, 64, [] (int, int) { return 0.0f; });
        processBlock (*p, block);
    }

    EXPECT_NEAR (block.getSample (0, 63), 0.5f, 1.0e-5f);
}

TEST_F (Processor, OutputChannelsBeyondTheInputsAreCleared)
{
    p->releaseResources();
    p->setPlayConfigDetails (1, 1, 48000.0, 64);
    p->prepareToPlay (48000.0, 64);

    auto block = makeBlock (2, 64, [] (int, int) { return 0.5f; });
    processBlock (*p, block);
    EXPECT_EQ (block.getMagnitude (1, 0, 64), 0.0f);
    EXPECT_EQ (block.getSample (0, 0), 0.5f);
}

TEST_F (Processor, FreezeParameterActsOnlyWhenItChanges)
{
    run (1);
    setFreezeParameter (1.0f);
    run (1);
    EXPECT_TRUE (p->frozen.load());
    const int frozenAt = p->captureBuffer->writeIndexShared.load();
    run (2);
    EXPECT_EQ (p->captureBuffer->writeIndexShared.load(), frozenAt);

    // The view unfreezes directly; an unchanged "On" must not freeze again.
    p->frozen = false;
    run (2);
    EXPECT_FALSE (p->frozen.load());
    EXPECT_EQ (p->captureBuffer->writeIndexShared.load(), frozenAt + 1024);

    setFreezeParameter (0.0f);
    p->frozen = true;   // and an unchanged "Off" must not unfreeze a view freeze... after its own change
    run (1);
    EXPECT_FALSE (p->frozen.load());
    p->frozen = true;
    run (1);
    EXPECT_TRUE (p->frozen.load());
}

TEST_F (Processor, FreezingKeepsThePictureButStillPassesAudio)
{
    // 1000 columns over 1440000 samples: column k holds samples from (k - 0.5) / 999 * 1440000
    // on, so column 1 starts at 721, column 2 at 2163 and column 3 at 3604.
    run (4);   // samples 0..2047, mean of left and right -0.125
    p->frozen = true;
    p->outputGain.setTarget (0.5);
    p->outputGain.current = 0.5;
    const auto out = run (4, 512, 0.9f, 0.9f);   // would write samples 2048..4095

    const auto& columns = p->displayBuffer;
    EXPECT_EQ (columns.columnMax[1].load(), -0.125f);
    EXPECT_EQ (columns.columnMax[2].load(), 0.0f);   // the refill's silence, not 0.9
    EXPECT_EQ (columns.columnMax[3].load(), 0.0f);

    const auto& ring = *p->captureBuffer;
    EXPECT_EQ (ring.writeIndexShared.load(), 2048);
    EXPECT_EQ (ring.left.getSample (0, 2047), 0.25f);
    EXPECT_EQ (ring.left.getMagnitude (0, 2048, 2048), 0.0f);
    EXPECT_EQ (ring.right.getMagnitude (0, 2048, 2048), 0.0f);

    EXPECT_EQ (out.getSample (0, 0), 0.45f);
    EXPECT_EQ (out.getSample (1, 511), 0.45f);
}

TEST_F (Processor, WhileFrozenThePreviewPlaysTheFrozenCaptureAndMovesOn)
{
    // Sample i of the capture holds i / 1e6.
    for (int b = 0; b < 20; ++b)
    {
        auto block = makeBlock (2, 512, [b] (int, int i) { return (float) (b * 512 + i) * 1.0e-6f; });
        processBlock (*p, block);
    }

    p->frozen = true;
    p->requestPreviewSeek (2000.0 / 1440000.0);
    p->previewFade->setTarget (1.0);
    p->previewPlaying = true;
    p->previewFade->current = 1.0;   // heard at once, so each sample can be checked

    auto out = run (1, 512, 0.0f, 0.0f);
    EXPECT_DOUBLE_EQ (p->previewFraction.load(), 2512.0 / 1440000.0);
    // The position moves on before each sample is read.
    EXPECT_NEAR (out.getSample (0, 0), 2001.0e-6, 1.0e-9);
    EXPECT_NEAR (out.getSample (1, 511), 2512.0e-6, 1.0e-9);

    // Past the last captured sample the frozen ring holds silence, and still nothing is written.
    for (int b = 0; b < 16; ++b)
        out = run (1, 512, 0.7f, 0.7f);

    EXPECT_DOUBLE_EQ (p->previewFraction.load(), (2512.0 + 16 * 512) / 1440000.0);
    EXPECT_NEAR (out.getSample (0, 511), 0.7, 1.0e-6);   // the live input only
    EXPECT_EQ (p->captureBuffer->writeIndexShared.load(), 10240);
    EXPECT_EQ (p->captureBuffer->left.getMagnitude (0, 10240, 20000), 0.0f);
}

TEST_F (Processor, ReleasingResourcesKeepsTheCapture)
{
    run (3, 512, 0.25f, -0.5f);
    const auto* ring = p->captureBuffer.get();
    p->releaseResources();

    EXPECT_EQ (p->captureBuffer.get(), ring);
    EXPECT_EQ (ring->writeIndexShared.load(), 1536);
    EXPECT_EQ (ring->left.getSample (0, 1535), 0.25f);
    EXPECT_EQ (ring->right.getSample (0, 0), -0.5f);
}

TEST_F (Processor, TheFirstPrepareTakesTheStoredWidthLaterOnesThePublishedWidth)
{
    writePreferences ({ { "Recording Path", recordingFolder() }, { "Display Width", "800" } });
    ProcessorUnderTest fresh;
    EXPECT_EQ (fresh->displayBuffer.columnCountShared.load(), 800);

    // The first prepare reads the file again and leaves room for the margins.
    writePreferences ({ { "Recording Path", recordingFolder() }, { "Display Width", "700" } });
    fresh->prepareToPlay (44100.0, 512);
    EXPECT_EQ (fresh->displayBuffer.columnCountShared.load(), 690);

    fresh->displayWidth = 600;
    fresh->prepareToPlay (44100.0, 512);
    EXPECT_EQ (fresh->displayBuffer.columnCountShared.load(), 600);
}

TEST_F (Processor, MuteOutputSurvivesAPrepare)
{
    p->previewOnly = true;
    p->outputGain.setTarget (0.0);
    p->outputGain.current = 0.0;

    p->prepareToPlay (44100.0, 256);
    EXPECT_EQ (p->outputGain.getTarget(), 0.0);
    EXPECT_EQ (p->outputGain.current, 0.0);
    EXPECT_EQ (run (1, 256, 0.8f, 0.8f).getMagnitude (0, 256), 0.0f);

    p->previewOnly = false;
    p->prepareToPlay (44100.0, 256);
    EXPECT_EQ (p->outputGain.current, 1.0);
    EXPECT_EQ (run (1, 256, 0.8f, 0.8f).getSample (0, 0), 0.8f);
}

TEST_F (Processor, AFullLapRestartsEachColumnAsTheHeadEntersIt)
{
    run (1440000 / 512 + 1, 512, 0.8f, 0.8f);   // one whole lap, and 256 samples into the next
    const int head = p->captureBuffer->writeIndexShared.load();
    ASSERT_EQ (head, 256);

    run (4, 512, 0.1f, 0.1f);   // samples 256..2303 of the second lap

    // Column 1 (samples 721..2162) lies behind the head: its old loud extremes are gone.
    EXPECT_EQ (p->displayBuffer.columnMax[1].load(), 0.1f);
    EXPECT_EQ (p->displayBuffer.columnMin[1].load(), 0.1f);
    // Column 3 (samples 3604..5044) still shows the first lap.
    EXPECT_EQ (p->displayBuffer.columnMax[3].load(), 0.8f);
}

TEST_F (Processor, ALiveSampleStartsAColumnTheRefillHasNotReached)
{
    run (100, 512, 0.5f, 0.5f);   // samples 0..51199

    // A window of 72000 samples; the head (51200) lies at 0.711 of it, column 710 of 1000.
    requestZoom (*p, 0.0, 0.05);
    run (1, 64, 0.2f, 0.2f);

    ASSERT_LT (p->refillProgress, 0.5);
    EXPECT_EQ (p->displayBuffer.columnMax[710].load(), 0.2f);
    EXPECT_EQ (p->displayBuffer.columnMin[710].load(), 0.2f);
    EXPECT_EQ (p->displayBuffer.columnMax[600].load(), varrow::DisplayBuffer::emptyMax);

    // The refill then widens it with what the ring held before the head.
    for (int b = 0; b < 20 && p->refillProgress < 1.0; ++b)
        run (1, 64, 0.2f, 0.2f);

    EXPECT_EQ (p->displayBuffer.columnMax[710].load(), 0.5f);
    EXPECT_EQ (p->displayBuffer.columnMin[710].load(), 0.2f);
    EXPECT_EQ (p->displayBuffer.columnMax[600].load(), 0.5f);
}

TEST_F (Processor, TransportStartAndStopMarkTheWritePosition)
{
    EXPECT_FALSE (p->getDragAllowed());
    run (2);
    playHead.playing = true;
    playHead.bpm = 128.5;
    run (1);
    EXPECT_DOUBLE_EQ (p->takeStart.load(), 1024.0 / 1440000.0);
    EXPECT_EQ (p->takeEnd.load(), -2.0);
    EXPECT_EQ (p->hostBpm.load(), 128.5);
    EXPECT_TRUE (p->getDragAllowed());

    run (3);
    playHead.playing = false;
    playHead.bpm.reset();   // a position without tempo keeps the last one
    run (1);
    EXPECT_DOUBLE_EQ (p->takeEnd.load(), 3072.0 / 1440000.0);
    EXPECT_EQ (p->hostBpm.load(), 128.5);
}

TEST_F (Processor, ARecordingHostCountsAsPlaying)
{
    run (1);
    playHead.recording = true;   // some hosts report recording without playing
    run (1);
    EXPECT_DOUBLE_EQ (p->takeStart.load(), 512.0 / 1440000.0);
    EXPECT_EQ (p->takeEnd.load(), -2.0);

    playHead.recording = false;
    run (1);
    EXPECT_DOUBLE_EQ (p->takeEnd.load(), 1024.0 / 1440000.0);
}

TEST_F (Processor, TransportChangesWhileFrozenAreNeitherRecordedNorRemembered)
{
    run (1);
    p->frozen = true;
    playHead.playing = true;
    run (1);
    playHead.playing = false;
    run (1);
    EXPECT_EQ (p->takeStart.load(), -2.0);
    EXPECT_FALSE (p->hostWasPlaying);

    playHead.playing = true;
    run (1);
    p->frozen = false;
    run (1);   // still playing when capture resumes: a start at the current write position
    EXPECT_DOUBLE_EQ (p->takeStart.load(), 512.0 / 1440000.0);
}

TEST_F (Processor, NoPlayHeadOrNoPositionLeavesTheMarkersAlone)
{
    playHead.reportsPosition = false;
    playHead.playing = true;
    run (1);
    p->setPlayHead (nullptr);
    run (1);
    EXPECT_EQ (p->takeStart.load(), -2.0);
    EXPECT_EQ (p->hostBpm.load(), -1.0);
}

TEST_F (Processor, MuteOutputGlidesDownAndSnapsToSilenceWhileThePreviewIsStillHeard)
{
    run (1, 512, 1.0f, 1.0f);
    p->previewOnly = true;
    p->outputGain.setTarget (0.0);

    // One 100 ms time constant later the gain has fallen to about 1/e.
    auto out = run (1, 4800, 1.0f, 1.0f);
    EXPECT_NEAR (out.getSample (0, 4799), std::exp (-1.0), 1.0e-3);

    for (int b = 0; b < 3 && p->outputGain.current != 0.0; ++b)
        out = run (1, 48000, 1.0f, 1.0f);

    EXPECT_EQ (p->outputGain.current, 0.0);
    EXPECT_EQ (out.getSample (0, 47999), 0.0f);

    p->requestPreviewSeek (0.0);
    p->previewFade->setTarget (1.0);
    p->previewPlaying = true;
    out = run (1, 4800, 1.0f, 1.0f);
    EXPECT_GT (out.getSample (0, 4799), 0.9f);
}

TEST_F (Processor, PreviewPlaysTheCaptureFromTheSeekAndFadesOutWithoutAClick)
{
    // A capture whose value tells its position: sample i holds i / 1e6.
    for (int b = 0; b < 40; ++b)
    {
        auto block = makeBlock (2, 512, [b] (int, int i) { return (float) (b * 512 + i) * 1.0e-6f; });
        processBlock (*p, block);
    }

    p->requestPreviewSeek (1000.0 / 1440000.0);
    p->previewFade->setTarget (1.0);
    p->previewPlaying = true;

    juce::AudioBuffer<float> out;

    for (int b = 0; b < 10; ++b)
    {
        out = run (1, 512, 0.0f, 0.0f);
    }

    // After 5120 samples (seven time constants) of fading in, the output is the capture 5120
    // samples after the seek.
    EXPECT_NEAR (out.getSample (0, 511), (1000.0 + 5120.0) * 1.0e-6, 1.0e-5);
    EXPECT_NEAR (p->previewFraction.load(), 6120.0 / 1440000.0, 1.0e-12);

    p->previewFade->setTarget (0.0);
    p->previewPlaying = false;
    out = run (1, 4800, 0.0f, 0.0f);

    // 15 ms time constant: a smooth decay, then silence.
    for (int i = 1; i < 4800; ++i)
        ASSERT_LE (std::abs (out.getSample (0, i) - out.getSample (0, i - 1)), 1.0e-4f);

    EXPECT_LT (out.getMagnitude (0, 4700, 100), 1.0e-4f);
    out = run (4, 4800, 0.0f, 0.0f);
    EXPECT_EQ (out.getMagnitude (0, 0, 4800), 0.0f);
}

TEST_F (Processor, APreviewSeekIsAppliedAtTheNextBlockEvenWhenTheViewRanAhead)
{
    run (1);
    p->requestPreviewSeek (0.5);
    EXPECT_EQ (p->previewFraction.load(), 0.5);   // drawn at once
    run (1);
    EXPECT_DOUBLE_EQ (p->previewFraction.load(), (720000.0 + 512.0) / 1440000.0);

    // A window past the ring's end gives positions above 1; they wrap into the ring.
    p->requestPreviewSeek (1.25);
    run (1);
    EXPECT_DOUBLE_EQ (p->previewFraction.load(), (360000.0 + 512.0) / 1440000.0);
}

TEST_F (Processor, ANewRecordDurationDiscardsTheCaptureAtTheNextBlock)
{
    run (4);
    p->displayRotation = 0.4f;
    p->requestRecordDuration (60);
    EXPECT_EQ (p->pendingRecordDuration.load(), 60);
    EXPECT_FALSE (p->displayReady.load());
    EXPECT_EQ (p->captureBuffer->capacity, 1440000);   // nothing happens before the audio thread runs

    run (1, 256, 0.0f, 0.0f);
    EXPECT_EQ (p->recordDurationSeconds.load(), 60);
    EXPECT_EQ (p->pendingRecordDuration.load(), -1);
    EXPECT_EQ (p->captureBuffer->capacity, 2880000);
    EXPECT_EQ (p->captureBuffer->writeIndexShared.load(), 256);
    EXPECT_EQ (p->captureBuffer->left.getMagnitude (0, 0, 2880000), 0.0f);
    EXPECT_EQ (p->displayRotation.load(), 0.0f);
    EXPECT_TRUE (p->displayReady.load());
}

TEST_F (Processor, ADurationAskedForBeforePreparingTakesEffectWithTheNewRing)
{
    ProcessorUnderTest fresh;
    fresh->requestRecordDuration (15);
    fresh->prepareToPlay (44100.0, 512);
    EXPECT_EQ (fresh->captureBuffer->capacity, 661500);
    EXPECT_EQ (fresh->recordDurationSeconds.load(), 15);
    EXPECT_EQ (fresh->pendingRecordDuration.load(), -1);
}

TEST_F (Processor, ADurationWhoseMemoryCannotBeHadIsNeitherPendingNorSavedNorRetried)
{
    const int tenMinutes = AudioPluginAudioProcessor::capacityFor (48000.0, 600);
    p->beforeRingAllocation = [tenMinutes] (int samples) { if (samples == tenMinutes) throw std::bad_alloc(); };

    EXPECT_THROW (p->requestRecordDuration (600), std::bad_alloc);
    EXPECT_EQ (p->pendingRecordDuration.load(), -1);
    EXPECT_TRUE (p->displayReady.load());

    juce::MemoryBlock state;
    p->getStateInformation (state);
    const auto sampler = juce::ValueTree::readFromData (state.getData(), state.getSize()).getChildWithName ("sampler");
    EXPECT_EQ ((int) sampler.getProperty ("record-duration"), 30);

    // The next prepare builds the ring at the length in use, not at the one that failed.
    p->prepareToPlay (48000.0, 512);
    ASSERT_NE (p->captureBuffer, nullptr);
    EXPECT_EQ (p->captureBuffer->capacity, 1440000);
}

TEST_F (Processor, WithoutMemoryForTheRingAudioPassesThroughUntouched)
{
    p->beforeRingAllocation = [] (int) { throw std::bad_alloc(); };
    EXPECT_NO_THROW (p->prepareToPlay (48000.0, 512));
    ASSERT_EQ (p->captureBuffer, nullptr);

    // Everything that would read the ring is asked for: a transport change, a preview and
    // its seek, a zoom, a scroll and a new width.
    playHead.playing = true;
    p->previewPlaying = true;
    p->previewFade->setTarget (1.0);
    p->requestPreviewSeek (0.5);
    requestZoom (*p, 0.25, 0.5);
    p->scrollRequest = 0.1;
    p->displayWidth = 500;

    const auto input = makeBlock (2, 512, [] (int c, int i) { return (c == 0 ? 0.001f : -0.002f) * (float) (i % 100); });
    auto block = input;
    processBlock (*p, block);

    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 512; ++i)
            ASSERT_EQ (block.getSample (c, i), input.getSample (c, i)) << c << " " << i;

    std::vector<float> left (64, 1.0f), right (64, 1.0f);
    EXPECT_TRUE (p->copyFromCapture (0, 64, left.data(), right.data()).valid.isEmpty());
    EXPECT_EQ (left, std::vector<float> (64, 0.0f));
    EXPECT_EQ (right, std::vector<float> (64, 0.0f));

    // A new length waits for the next prepare, which finds the memory this time.
    p->requestRecordDuration (15);
    EXPECT_EQ (p->pendingRecordDuration.load(), 15);
    p->beforeRingAllocation = nullptr;
    p->prepareToPlay (48000.0, 512);
    ASSERT_NE (p->captureBuffer, nullptr);
    EXPECT_EQ (p->captureBuffer->capacity, 720000);
}

TEST_F (Processor, ZoomRequestsEmptyTheColumnsAndTheRefillRebuildsThemFromTheLeft)
{
    p->displayWidth = 990;
    run (100, 512, 0.5f, 0.5f);   // 51200 samples: the first 35 columns hold 0.5

    p->displayReady = false;
    p->frozen = true;
    requestZoom (*p, 0.0, 0.1);   // 144000 samples over 990 columns

    run (1, 64, 0.0f, 0.0f);
    EXPECT_TRUE (p->zoomed.load());
    EXPECT_TRUE (p->displayReady.load());
    EXPECT_EQ (p->zoom.width.load(), 0.1);

    // The columns fill from the left: those the first block reached hold the capture, the
    // rest wait empty.
    const double first = p->refillProgress;
    ASSERT_GT (first, 0.0);
    ASSERT_LE (first, 44100.0 / 144000.0);
    EXPECT_EQ (p->displayBuffer.columnMax[(size_t) (first * 989.0) / 2].load(), 0.5f);
    EXPECT_EQ (p->displayBuffer.columnMax[400].load(), varrow::DisplayBuffer::emptyMax);

    // No block visits more than 44100 positions, and even with 64-sample blocks the whole
    // window is back within 100 ms of audio (75 blocks at 48 kHz).
    int blocks = 1;

    for (double before = first; p->refillProgress < 1.0 && blocks < 75; ++blocks, before = p->refillProgress)
    {
        run (1, 64, 0.0f, 0.0f);
        ASSERT_GT (p->refillProgress, before);
        ASSERT_LE ((p->refillProgress - before) * 144000.0, 44100.0 + 1.0e-6);
    }

    EXPECT_EQ (p->refillProgress, 1.0) << "after " << blocks << " blocks";
    EXPECT_EQ (p->displayBuffer.columnMax[400].load(), 0.0f);   // silence beyond what was captured

    // Zooming out goes back to the whole ring. Blocks of 512 use the whole budget: the
    // 30 s ring is rebuilt in 33 blocks.
    requestZoom (*p, 0.0, 1.0);
    run (32, 512, 0.0f, 0.0f);
    EXPECT_FALSE (p->zoomed.load());
    EXPECT_LT (p->refillProgress, 1.0);
    run (1, 512, 0.0f, 0.0f);
    EXPECT_EQ (p->refillProgress, 1.0);
}

TEST_F (Processor, ScrollsWrapTheWindowWithinTheRing)
{
    struct Case { double offset, width, scroll, expected; };

    for (const auto c : { Case { 0.8, 0.3, 1.0, 1.1 },      // may run past the end once...
                          Case { 1.5, 0.3, 1.0, 0.8 },      // ...but not twice
                          Case { 0.1, 0.2, -1.0, 0.9 } })   // before the start wraps forward
    {
        requestZoom (*p, c.offset, c.width);
        run (1, 64);

        p->scrollRequest = c.scroll;
        p->columnsResetRequested = true;
        run (1, 64);
        EXPECT_NEAR (p->zoom.offset.load(), c.expected, 1.0e-12) << c.offset;
        EXPECT_EQ (p->scrollRequest.load(), -2.0);
        EXPECT_FALSE (p->columnsResetRequested.load());
    }
}

TEST_F (Processor, PublishedWidthsBecomeColumnCountsClampedToTheArrays)
{
    p->displayWidth = 500;
    run (1, 64);
    EXPECT_EQ (p->displayBuffer.columnCountShared.load(), 500);

    p->displayWidth = 30000;
    run (1, 64);
    EXPECT_EQ (p->displayBuffer.columnCountShared.load(), varrow::DisplayBuffer::maxColumns);

    p->displayWidth = -10;
    run (1, 64);
    EXPECT_EQ (p->displayBuffer.columnCountShared.load(), 0);
}

TEST_F (Processor, BusLayouts)
{
    using Set = juce::AudioChannelSet;
    struct Case { Set in, out; bool supported; };

    for (const auto& c : { Case { Set::stereo(), Set::stereo(), true },
                           Case { Set::mono(), Set::mono(), true },
                           Case { Set::mono(), Set::stereo(), false },
                           Case { Set::stereo(), Set::mono(), false },
                           Case { Set::create5point1(), Set::create5point1(), false } })
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (c.in);
        layout.outputBuses.add (c.out);
        EXPECT_EQ (p->isBusesLayoutSupported (layout), c.supported) << c.in.getDescription() << " -> " << c.out.getDescription();
    }
}

TEST_F (Processor, FixedAnswersToTheHost)
{
    EXPECT_EQ (p->getName(), "Quorvel");
    EXPECT_EQ (p->getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (p->acceptsMidi());
    EXPECT_FALSE (p->producesMidi());
    EXPECT_TRUE (p->hasEditor());
    EXPECT_EQ (p->getNumPrograms(), 1);
    EXPECT_EQ (p->getParameters().size(), 1);
    EXPECT_EQ (p->getParameters()[0]->getName (32), "Freeze");
    EXPECT_EQ (p->getParameters()[0]->getText (1.0f, 16), "On");
}
