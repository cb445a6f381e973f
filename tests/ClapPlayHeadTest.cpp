#include "ClapPlayHead.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace quorvel::test;

namespace
{

clap_event_transport_t transport (uint32_t flags, double tempo = 0.0)
{
    clap_event_transport_t t {};
    t.header = { sizeof (t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0 };
    t.flags = flags;
    t.tempo = tempo;
    t.song_pos_beats = 6 * CLAP_BEATTIME_FACTOR + CLAP_BEATTIME_FACTOR / 2;   // 6.5 beats
    t.song_pos_seconds = 3 * CLAP_SECTIME_FACTOR;
    t.bar_start = 4 * CLAP_BEATTIME_FACTOR;
    t.bar_number = 1;
    t.tsig_num = 3;
    t.tsig_denom = 4;
    return t;
}

constexpr uint32_t playing = CLAP_TRANSPORT_IS_PLAYING;
constexpr uint32_t recording = CLAP_TRANSPORT_IS_RECORDING;
constexpr uint32_t hasTempo = CLAP_TRANSPORT_HAS_TEMPO;
constexpr uint32_t timelines = CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_HAS_SECONDS_TIMELINE
                             | CLAP_TRANSPORT_HAS_TIME_SIGNATURE;

} // namespace

TEST (ClapPlayHead, PresentsTheHostsTransportAsThePlayHeadsPosition)
{
    ClapPlayHead head;

    head.update (nullptr);
    EXPECT_FALSE (head.getPosition().hasValue());

    const auto t = transport (playing | hasTempo | timelines, 97.5);
    head.update (&t);
    const auto position = head.getPosition();
    ASSERT_TRUE (position.hasValue());
    EXPECT_TRUE (position->getIsPlaying());
    EXPECT_FALSE (position->getIsRecording());
    EXPECT_EQ (position->getBpm(), juce::makeOptional (97.5));
    EXPECT_EQ (position->getPpqPosition(), juce::makeOptional (6.5));
    EXPECT_EQ (position->getPpqPositionOfLastBarStart(), juce::makeOptional (4.0));
    EXPECT_EQ (position->getTimeInSeconds(), juce::makeOptional (3.0));
    EXPECT_EQ (position->getTimeSignature(), juce::makeOptional (juce::AudioPlayHead::TimeSignature { 3, 4 }));

    // Values the host does not report stay absent rather than zero.
    const auto bare = transport (0);
    head.update (&bare);
    EXPECT_FALSE (head.getPosition()->getBpm().hasValue());
    EXPECT_FALSE (head.getPosition()->getPpqPosition().hasValue());
    EXPECT_FALSE (head.getPosition()->getIsPlaying());
}

TEST (ClapPlayHead, TheHostsTransportSetsTheTakeMarkersAndTheTempo)
{
    writePreferences ({ { "Recording Path", recordingFolder() } });
    ProcessorUnderTest p;
    ClapPlayHead head;
    p->setPlayHead (&head);
    p->prepareToPlay (48000.0, 480);
    juce::AudioBuffer<float> block (2, 480);
    juce::MidiBuffer midi;

    struct Step
    {
        const char* what;
        bool hasTransport;
        uint32_t flags;
        double tempo;
        double expectedStart, expectedEnd, expectedBpm;   // -2: marker not set; -1: no tempo yet
    };

    // Each block advances the write head by 480 frames.
    const double block1 = 480.0 / (double) p->captureBuffer->capacity;

    const Step steps[] {
        { "no transport",       false, 0,                     0.0,   -2.0,         -2.0,         -1.0 },
        { "stopped, tempo",     true,  hasTempo,              120.0, -2.0,         -2.0,         120.0 },
        { "starts playing",     true,  playing | hasTempo,    120.0, 2 * block1,   -2.0,         120.0 },
        { "tempo changes",      true,  playing | hasTempo,    90.0,  2 * block1,   -2.0,         90.0 },
        { "stops",              true,  hasTempo,              90.0,  2 * block1,   4 * block1,   90.0 },
        { "records",            true,  recording | hasTempo,  90.0,  5 * block1,   -2.0,         90.0 },
        { "transport vanishes", false, 0,                     0.0,   5 * block1,   -2.0,         90.0 },
    };

    for (const auto& step : steps)
    {
        const auto t = transport (step.flags, step.tempo);
        head.update (step.hasTransport ? &t : nullptr);
        block.clear();
        p->processBlock (block, midi);

        SCOPED_TRACE (step.what);
        EXPECT_NEAR (p->takeStart.load(), step.expectedStart, 1e-12);
        EXPECT_NEAR (p->takeEnd.load(), step.expectedEnd, 1e-12);
        EXPECT_EQ (p->hostBpm.load(), step.expectedBpm);
    }

    p->setPlayHead (nullptr);
}
