#include "TestEnvironment.h"
#include "ViewTestSupport.h"
#include "WavFile.h"

#include "BarSnapping.h"
#include "SilenceScan.h"
#include "SnippetExport.h"
#include "SnippetFileName.h"
#include "SnippetRegion.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <cstdlib>
#include <ctime>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace quorvel::test;

namespace
{

constexpr int rate = 48000;
constexpr int ring30s = rate * 30;

/** Sample number g of the input, exact in a float and never silent: left 0.25 + g / 2^24,
    right its negative. */
float leftSample (juce::int64 g)    { return 0.25f + (float) g / 16777216.0f; }
float rightSample (juce::int64 g)   { return -leftSample (g); }

/** The folder's files, the hidden ones included. */
juce::Array<juce::File> filesIn (const juce::File& folder)
{
    return folder.findChildFiles (juce::File::findFiles, false, "*");
}

//==============================================================================
TEST (SnippetRegion, SelectionsAndTakesBecomeRingIndicesAndLengths)
{
    struct Case
    {
        const char* what;
        SnippetRegion region;
        int first, numSamples;
    };

    const Case cases[] {
        { "unzoomed", SnippetRegion::forSelection (0.25f, 0.125f, 0.0f, false, 0.0, 1.0, ring30s), 360000, 180000 },
        { "rotated: 1.15 of the ring wraps to 0.15", SnippetRegion::forSelection (0.25f, 0.125f, 0.9f, false, 0.0, 1.0, ring30s), 216000, 180000 },
        { "zoomed: the rotation is ignored", SnippetRegion::forSelection (0.25f, 0.125f, 0.9f, true, 0.5, 0.25, ring30s), 810000, 45000 },
        { "a zoom window past the ring's end", SnippetRegion::forSelection (0.8f, 0.125f, 0.0f, true, 0.9, 0.25, ring30s), 144000, 45000 },
        { "across the ring's end", SnippetRegion::forSelection (0.9375f, 0.125f, 0.0f, false, 0.0, 1.0, ring30s), 1350000, 180000 },
        { "rounds to no sample", SnippetRegion::forSelection (0.5f, 1.0e-7f, 0.0f, false, 0.0, 1.0, ring30s), 720000, 0 },
        { "halves round away from zero", SnippetRegion::fromFractions (2.5 / ring30s, 3.5 / ring30s, ring30s), 3, 4 },
        { "a finished take", SnippetRegion::forPlayback (0.2, 0.5, 0, ring30s), 288000, 432000 },
        { "a take still running ends at the write index", SnippetRegion::forPlayback (0.2, -2.0, 1080000, ring30s), 288000, 792000 },
        { "a take whose end lies before its start wraps", SnippetRegion::forPlayback (0.8, 0.1, 0, ring30s), 1152000, 432000 },
        { "no take yet", SnippetRegion::forPlayback (-2.0, -2.0, 5000, ring30s), 0, 0 },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (c.region.first, c.first) << c.what;
        EXPECT_EQ (c.region.numSamples, c.numSamples) << c.what;
    }
}

//==============================================================================
/** Sets the process's time zone for the life of the object. */
class TimeZone
{
public:
    explicit TimeZone (const char* zone)
    {
        if (const char* old = std::getenv ("TZ"))
            previous = old;

        setenv ("TZ", zone, 1);
        tzset();
    }

    ~TimeZone()
    {
        if (previous.has_value())
            setenv ("TZ", previous->c_str(), 1);
        else
            unsetenv ("TZ");

        tzset();
    }

private:
    std::optional<std::string> previous;
};

TEST (SnippetFileName, TimeStampsAndTemposAsTheFileNameShowsThem)
{
    struct Case
    {
        const char* zone;
        bool appendBpm;
        double bpm;
        const char* name;
    };

    const Case cases[] {
        { "CET-1", true, 120.0, "VA_20240131T142305_123_0100_120BPM" },
        { "UTC0", true, 92.5, "VA_20240131T142305_123Z_92.5BPM" },
        { "IST+5:30", true, -1.0, "VA_20240131T142305_123-0530" },
        { "UTC0", true, 128.5, "VA_20240131T142305_123Z_128.5BPM" },
        { "UTC0", false, 120.0, "VA_20240131T142305_123Z" },
        { "UTC0", true, 100.0, "VA_20240131T142305_123Z_100BPM" },
    };

    for (const auto& c : cases)
    {
        const TimeZone zone (c.zone);
        const juce::Time moment (2024, 0, 31, 14, 23, 5, 123, true);   // local time in that zone
        EXPECT_EQ (SnippetFileName::baseName (moment, c.appendBpm, c.bpm), c.name) << c.zone << " " << c.bpm;
    }

    EXPECT_EQ (SnippetFileName::withAttempt ("VA_x", 1), "VA_x.wav");
    EXPECT_EQ (SnippetFileName::withAttempt ("VA_x", 3), "VA_x_3.wav");
}

//==============================================================================
TEST (BarSnapping, PadsToAPowerOfTwoBarsUnderAMinute)
{
    struct Case
    {
        double seconds, bpm, snappedSeconds;
    };

    const Case cases[] {
        { 3.0, 120.0, 4.0 }, { 0.5, 120.0, 2.0 }, { 5.0, 120.0, 8.0 }, { 2.0, 120.0, 2.0 },
        { 70.0, 120.0, 70.0 }, { 0.0, 120.0, 2.0 }, { 3.0, -1.0, 3.0 }, { 1.0, 90.0, 8.0 / 3.0 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (BarSnapping::snappedLength ((int) (c.seconds * rate), rate, c.bpm), (int) std::round (c.snappedSeconds * rate))
            << c.seconds << " s at " << c.bpm;

    EXPECT_TRUE (BarSnapping::applies (true, false, true));
    EXPECT_FALSE (BarSnapping::applies (false, false, true));
    EXPECT_FALSE (BarSnapping::applies (true, true, true));
    EXPECT_FALSE (BarSnapping::applies (true, false, false));
}

//==============================================================================
TEST (SilenceScan, LevelsAreThoseOfTheMagnitude)
{
    EXPECT_EQ (SilenceScan::level (0.0f), -150.0);
    EXPECT_EQ (SilenceScan::level (1.0e-9f), -150.0);
    EXPECT_EQ (SilenceScan::level (1.0f), 0.0);
    EXPECT_NEAR (SilenceScan::level (0.5f), -6.0206, 1.0e-4);
    EXPECT_EQ (SilenceScan::level (-0.5f), SilenceScan::level (0.5f));

    // The scans compare magnitudes with a boundary instead of taking logarithms: it must be
    // the exact one.
    for (const double threshold : { -149.0, -125.0, -100.0, -63.5, -60.0, -6.0, -0.001 })
    {
        const float boundary = SilenceScan::loudMagnitude (threshold);
        EXPECT_GE (SilenceScan::level (boundary), threshold);
        EXPECT_LT (SilenceScan::level (std::nextafter (boundary, 0.0f)), threshold);
    }
}

TEST (SilenceScan, KeepsOnePositionOfSilenceAroundTheSound)
{
    struct Case
    {
        const char* what;
        std::vector<float> first, second;
        int numChannels;
        bool keepStart;
        int start, end;
    };

    const std::vector<float> none;
    const Case cases[] {
        { "sound from the first sample", { 0.5f, 0, 0, 0.5f, 0, 0 }, none, 1, false, 0, 5 },
        { "sound from index 2", { 0, 0, 0.5f, 0.5f, 0, 0 }, none, 1, false, 1, 5 },
        { "sound to the last sample", { 0, 0, 0.5f, 0.5f }, none, 1, false, 1, 4 },
        { "edges of negative half-cycles are sound", { 0, 0, -0.5f, 0.5f, -0.5f, 0, 0 }, none, 1, false, 1, 6 },
        { "sound only in negative values", { 0, 0, -0.5f, -0.5f, 0, 0 }, none, 1, false, 1, 5 },
        { "nothing loud: written whole", { 0.0001f, 0, -0.0001f }, none, 1, false, 0, 3 },
        { "a threshold reached exactly counts", { 0, 0, 0.001f, 0 }, none, 1, false, 1, 4 },
        { "the playback region keeps its start", { 0, 0, 0, 0.5f, 0, 0 }, none, 1, true, 0, 5 },
        { "sound on the second channel", { 0, 0, 0, 0, 0 }, { 0, 0, 0.5f, 0, 0 }, 2, false, 1, 4 },
        { "the second channel ignored in mono", { 0, 0, 0, 0.5f, 0, 0 }, { 0.5f, 0, 0, 0, 0, 0.5f }, 1, false, 2, 5 },
        { "an empty snippet", {}, none, 1, false, 0, 0 },
    };

    const double threshold = SilenceScan::level (0.001f);

    for (const auto& c : cases)
    {
        const float* channels[] { c.first.data(), c.second.empty() ? c.first.data() : c.second.data() };
        const auto kept = SilenceScan::keptRange (channels, c.numChannels, (int) c.first.size(), threshold, c.keepStart);
        EXPECT_EQ (kept, juce::Range<int> (c.start, c.end)) << c.what;
    }
}

//==============================================================================
/** A small ring of known samples, copied as the processor copies its capture. */
struct SmallRing
{
    explicit SmallRing (int capacity) : ring (capacity) {}

    void write (int n)
    {
        for (int i = 0; i < n; ++i, ++written)
            ring.write (leftSample (written), rightSample (written));
    }

    SnippetExport::Copy copy()
    {
        return [this] (const varrow::CircularBuffer::Snapshot& since, int first, int n, float* l, float* r)
        {
            if (beforeEachCopy)
                beforeEachCopy();

            return ring.copyRegion (since, first, n, l, r);
        };
    }

    varrow::CircularBuffer ring;
    juce::int64 written = 0;
    std::function<void()> beforeEachCopy;
};

TEST (SnippetExport, SamplesOverwrittenDuringTheCopyAreLeftOut)
{
    // A ring of 4 chunks holding samples 0 .. 4.5 chunks; the region spans the write head
    // (slot 0.5 chunks): the newest half chunk, then the oldest 1.5 chunks.
    constexpr int chunk = SnippetExport::samplesPerCopy;
    SmallRing source (4 * chunk);
    source.write (4 * chunk + chunk / 2);

    const auto since = source.ring.snapshot();
    const SnippetRegion region { 0, 2 * chunk };
    juce::int64 expectedNewest = 4 * chunk, expectedOldest = chunk / 2;

    // Before the second chunk is copied the head moves on 1000 samples over the oldest ones.
    int copies = 0;
    source.beforeEachCopy = [&] { if (copies++ == 1) source.write (1000); };

    juce::AudioBuffer<float> storage;
    const auto copied = SnippetExport::copy (source.copy(), since, region, SnippetExport::stereo, storage);

    ASSERT_TRUE (copied.complete);
    ASSERT_EQ (copied.numSamples, 2 * chunk - 1000);
    const auto* left = storage.getReadPointer (0) + copied.offset;
    const auto* right = storage.getReadPointer (1) + copied.offset;

    // The newest half chunk, then the oldest samples from the first one not overwritten.
    for (int i = 0; i < copied.numSamples; ++i)
    {
        const auto g = i < chunk / 2 ? expectedNewest + i : expectedOldest + 1000 + (i - chunk / 2);
        ASSERT_EQ (left[i], leftSample (g)) << i;
        ASSERT_EQ (right[i], rightSample (g)) << i;
    }

    // A region starting at the oldest sample loses its head instead.
    copies = 0;
    const auto later = source.ring.snapshot();
    const SnippetRegion oldest { later.writeIndex, chunk + 10 };
    const auto headLost = SnippetExport::copy (source.copy(), later, oldest, SnippetExport::monoRight, storage);
    ASSERT_TRUE (headLost.complete);
    EXPECT_EQ (headLost.numSamples, chunk + 10 - 1000);
    const auto firstKept = source.written - 1000 - 4 * chunk + 1000;   // the oldest when the snapshot was taken, plus 1000
    EXPECT_EQ (storage.getSample (0, headLost.offset), rightSample (firstKept));
}

TEST (SnippetExport, NothingIsWrittenFromARingReplacedDuringTheCopy)
{
    constexpr int capacity = 3 * SnippetExport::samplesPerCopy;
    SmallRing source (capacity);
    source.write (capacity);
    const auto since = source.ring.snapshot();

    // A restart to the same length between the chunks: the capacity alone would not tell.
    varrow::CircularBuffer::Channels fresh (capacity);
    int copies = 0;
    source.beforeEachCopy = [&] { if (copies++ == 1) source.ring.restart (capacity, fresh); };

    const auto folder = juce::File (recordingFolder());
    folder.deleteRecursively();
    folder.createDirectory();
    juce::AudioBuffer<float> storage;
    const auto result = SnippetExport::write (folder, juce::Time::getCurrentTime(), source.copy(), since,
                                              { 0, capacity }, {}, storage);

    EXPECT_FALSE (result.succeeded());
    EXPECT_EQ (result.error, SnippetExport::ringReplacedCause);
    EXPECT_TRUE (filesIn (folder).isEmpty());
}

TEST (SnippetExport, SnappingPadsTheTrimmedSnippetWithSilence)
{
    SmallRing source (rate * 4);
    source.write (rate * 4);
    const auto folder = juce::File (recordingFolder());
    folder.deleteRecursively();
    folder.createDirectory();

    SnippetExport::Options options;
    options.sampleRate = rate;
    options.snapToBars = true;
    options.bpm = 120.0;
    juce::AudioBuffer<float> storage;

    struct Case { int numSamples, frames; };

    // 3 s become two bars (4 s); no sample at all becomes one bar of silence.
    for (const auto c : { Case { rate * 3, rate * 4 }, Case { 0, rate * 2 } })
    {
        const auto result = SnippetExport::write (folder, juce::Time::getCurrentTime(), source.copy(), source.ring.snapshot(),
                                                  { 1000, c.numSamples }, options, storage);
        ASSERT_TRUE (result.succeeded()) << result.error;
        const auto wav = WavFile::read (result.file);
        ASSERT_EQ (wav.frames, c.frames);

        for (int i = 0; i < c.frames; ++i)
            ASSERT_EQ (wav.samples[0][(size_t) i], i < c.numSamples ? leftSample (1000 + i) : 0.0f) << i;
    }
}

//==============================================================================
/** A prepared processor fed with numbered samples, exporting into the temporary home. */
class Export : public PreparedProcessor
{
protected:
    void SetUp() override
    {
        PreparedProcessor::SetUp();
        p->exportClock = &clock;
        folder = juce::File (recordingFolder());
    }

    void feed (int samples)
    {
        while (samples > 0)
        {
            const int n = std::min (samples, 512);
            auto block = makeBlock (2, n, [this] (int c, int i) { return c == 0 ? leftSample (fed + i) : rightSample (fed + i); });
            processBlock (*p, block);
            fed += n;
            samples -= n;
        }
    }

    /** The sample number the ring slot holds after everything fed so far. */
    juce::int64 numberAt (int slot) const
    {
        const auto capacity = (juce::int64) p->captureBuffer->capacity;
        const auto lap = (fed - 1 - slot) / capacity;
        return slot + lap * capacity;
    }

    juce::File exportSelection (float start, float length)
    {
        p->selectionStart = start;
        p->selectionLength = length;
        p->saveCropRegionToFile (false, true);
        return takeFile();
    }

    juce::File takeFile()
    {
        if (! p->fileReadyForDrag)
            return {};

        p->fileReadyForDrag = p->dragPending = false;
        return juce::File (p->lastWrittenFile);
    }

    /** Every frame of the file against the ring slots from `first`, wrapping. */
    static testing::AssertionResult holdsSlots (const WavFile& wav, int first, int numSamples, int capacity,
                                                const std::function<juce::int64 (int)>& numberAtSlot, int channelMode)
    {
        if (! wav.opened)
            return testing::AssertionFailure() << "libsndfile cannot open it";

        if (wav.frames != numSamples || wav.sampleRate != rate || wav.channels != (channelMode == 0 ? 2 : 1))
            return testing::AssertionFailure() << wav.frames << " frames of " << wav.channels << " channels at " << wav.sampleRate;

        const double tolerance = wav.isPcm24() ? 1.0 / 8388608.0 : 0.0;

        for (int i = 0; i < numSamples; ++i)
        {
            const auto g = numberAtSlot ((first + i) % capacity);
            const float expected[] { channelMode == 2 ? rightSample (g) : leftSample (g), rightSample (g) };

            for (int c = 0; c < wav.channels; ++c)
                if (std::abs (wav.samples[(size_t) c][(size_t) i] - expected[c]) > tolerance)
                    return testing::AssertionFailure() << "frame " << i << " channel " << c << ": "
                                                       << wav.samples[(size_t) c][(size_t) i] << " instead of " << expected[c];
        }

        return testing::AssertionSuccess();
    }

    FakeClock clock;
    juce::File folder;
    juce::int64 fed = 0;
};

TEST_F (Export, SelectionsAreWrittenSampleForSampleInEveryFormat)
{
    feed (ring30s + 100000);   // the ring has wrapped: slots below 100000 hold the newest samples

    struct Case
    {
        const char* what;
        double zoomOffset, zoomWidth;
        float rotation, start, length;
        int channelMode;
        bool save24Bit;
        int first, numSamples;
    };

    const Case cases[] {
        { "stereo", 0.0, 1.0, 0.0f, 0.25f, 0.125f, 0, false, 360000, 180000 },
        { "across the ring's end", 0.0, 1.0, 0.0f, 0.9375f, 0.125f, 0, false, 1350000, 180000 },
        { "rotated across the end", 0.0, 1.0, 0.5f, 0.4f, 0.2f, 0, false, 1296000, 288000 },
        { "zoomed, the rotation ignored", 0.5, 0.25, 0.9f, 0.25f, 0.125f, 0, false, 810000, 45000 },
        { "zoomed past the ring's end", 0.9, 0.25, 0.0f, 0.8f, 0.125f, 0, false, 144000, 45000 },
        { "Mono (Left)", 0.0, 1.0, 0.0f, 0.25f, 0.125f, 1, false, 360000, 180000 },
        { "Mono (Right)", 0.0, 1.0, 0.0f, 0.25f, 0.125f, 2, false, 360000, 180000 },
        { "24 bit", 0.0, 1.0, 0.0f, 0.9375f, 0.125f, 0, true, 1350000, 180000 },
        { "24 bit mono", 0.0, 1.0, 0.0f, 0.25f, 0.125f, 2, true, 360000, 180000 },
    };

    for (const auto& c : cases)
    {
        requestZoom (*p, c.zoomOffset, c.zoomWidth);
        feed (512);   // applies the zoom
        p->displayRotation = c.rotation;
        p->channelMode = c.channelMode;
        p->save24Bit = c.save24Bit;

        const auto file = exportSelection (c.start, c.length);
        ASSERT_TRUE (file.existsAsFile()) << c.what;
        EXPECT_TRUE (file.isAChildOf (folder)) << c.what;

        const auto wav = WavFile::read (file);
        EXPECT_TRUE (c.save24Bit ? wav.isPcm24() : wav.isFloat()) << c.what;
        EXPECT_TRUE (holdsSlots (wav, c.first, c.numSamples, ring30s, [this] (int slot) { return numberAt (slot); }, c.channelMode))
            << c.what;

        // No descriptive chunk: only the format, the samples and the framework's padding.
        for (const auto& id : riffChunkIds (file))
            EXPECT_TRUE (juce::StringArray ({ "fmt ", "data", "JUNK", "fact" }).contains (id)) << c.what << ": chunk " << id;

        file.deleteFile();
    }
}

TEST_F (Export, NamesCarryTheTimeAndTempoAndNeverReplaceAFile)
{
    const TimeZone zone ("CET-1");
    clock.wallMs = juce::Time (2024, 0, 31, 14, 23, 5, 123, true).toMilliseconds();
    playHead.bpm = 120.0;
    feed (rate);

    const auto first = exportSelection (0.0f, 0.01f);
    ASSERT_TRUE (first.existsAsFile());
    const auto firstBytes = first.loadFileAsString();

    // The same millisecond again, and once more: new names, the first file untouched.
    const auto second = exportSelection (0.0f, 0.02f);
    const auto third = exportSelection (0.0f, 0.03f);
    EXPECT_EQ (first.getFileName(), "VA_20240131T142305_123_0100_120BPM.wav");
    EXPECT_EQ (second.getFileName(), "VA_20240131T142305_123_0100_120BPM_2.wav");
    EXPECT_EQ (third.getFileName(), "VA_20240131T142305_123_0100_120BPM_3.wav");
    EXPECT_EQ (first.loadFileAsString(), firstBytes);
    EXPECT_EQ (WavFile::read (second).frames, (juce::int64) std::round (0.02f * ring30s));

    // "Append BPM" off: no tempo in the name.
    p->appendBpm = false;
    EXPECT_EQ (exportSelection (0.0f, 0.01f).getFileName(), "VA_20240131T142305_123_0100.wav");
    EXPECT_EQ (filesIn (folder).size(), 4) << "no temporary file stays behind";
}

TEST_F (Export, PlaybackRegionsOpenClosedAndWrapping)
{
    feed (ring30s - 40000);

    // A take from 40000 samples before the ring's end, 100000 long: it wraps.
    playHead.playing = true;
    feed (512);
    const auto takeStartSample = fed - 512;
    feed (100000 - 512);

    // Still running: it ends at the write index.
    p->saveCropRegionToFile (true, true);
    auto open = WavFile::read (takeFile());
    EXPECT_TRUE (holdsSlots (open, (int) takeStartSample, (int) (fed - takeStartSample), ring30s,
                             [this] (int slot) { return numberAt (slot); }, 0));

    playHead.playing = false;
    feed (512);
    const auto takeLength = (int) (fed - 512 - takeStartSample);
    feed (5000);   // later audio does not belong to it

    p->saveCropRegionToFile (true, true);
    const auto closed = WavFile::read (takeFile());
    EXPECT_TRUE (holdsSlots (closed, (int) takeStartSample, takeLength, ring30s, [this] (int slot) { return numberAt (slot); }, 0));
}

TEST_F (Export, TrimmingFollowsTheChannelModeAndKeepsATakesStart)
{
    // 1000 silent samples, then a take: 1000 more silent samples, 2000 of sound only on the
    // right (the left stays silent throughout), 3000 of sound only on the left, silence.
    const auto block = [this] (int n, float left, float right)
    {
        for (int done = 0; done < n; done += 500)
        {
            auto b = makeBlock (2, 500, [=] (int c, int) { return c == 0 ? left : right; });
            processBlock (*p, b);
            fed += 500;
        }
    };

    block (1000, 0.0f, 0.0f);
    playHead.playing = true;
    block (1000, 0.0f, 0.0f);
    block (2000, 0.0f, -0.5f);
    block (3000, 0.5f, 0.0f);
    playHead.playing = false;
    block (1000, 0.0f, 0.0f);

    struct Case
    {
        const char* what;
        bool playback;
        int channelMode;
        juce::int64 frames;
    };

    const Case cases[] {
        { "selection, stereo: one silent sample each side", false, 0, 1 + 5000 + 1 },
        { "selection, Mono (Right): the left's sound does not count", false, 2, 1 + 2000 + 1 },
        { "selection, Mono (Left)", false, 1, 1 + 3000 + 1 },
        { "take, stereo: its silent start stays; its sound lasts to its end", true, 0, 1000 + 5000 },
    };

    for (const auto& c : cases)
    {
        p->channelMode = c.channelMode;
        p->selectionStart = 0.0f;
        p->selectionLength = 8000.0f / ring30s;
        p->saveCropRegionToFile (c.playback, true);
        EXPECT_EQ (WavFile::read (takeFile()).frames, c.frames) << c.what;
    }

    // Trimming off: everything.
    p->trimSilence = false;
    p->channelMode = 0;
    EXPECT_EQ (WavFile::read (exportSelection (0.0f, 8000.0f / ring30s)).frames, 8000);
}

//==============================================================================
/** Folders a write into fails, each in its own way. */
class FailingExport : public Export
{
protected:
    void expectFailedCleanly (const juce::File& target, const juce::String& cause)
    {
        p->saveCropRegionToFile (false, true);

        EXPECT_FALSE (p->fileReadyForDrag);
        EXPECT_FALSE (p->dragPending);
        EXPECT_TRUE (filesIn (target).isEmpty()) << "a partial or temporary file was left behind";
        ASSERT_FALSE (p.messages->empty());
        EXPECT_EQ (p.messages->back().title, "Export - Error");
        EXPECT_EQ (p.messages->back().text, "Quorvel could not save the snippet into " + target.getFullPathName() + ": " + cause + ".");
    }

    void useFolder (const juce::File& target)
    {
        writePreferences ({ { "Recording Path", target.getFullPathName() } });
        feed (rate * 4);
        p->selectionStart = 0.0f;
        p->selectionLength = 0.1f;   // 144000 stereo float samples: over 1 MB
    }
};

TEST_F (FailingExport, AFileSystemThatFillsUpLeavesNoFile)
{
    const auto target = juce::File (recordingFolder()).getChildFile ("small");
    target.createDirectory();

    if (mount ("tmpfs", target.getFullPathName().toRawUTF8(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "this machine does not let the test mount a small file system (" << std::strerror (errno) << ")";

    struct Unmount
    {
        ~Unmount() { umount (path.toRawUTF8()); }
        juce::String path;
    } const unmount { target.getFullPathName() };

    useFolder (target);
    expectFailedCleanly (target, "no space left on device");
}

TEST_F (FailingExport, AWriteCutOffMidFileLeavesNoFile)
{
    // The process may write files of at most 64 kB: the write fails part way, as on a full disk.
    useFolder (folder);
    const auto ignored = std::signal (SIGXFSZ, SIG_IGN);
    rlimit previous {};
    getrlimit (RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 65536;
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);

    expectFailedCleanly (folder, "file too large");

    setrlimit (RLIMIT_FSIZE, &previous);
    std::signal (SIGXFSZ, ignored);
}

TEST_F (FailingExport, AFolderThatCannotBeWrittenLeavesNoFile)
{
    // Permission bits do not stop the superuser; /proc/sys takes no new files from anyone.
    auto target = juce::File ("/proc/sys");
    juce::String cause = "no such file or directory";

    if (geteuid() != 0)
    {
        target = folder.getChildFile ("read-only");
        target.createDirectory();
        target.setReadOnly (true);
        cause = "permission denied";
    }

    useFolder (target);
    expectFailedCleanly (target, cause);
    target.setReadOnly (false);
}

} // namespace
