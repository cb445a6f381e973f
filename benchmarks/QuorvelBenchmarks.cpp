// Measures the capture path and the painting of the view, and prints the results as
// "figure <name> <value>" lines:
//
//   steady_ratio         processBlock's time per sample (512-sample blocks, a host's play head
//                        reporting a playing transport at 120 bpm) over that of a plain copy of
//                        the same block into ring memory of the same capacity; the fastest of
//                        five repetitions, in CPU time. _no_playhead: the same without a play head
//   worst_block_pct_64   the slowest 64-sample block by the wall clock, in percent of its 1333 us
//                        period, over five runs through zoom refills and a capture-length change.
//                        _cpu: the slowest by the thread's CPU time instead, which leaves out the
//                        time the thread waited or was preempted
//   copy_stall_ratio     the slowest 512-sample block by the wall clock over all seven rounds
//                        while another thread copies the whole 600 s capture into freshly
//                        allocated memory, over the slowest block of all rounds without the copy.
//                        _median_cpu: the median of the rounds' ratios in CPU time, as before.
//                        copy_600s_ms is how long one such copy took
//   export_ratio_30s     saveCropRegionToFile for 30 s of the capture (stereo, 48 kHz, float,
//                        trim on, nothing to trim) over libsndfile writing the same frames into
//                        the same folder; the fastest of five each. export_ms_30s and
//                        export_ms_600s (the whole 600 s capture) are the exports' times
//   export_stall_ratio   the slowest 512-sample block by the wall clock over all seven rounds
//                        while this thread (the message thread) exports the whole 600 s
//                        capture, over the slowest block of all rounds without; the blocks run
//                        paced on a thread of their own. The _reused lines: the same with the
//                        snippet storage kept from one export to the next; --export_experiments
//                        adds _freed_later, _huge_pages and _prefaulted (see StoragePath) and
//                        prints where each round's slowest blocks fell
//   export_peak_ratio_600s  the memory a 600 s export adds at its peak over its samples' size
//                        as float (see measureExports). The snippet storage is held with the
//                        ring (its samples' size once), so an export itself adds next to nothing
//   waveform_paint_us_*  one repaint of the waveform (RenderingBenchmarks.cpp), at 1000 x 79
//                        and 2560 x 400: the slower of the Carbon and the Rainbow (palette)
//                        theme, each also on its own line
//   overlay_paint_us_1000  one paint of the overlays at 1000 x 89 with all of them showing at
//                        once, the slower of the two themes; _idle: a selection and take
//                        markers with nothing moving
//
// Every timed block is called as the standalone player calls it: under the processor's
// callback lock. worst_block_pct_64, copy_stall_ratio and export_stall_ratio have two more
// lines each, which tell a block's own time from the machine's when the headline misses:
//   _unswitched   the same figure over only the blocks during which the thread was not
//                 switched out (getrusage), so without the time it spent preempted
//   _plain_copy   the same figure for a plain copy of each block into ring memory, timed the
//                 same way right after it: the floor that the machine sets at that moment
// A shared or virtual machine preempts an unpaced benchmark thread for milliseconds at a time;
// when the headline misses and the other two lines do not, that is where the time went.
//
// --exports_only measures the exports alone.

#include "BenchmarkSupport.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sndfile.h>
#include <sys/mman.h>
#include <sys/resource.h>

namespace
{

constexpr double sampleRate = 48000.0;
constexpr int steadyBlockSize = 512;
constexpr int ringOf30Seconds = 1440000;
constexpr int ringOf600Seconds = 28800000;

/** Points HOME and the XDG folders at a fresh temporary folder, for this process. */
std::string useTemporaryHome()
{
    std::string home = "/tmp/quorvel-bench-home-XXXXXX";

    if (mkdtemp (home.data()) == nullptr)
        std::abort();

    setenv ("HOME", home.c_str(), 1);
    setenv ("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv ("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv ("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    return home;
}

double threadCpuNanoseconds() noexcept
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec * 1.0e9 + (double) t.tv_nsec;
}

double wallNanoseconds() noexcept
{
    return (double) std::chrono::duration_cast<std::chrono::nanoseconds> (
                        std::chrono::steady_clock::now().time_since_epoch()).count();
}

/** How often the calling thread has been switched out (given up the CPU or been preempted). */
long threadSwitches() noexcept
{
    rusage usage {};
    getrusage (RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

/** Writes a stereo sine (440 Hz left, 660 Hz right) from sample `first` on into the block. */
void fillSine (juce::AudioBuffer<float>& block, juce::int64 first) noexcept
{
    constexpr auto twoPi = juce::MathConstants<double>::twoPi;

    for (int i = 0; i < block.getNumSamples(); ++i)
    {
        const double t = (double) (first + i) / sampleRate;
        block.setSample (0, i, (float) (0.5 * std::sin (twoPi * 440.0 * t)));
        block.setSample (1, i, (float) (0.5 * std::sin (twoPi * 660.0 * t)));
    }
}

/** A stereo signal that never falls below 0.25 in magnitude (a sine over an offset): a
    snippet of it has nothing for the silence trim to cut. */
float loudSample (int channel, juce::int64 index) noexcept
{
    constexpr auto twoPi = juce::MathConstants<double>::twoPi;
    const double t = (double) index / sampleRate;
    return (float) (0.5 + 0.25 * std::sin (twoPi * (channel == 0 ? 440.0 : 660.0) * t));
}

void fillLoud (juce::AudioBuffer<float>& block, juce::int64 first) noexcept
{
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < block.getNumSamples(); ++i)
            block.setSample (c, i, loudSample (c, first + i));
}

/** A host's transport while it plays: at 120 bpm in 4/4. */
class PlayingHead final : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo position;
        position.setIsPlaying (true);
        position.setBpm (120.0);
        position.setTimeSignature (TimeSignature {});
        position.setTimeInSamples (0);
        return position;
    }
};

/** How long one block took, by the steady clock and in the thread's CPU time, and whether the
    thread was switched out meanwhile. Inside a virtual machine the CPU-time clock sometimes
    jumps by tens of microseconds within a call (more CPU time than time elapsed), so the CPU
    time is capped at the wall time. */
struct BlockTime
{
    BlockTime (double wallNs, double cpuNs, bool wasSwitchedOut) noexcept
        : wall (wallNs), cpu (std::min (cpuNs, wallNs)), switchedOut (wasSwitchedOut) {}

    double wall, cpu;
    bool switchedOut;
};

/** Times one call of `work` by both clocks. */
template <typename Work>
BlockTime timeBlock (Work&& work)
{
    const auto switches = threadSwitches();
    const auto cpuStart = threadCpuNanoseconds();
    const auto wallStart = wallNanoseconds();
    work();
    const auto wallEnd = wallNanoseconds();
    const auto cpuEnd = threadCpuNanoseconds();
    return { wallEnd - wallStart, cpuEnd - cpuStart, threadSwitches() != switches };
}

/** The slowest block seen: by the wall clock, by the CPU time, and by the wall clock among the
    blocks during which the thread kept its CPU. */
struct SlowestBlock
{
    void add (const BlockTime& t) noexcept
    {
        wall = std::max (wall, t.wall);
        cpu = std::max (cpu, t.cpu);

        if (! t.switchedOut)
            unswitchedWall = std::max (unswitchedWall, t.wall);
    }

    void merge (const SlowestBlock& other) noexcept
    {
        wall = std::max (wall, other.wall);
        cpu = std::max (cpu, other.cpu);
        unswitchedWall = std::max (unswitchedWall, other.unswitchedWall);
    }

    double wall = 0.0, cpu = 0.0, unswitchedWall = 0.0;
};

/** The floor of capturing: stereo blocks copied into ring memory, wrapping at its end. */
class PlainRing
{
public:
    explicit PlainRing (int capacityToUse)
        : capacity (capacityToUse), left ((size_t) capacityToUse), right ((size_t) capacityToUse) {}

    void write (const juce::AudioBuffer<float>& block) noexcept
    {
        const int n = block.getNumSamples();
        const int toEnd = std::min (n, capacity - writeIndex);
        const auto* inLeft = block.getReadPointer (0);
        const auto* inRight = block.getReadPointer (1);

        std::copy_n (inLeft, toEnd, left.data() + writeIndex);
        std::copy_n (inRight, toEnd, right.data() + writeIndex);
        std::copy_n (inLeft + toEnd, n - toEnd, left.data());
        std::copy_n (inRight + toEnd, n - toEnd, right.data());
        writeIndex = (writeIndex + n) % capacity;
    }

private:
    const int capacity;
    std::vector<float> left, right;
    int writeIndex = 0;
};

/** One timed block of the processor, and a plain copy of the same block timed right after it. */
struct TimedBlock
{
    BlockTime processed, plainCopy;
};

/** The slowest of both kinds of block. */
struct SlowestBlocks
{
    void add (const TimedBlock& t) noexcept
    {
        processed.add (t.processed);
        plainCopy.add (t.plainCopy);
    }

    void merge (const SlowestBlocks& other) noexcept
    {
        processed.merge (other.processed);
        plainCopy.merge (other.plainCopy);
    }

    SlowestBlock processed, plainCopy;
};

/** A processor prepared at 48 kHz as a host prepares it, fed a stereo sine (live input) or
    the loud signal, and called as the standalone player calls it: under the processor's
    callback lock. */
class Rig
{
public:
    enum class Signal { sine, loud };

    explicit Rig (int blockSizeToUse, Signal signalToFeed = Signal::sine)
        : blockSize (blockSizeToUse),
          signal (signalToFeed),
          processor (std::make_unique<AudioPluginAudioProcessor> (std::make_unique<SilentMessages>())),
          buffer (2, blockSizeToUse),
          plainRing (ringOf30Seconds)
    {
        processor->prepareToPlay (sampleRate, blockSize);
    }

    /** Writes the next stretch of the sine into the block. */
    void fillInput() noexcept
    {
        if (signal == Signal::loud)
            fillLoud (buffer, samplesFed);
        else
            fillSine (buffer, samplesFed);

        samplesFed += blockSize;
    }

    void callProcessBlock()
    {
        const juce::ScopedLock sl (processor->getCallbackLock());
        processor->processBlock (buffer, midi);
    }

    void process()
    {
        fillInput();
        callProcessBlock();
    }

    /** Processes one block, then copies the processed block into the plain ring under the same
        lock; only the two calls (with taking the lock) are timed. */
    TimedBlock processTimed()
    {
        fillInput();
        const auto processed = timeBlock ([this] { callProcessBlock(); });

        const auto plainCopy = timeBlock ([this]
        {
            const juce::ScopedLock sl (processor->getCallbackLock());
            plainRing.write (buffer);
        });

        return { processed, plainCopy };
    }

    /** Processes blocks until the refill of the visible window has finished (the block that
        applies a pending request starts it anew). False if it never finished. */
    bool processUntilRefilled (SlowestBlocks* slowest = nullptr)
    {
        for (int block = 0; block < 1000000; ++block)
        {
            if (slowest != nullptr)
                slowest->add (processTimed());
            else
                process();

            if (processor->refillProgress == 1.0)
                return true;
        }

        return false;
    }

    /** The first refill of the window, then a second of capture. */
    bool settle()
    {
        const bool refilled = processUntilRefilled();

        for (int i = 0; i < (int) sampleRate / blockSize; ++i)
            process();

        return refilled;
    }

    const int blockSize;
    const Signal signal;
    std::unique_ptr<AudioPluginAudioProcessor> processor;
    juce::AudioBuffer<float> buffer;
    juce::MidiBuffer midi;
    juce::int64 samplesFed = 0;
    PlainRing plainRing;
};

//==============================================================================
// Steady capture: 512-sample blocks, 30 s ring, unzoomed, default display width, not frozen.
// Timed as processBlock alone (without the callback lock, which is the host's cost).

void steadyProcessBlock (benchmark::State& state, juce::AudioPlayHead* head)
{
    Rig rig (steadyBlockSize);
    rig.processor->setPlayHead (head);

    if (! rig.settle())
        state.SkipWithError ("the display refill never finished");

    // One block of sine, reused: at unity gain processBlock passes it through unchanged.
    rig.fillInput();

    for (auto _ : state)
        rig.processor->processBlock (rig.buffer, rig.midi);

    state.SetItemsProcessed (state.iterations() * steadyBlockSize);
}

/** As inside a host whose transport plays: processBlock asks the play head every block. */
void processBlock512 (benchmark::State& state)
{
    PlayingHead head;
    steadyProcessBlock (state, &head);
}

/** As the standalone program runs it, without a play head. */
void processBlock512NoPlayHead (benchmark::State& state)
{
    steadyProcessBlock (state, nullptr);
}

/** The floor of capturing: the same stereo block copied into ring memory of the same
    capacity, wrapping at its end. */
void plainCopy512 (benchmark::State& state)
{
    PlainRing ring (ringOf30Seconds);
    juce::AudioBuffer<float> input (2, steadyBlockSize);
    fillSine (input, 0);

    for (auto _ : state)
    {
        ring.write (input);
        benchmark::ClobberMemory();
    }

    state.SetItemsProcessed (state.iterations() * steadyBlockSize);
}

BENCHMARK (processBlock512)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (processBlock512NoPlayHead)->Unit (benchmark::kNanosecond)->Repetitions (5);
BENCHMARK (plainCopy512)->Unit (benchmark::kNanosecond)->Repetitions (5);

/** Shows the results as usual and keeps each repetition's CPU time per iteration (ns). */
class KeepingReporter final : public benchmark::ConsoleReporter
{
public:
    KeepingReporter() : ConsoleReporter (OO_Tabular) {}

    void ReportRuns (const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && ! run.error_occurred)
                cpuTimes[run.run_name.function_name].push_back (run.GetAdjustedCPUTime());

        ConsoleReporter::ReportRuns (runs);
    }

    /** The fastest repetition, the least disturbed by other work on the machine. */
    double fastest (const std::string& name) const
    {
        const auto found = cpuTimes.find (name);

        if (found == cpuTimes.end() || found->second.empty())
            return std::numeric_limits<double>::quiet_NaN();

        return *std::min_element (found->second.begin(), found->second.end());
    }

private:
    std::map<std::string, std::vector<double>> cpuTimes;
};

//==============================================================================
/** 64-sample blocks through a zoom in to half the ring, the zoom back out (which refills the
    whole 30 s window) and a switch to a 60 s capture (swap and refill). The benchmark thread
    stands for the message thread between blocks; only the blocks are timed. */
SlowestBlocks slowestBlockThroughViewChanges (bool& ok)
{
    Rig rig (64);
    ok = rig.settle();

    SlowestBlocks slowest;
    const auto steadyBlocks = [&]
    {
        for (int i = 0; i < 750; ++i)
            slowest.add (rig.processTimed());
    };

    steadyBlocks();
    requestZoom (*rig.processor, 0.25, 0.5);
    ok = rig.processUntilRefilled (&slowest) && ok;
    steadyBlocks();
    requestZoom (*rig.processor, 0.0, 1.0);
    ok = rig.processUntilRefilled (&slowest) && ok;
    steadyBlocks();
    rig.processor->requestRecordDuration (60);
    ok = rig.processUntilRefilled (&slowest) && ok;
    ok = rig.processor->captureBuffer->capacity == 2 * ringOf30Seconds && ok;
    steadyBlocks();

    return slowest;
}

/** Block times of one phase: the slowest, and every CPU time of the processor's blocks for
    percentiles. */
struct PhaseTimes
{
    PhaseTimes()
    {
        // Touched now, so that keeping a time never takes a page fault between blocks.
        cpuTimes.assign (1 << 22, 0.0);
        cpuTimes.clear();
    }

    void add (const TimedBlock& t)
    {
        slowest.add (t);
        cpuTimes.push_back (t.processed.cpu);
    }

    double cpuPercentile (double share)
    {
        if (cpuTimes.empty())
            return std::numeric_limits<double>::quiet_NaN();

        const auto nth = cpuTimes.begin() + (std::ptrdiff_t) (share * (double) (cpuTimes.size() - 1));
        std::nth_element (cpuTimes.begin(), nth, cpuTimes.end());
        return *nth;
    }

    SlowestBlocks slowest;
    std::vector<double> cpuTimes;
};

struct CopyStall
{
    PhaseTimes quiet, copying;
    std::vector<double> roundCpuRatios;   // each round's slowest block copying over its slowest quiet one, in CPU time
    double copyMilliseconds = 0.0;

    /** The slowest block of all rounds with the copy over the slowest of all rounds without,
        by the wall clock: a block that waits, or one round that stalls, shows. */
    double ratio() const noexcept   { return copying.slowest.processed.wall / quiet.slowest.processed.wall; }

    /** The same over the blocks during which the thread was not switched out. */
    double unswitchedRatio() const noexcept
    {
        return copying.slowest.processed.unswitchedWall / quiet.slowest.processed.unswitchedWall;
    }

    /** The same for the plain copies timed beside the blocks. */
    double plainCopyRatio() const noexcept   { return copying.slowest.plainCopy.wall / quiet.slowest.plainCopy.wall; }

    /** The former figure: the median round's ratio in CPU time. It hides a round that
        stalls, and the CPU-time clock does not see a block that waits. */
    double medianCpuRatio()
    {
        auto middle = roundCpuRatios.begin() + (std::ptrdiff_t) (roundCpuRatios.size() / 2);
        std::nth_element (roundCpuRatios.begin(), middle, roundCpuRatios.end());
        return *middle;
    }
};

/** Copies the whole capture as an export does, into memory allocated for this copy, and
    returns how long copyFromCapture took (with the page faults of the fresh memory). The
    memory is released on return. */
double copyWholeCaptureIntoFreshMemory (const AudioPluginAudioProcessor& p)
{
    const int oldest = p.captureBuffer->writeIndexShared.load();
    juce::AudioBuffer<float> destination (2, ringOf600Seconds);
    const auto start = wallNanoseconds();
    p.copyFromCapture (oldest, ringOf600Seconds, destination.getWritePointer (0), destination.getWritePointer (1));
    return wallNanoseconds() - start;
}

/** 512-sample blocks (long enough that a block's own work, not the clocks' overhead, sets the
    slowest one), unpaced on this thread, while one other thread copies the whole 600 s
    capture three times, each time into fresh memory; then as many blocks without the copy.
    Seven rounds. */
CopyStall slowestBlockDuringCopies (bool& ok)
{
    Rig rig (steadyBlockSize);
    rig.processor->requestRecordDuration (600);
    rig.process();   // swaps in the 600 s ring
    ok = rig.processor->captureBuffer->capacity == ringOf600Seconds;
    ok = rig.settle() && ok;

    CopyStall result;
    int totalCopies = 0;
    double totalCopyNs = 0.0;

    for (int round = 0; round < 7; ++round)
    {
        std::atomic<int> copies { 0 };
        std::atomic<bool> stop { false };
        double copyNs = 0.0;

        std::thread copier ([&]
        {
            while (! stop.load())
            {
                copyNs += copyWholeCaptureIntoFreshMemory (*rig.processor);
                ++copies;
            }
        });

        int blocks = 0;
        SlowestBlocks copying, quiet;

        for (; copies.load() < 3; ++blocks)
        {
            const auto t = rig.processTimed();
            result.copying.add (t);
            copying.add (t);
        }

        stop = true;
        copier.join();
        totalCopies += copies.load();
        totalCopyNs += copyNs;

        for (int i = 0; i < blocks; ++i)
        {
            const auto t = rig.processTimed();
            result.quiet.add (t);
            quiet.add (t);
        }

        result.roundCpuRatios.push_back (copying.processed.cpu / quiet.processed.cpu);
    }

    result.copyMilliseconds = totalCopyNs / totalCopies / 1.0e6;
    return result;
}

//==============================================================================
// Snippet exports. The export runs on this thread, the message thread, as the editor runs
// it; the blocks run on a thread of their own. The capture is a 600 s ring filled with the
// loud signal, so the silence trim scans every sample and keeps them all.

/** The folder the exports go into, set as the recording folder in the preferences. */
class ExportFolder
{
public:
    ExportFolder (const std::string& home, AudioPluginAudioProcessor& p)
        : folder (juce::File (home).getChildFile ("snippets"))
    {
        folder.createDirectory();
        const auto prefs = p.openPreferences();
        prefs->setValue ("Recording Path", folder.getFullPathName());
        prefs->save();
    }

    /** The frames of the one stereo 48 kHz WAV file in the folder (-1 when there is not
        exactly one such file); then removes every file, so that the disk does not fill. */
    juce::int64 takeWrittenFrames() const
    {
        const auto files = folder.findChildFiles (juce::File::findFiles, false);
        const auto frames = files.size() == 1 && files[0].hasFileExtension ("wav") ? framesIn (files[0]) : -1;

        for (const auto& f : files)
            f.deleteFile();

        return frames;
    }

    juce::File getChildFile (const char* name) const   { return folder.getChildFile (name); }

private:
    static juce::int64 framesIn (const juce::File& file)
    {
        SF_INFO info {};
        auto* sf = sf_open (file.getFullPathName().toRawUTF8(), SFM_READ, &info);

        if (sf == nullptr)
            return -1;

        sf_close (sf);
        return info.channels == 2 && info.samplerate == (int) sampleRate ? (juce::int64) info.frames : -1;
    }

    const juce::File folder;
};

/** How long libsndfile takes to open, write (float, stereo WAV) and close a file of the
    interleaved frames; NaN when it failed. */
double libsndfileWriteNanoseconds (const juce::File& file, const std::vector<float>& interleaved)
{
    const auto path = file.getFullPathName().toStdString();
    const auto frames = (sf_count_t) interleaved.size() / 2;
    SF_INFO info {};
    info.samplerate = (int) sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

    const auto start = wallNanoseconds();
    auto* sf = sf_open (path.c_str(), SFM_WRITE, &info);

    if (sf == nullptr)
        return std::numeric_limits<double>::quiet_NaN();

    const bool complete = sf_writef_float (sf, interleaved.data(), frames) == frames;
    sf_close (sf);
    const auto ns = wallNanoseconds() - start;
    return complete ? ns : std::numeric_limits<double>::quiet_NaN();
}

/** Selects `seconds` of the 600 s capture in the unzoomed view. */
void selectSeconds (AudioPluginAudioProcessor& p, double seconds)
{
    p.selectionStart = 0.0f;
    p.selectionLength = (float) (seconds / 600.0);
}

/** A count from /proc/self/status ("VmRSS", "VmHWM"), in bytes; -1 when not found. */
double statusBytes (const char* key)
{
    auto* status = std::fopen ("/proc/self/status", "r");

    if (status == nullptr)
        return -1.0;

    const auto keyLength = std::strlen (key);
    char line[256];
    double bytes = -1.0;

    while (std::fgets (line, sizeof line, status) != nullptr)
        if (std::strncmp (line, key, keyLength) == 0 && line[keyLength] == ':')
            bytes = 1024.0 * std::atof (line + keyLength + 1);

    std::fclose (status);
    return bytes;
}

/** Resets the peak resident size (VmHWM) to the current one. */
bool resetPeakResident()
{
    auto* clearRefs = std::fopen ("/proc/self/clear_refs", "w");

    if (clearRefs == nullptr)
        return false;

    const bool written = std::fputs ("5", clearRefs) >= 0;
    return std::fclose (clearRefs) == 0 && written;
}

/** Minor and major page faults the calling thread has taken. */
long threadPageFaults() noexcept
{
    rusage usage {};
    getrusage (RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

/** Where an export's snippet storage comes from. The product keeps one, sized and touched
    together with the ring; the others copy the product's steps (SnippetExport::write with the
    same region and options) to see what fresh memory would cost the audio thread:
      reused          one storage kept (and touched) for all exports, as the product does
      freedLater      fresh storage, freed only after the round's timed blocks
      hugePages       fresh storage in transparent huge pages, freed at the end as usual
      prefaulted      fresh storage, touched before the round's timed blocks, freed at the end */
enum class StoragePath { product, reused, freedLater, hugePages, prefaulted };

const char* nameOf (StoragePath path) noexcept
{
    switch (path)
    {
        case StoragePath::product:     return "";
        case StoragePath::reused:      return "_reused";
        case StoragePath::freedLater:  return "_freed_later";
        case StoragePath::hugePages:   return "_huge_pages";
        case StoragePath::prefaulted:  return "_prefaulted";
    }

    return "";
}

/** Exports the selection of the processor one way or another, on the message thread. */
class Exporter
{
public:
    Exporter (AudioPluginAudioProcessor& p, StoragePath pathToUse)
        : processor (p), path (pathToUse)
    {
        if (path == StoragePath::reused)
        {
            reusedStorage.setSize (2, ringOf600Seconds);
            reusedStorage.clear();
        }
    }

    void exportOnce()
    {
        switch (path)
        {
            case StoragePath::product:
                processor.saveCropRegionToFile (false, false);
                break;

            case StoragePath::reused:
                writeInto (reusedStorage);
                break;

            case StoragePath::freedLater:
                heldStorage.push_back (std::make_unique<juce::AudioBuffer<float>>());
                writeInto (*heldStorage.back());
                break;

            case StoragePath::prefaulted:
                writeInto (*heldStorage.back());
                heldStorage.clear();
                break;

            case StoragePath::hugePages:
            {
                const auto region = selectedRegion (processor.captureSnapshot());
                juce::AudioBuffer<float> storage (2, std::max (1, region.numSamples));
                adviseHugePages (storage);
                writeInto (storage);
                break;
            }
        }
    }

    /** Before the round's timed blocks: prefaulted touches its storage here. */
    void prepare()
    {
        if (path == StoragePath::prefaulted)
        {
            heldStorage.push_back (std::make_unique<juce::AudioBuffer<float>> (2, ringOf600Seconds));
            heldStorage.back()->clear();
        }
    }

    /** Frees the storage that freedLater holds back. */
    void releaseHeldStorage()   { heldStorage.clear(); }

    StoragePath getPath() const noexcept   { return path; }

private:
    SnippetRegion selectedRegion (const varrow::CircularBuffer::Snapshot& since) const
    {
        return SnippetRegion::forSelection (processor.selectionStart, processor.selectionLength,
                                            processor.displayRotation.load(), processor.zoomed.load(),
                                            processor.zoom.offset.load(), processor.zoom.width.load(), since.capacity);
    }

    /** saveCropRegionToFile's steps, into the given storage. */
    void writeInto (juce::AudioBuffer<float>& storage)
    {
        const auto folder = juce::File (processor.openPreferences()->getValue ("Recording Path"));
        const auto since = processor.captureSnapshot();

        SnippetExport::Options options;
        options.channelMode = processor.channelMode;
        options.trimSilence = processor.trimSilence;
        options.thresholdDb = processor.noiseThresholdDb;
        options.bpm = processor.hostBpm.load();
        options.appendBpm = processor.appendBpm;
        options.sampleRate = processor.sampleRateHz;
        options.save24Bit = processor.save24Bit;

        auto& p = processor;
        const auto copy = [&p] (const varrow::CircularBuffer::Snapshot& s, int first, int n, float* l, float* r)
        {
            return p.copyFromCapture (s, first, n, l, r);
        };

        SnippetExport::write (folder, juce::Time::getCurrentTime(), copy, since, selectedRegion (since), options, storage);
    }

    /** Asks for huge pages over the whole 2 MB pages inside the (untouched) storage. */
    static void adviseHugePages (juce::AudioBuffer<float>& storage)
    {
        constexpr std::uintptr_t hugePage = 2 << 20;
        const auto begin = (reinterpret_cast<std::uintptr_t> (storage.getWritePointer (0)) + hugePage - 1) & ~(hugePage - 1);
        const auto end = reinterpret_cast<std::uintptr_t> (storage.getWritePointer (1) + storage.getNumSamples()) & ~(hugePage - 1);

        if (end > begin)
            madvise (reinterpret_cast<void*> (begin), end - begin, MADV_HUGEPAGE);
    }

    AudioPluginAudioProcessor& processor;
    const StoragePath path;
    juce::AudioBuffer<float> reusedStorage;
    std::vector<std::unique_ptr<juce::AudioBuffer<float>>> heldStorage;
};

/** The blocks are paced, at 213 times the real rate: unpaced, they would lap the 600 s ring
    while the export copies it, and the export would rightly give up. Between blocks the
    thread spins rather than sleeps, so that it keeps its CPU, as the unpaced blocks of
    copy_stall_ratio do, and nothing the export does to the machine finds it asleep. */
constexpr auto exportBlockPeriod = std::chrono::microseconds (50);

/** The slowest block of a phase and when it started, in ms from the phase's start. */
struct SlowestMoment
{
    double wall = 0.0, atMs = 0.0;
    int over250us = 0;   // blocks slower than 250 us
};

/** Timed blocks, one per period, while `keepGoing (blocksDone)`; returns how many ran. */
template <typename KeepGoing>
int runPacedBlocks (Rig& rig, SlowestBlocks& slowest, long& pageFaults, SlowestMoment& moment, KeepGoing&& keepGoing)
{
    const auto faultsBefore = threadPageFaults();
    const auto start = std::chrono::steady_clock::now();
    auto next = start;
    int blocks = 0;

    for (; keepGoing (blocks); ++blocks)
    {
        const auto begun = std::chrono::steady_clock::now();
        const auto t = rig.processTimed();
        slowest.add (t);

        if (t.processed.wall > moment.wall)
        {
            moment.wall = t.processed.wall;
            moment.atMs = std::chrono::duration<double, std::milli> (begun - start).count();
        }

        moment.over250us += t.processed.wall > 250.0e3 ? 1 : 0;

        next += exportBlockPeriod;

        while (std::chrono::steady_clock::now() < next)
            continue;
    }

    pageFaults += threadPageFaults() - faultsBefore;
    return blocks;
}

struct ExportStall
{
    SlowestBlocks exporting, quiet;
    long exportingFaults = 0, quietFaults = 0;   // page faults the audio thread took
    double fastestExportMs = std::numeric_limits<double>::infinity();
    int failedExports = 0;

    /** By the rules of copy_stall_ratio: the slowest block of all rounds during the exports
        over the slowest of all rounds without, by the wall clock. */
    double ratio() const noexcept            { return exporting.processed.wall / quiet.processed.wall; }
    double unswitchedRatio() const noexcept  { return exporting.processed.unswitchedWall / quiet.processed.unswitchedWall; }
    double plainCopyRatio() const noexcept   { return exporting.plainCopy.wall / quiet.plainCopy.wall; }
};

/** One round: paced blocks while one 600 s export runs, then as many paced blocks without.
    With `tell`, prints where the round's slowest blocks fell. */
void exportRound (Rig& rig, const ExportFolder& folder, Exporter& exporter, ExportStall& result, bool tell)
{
    std::atomic<bool> exporting { true };
    SlowestMoment busyMoment, quietMoment;
    int blocks = 0;
    exporter.prepare();

    std::thread audio ([&]
    {
        blocks = runPacedBlocks (rig, result.exporting, result.exportingFaults, busyMoment,
                                 [&] (int) { return exporting.load(); });
    });

    const auto start = wallNanoseconds();
    exporter.exportOnce();
    const auto exportMs = (wallNanoseconds() - start) / 1.0e6;
    result.fastestExportMs = std::min (result.fastestExportMs, exportMs);
    exporting = false;
    audio.join();

    exporter.releaseHeldStorage();

    // The blocks overwrite some of the oldest audio while the copy runs; the rest is kept.
    const auto frames = folder.takeWrittenFrames();

    if (frames <= 0 || frames < ringOf600Seconds - (juce::int64) blocks * rig.blockSize)
        ++result.failedExports;

    // On a new thread as well, so that both halves start alike.
    std::thread quiet ([&]
    {
        runPacedBlocks (rig, result.quiet, result.quietFaults, quietMoment, [blocks] (int done) { return done < blocks; });
    });

    quiet.join();

    if (tell)
        std::printf ("export%s: %d blocks, export %.0f ms; slowest busy block %.1f us at %.0f ms (%d over 250 us), "
                     "quiet %.1f us at %.0f ms (%d)\n",
                     nameOf (exporter.getPath()), blocks, exportMs, busyMoment.wall / 1.0e3, busyMoment.atMs,
                     busyMoment.over250us, quietMoment.wall / 1.0e3, quietMoment.atMs, quietMoment.over250us);
}

struct ExportFigures
{
    double exportMs30 = 0.0, exportMs30Reused = 0.0, libsndfileMs30 = 0.0, exportMs600 = 0.0, peakRatio600 = 0.0;
    std::vector<std::pair<StoragePath, ExportStall>> stalls;
    bool ok = true;
};

/** Every export figure, from one processor with a full 600 s capture of the loud signal. */
ExportFigures measureExports (const std::string& home, bool withExperiments)
{
    ExportFigures figures;
    Rig rig (steadyBlockSize, Rig::Signal::loud);
    rig.processor->requestRecordDuration (600);
    rig.process();   // swaps in the 600 s ring
    figures.ok = rig.processor->captureBuffer->capacity == ringOf600Seconds && rig.settle();

    while (rig.samplesFed < 2 * (juce::int64) ringOf600Seconds)
        rig.process();

    const ExportFolder folder (home, *rig.processor);

    // 30 s: the export against libsndfile writing the same frames into the same folder,
    // alternately, the fastest of five each.
    constexpr int frames30 = ringOf30Seconds;
    std::vector<float> interleaved ((size_t) frames30 * 2);
    {
        juce::AudioBuffer<float> region (2, frames30);
        const auto since = rig.processor->captureSnapshot();
        rig.processor->copyFromCapture (since, since.writeIndex, frames30, region.getWritePointer (0), region.getWritePointer (1));

        for (int i = 0; i < frames30; ++i)
            for (int c = 0; c < 2; ++c)
                interleaved[(size_t) (2 * i + c)] = region.getSample (c, i);
    }

    Exporter product (*rig.processor, StoragePath::product);
    Exporter reused (*rig.processor, StoragePath::reused);
    auto fastestExport = std::numeric_limits<double>::infinity();
    auto fastestReused = std::numeric_limits<double>::infinity();
    auto fastestLibsndfile = std::numeric_limits<double>::infinity();
    selectSeconds (*rig.processor, 30.0);

    for (int i = 0; i < 5; ++i)
    {
        const auto start = wallNanoseconds();
        product.exportOnce();
        fastestExport = std::min (fastestExport, wallNanoseconds() - start);
        const bool exported = folder.takeWrittenFrames() == frames30;

        const auto sndfileNs = libsndfileWriteNanoseconds (folder.getChildFile ("libsndfile.wav"), interleaved);
        const bool written = ! std::isnan (sndfileNs) && folder.takeWrittenFrames() == frames30;

        if (! exported || ! written)
        {
            std::fprintf (stderr, "error: %s\n", exported ? "libsndfile's 30 s write failed" : "a 30 s export failed");
            figures.ok = false;
        }

        fastestLibsndfile = std::min (fastestLibsndfile, sndfileNs);

        const auto reusedStart = wallNanoseconds();
        reused.exportOnce();
        fastestReused = std::min (fastestReused, wallNanoseconds() - reusedStart);
        figures.ok = folder.takeWrittenFrames() == frames30 && figures.ok;
    }

    figures.exportMs30 = fastestExport / 1.0e6;
    figures.exportMs30Reused = fastestReused / 1.0e6;
    figures.libsndfileMs30 = fastestLibsndfile / 1.0e6;

    // 600 s, without blocks running: the time, and the memory at the peak. The peak resident
    // size (VmHWM) is reset to the current resident size (VmRSS) just before the export; what
    // it has grown by afterwards is the most memory the export had resident at once: its
    // snippet storage, once touched, and the writer's buffers. The written file's page cache
    // is the kernel's, not the process's, and is not counted.
    selectSeconds (*rig.processor, 600.0);
    fastestExport = std::numeric_limits<double>::infinity();
    double peakAdded = 0.0;

    for (int i = 0; i < 3; ++i)
    {
        figures.ok = resetPeakResident() && figures.ok;
        const auto residentBefore = statusBytes ("VmRSS");
        const auto start = wallNanoseconds();
        product.exportOnce();
        fastestExport = std::min (fastestExport, wallNanoseconds() - start);
        peakAdded = std::max (peakAdded, statusBytes ("VmHWM") - residentBefore);
        const auto frames = folder.takeWrittenFrames();

        if (frames != ringOf600Seconds || ! (residentBefore > 0.0))
        {
            std::fprintf (stderr, "error: a 600 s export wrote %lld frames\n", (long long) frames);
            figures.ok = false;
        }
    }

    figures.exportMs600 = fastestExport / 1.0e6;
    figures.peakRatio600 = peakAdded / (2.0 * ringOf600Seconds * sizeof (float));

    // The blocks during 600 s exports; the storage paths take turns round by round, so that
    // a busy moment of the machine falls on all of them alike.
    std::vector<std::unique_ptr<Exporter>> exporters;

    for (auto path : { StoragePath::product, StoragePath::reused, StoragePath::freedLater, StoragePath::hugePages,
                       StoragePath::prefaulted })
        if (withExperiments || path == StoragePath::product || path == StoragePath::reused)
            exporters.push_back (std::make_unique<Exporter> (*rig.processor, path));

    for (const auto& exporter : exporters)
        figures.stalls.emplace_back (exporter->getPath(), ExportStall {});

    for (int round = 0; round < 7; ++round)
        for (size_t i = 0; i < exporters.size(); ++i)
            exportRound (rig, folder, *exporters[i], figures.stalls[i].second, withExperiments);

    for (const auto& [path, stall] : figures.stalls)
    {
        if (stall.failedExports > 0)
            std::fprintf (stderr, "error: %d of the 600 s exports%s beside blocks failed\n", stall.failedExports, nameOf (path));

        figures.ok = stall.failedExports == 0 && figures.ok;
    }

    return figures;
}

void printFigure (const char* name, double value)
{
    std::printf ("figure %s %.4f\n", name, value);
}

/** The larger of two benchmarks' fastest repetitions, in microseconds. */
double slowerOf (const KeepingReporter& reporter, const char* first, const char* second)
{
    return std::max (reporter.fastest (first), reporter.fastest (second)) / 1.0e3;
}

/** Runs the benchmarks of the capture path and of painting, and the slowest blocks through
    view changes and copies; prints their figures. False when a set-up failed. */
bool printCaptureAndPaintFigures (int& argc, char** argv)
{
    benchmark::Initialize (&argc, argv);

    KeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();
    std::fflush (stdout);

    const double processNs = reporter.fastest ("processBlock512") / steadyBlockSize;
    const double processNoPlayHeadNs = reporter.fastest ("processBlock512NoPlayHead") / steadyBlockSize;
    const double copyNs = reporter.fastest ("plainCopy512") / steadyBlockSize;

    constexpr double periodOf64Ns = 64.0 / sampleRate * 1.0e9;
    bool viewChangesOk = true;
    SlowestBlocks viewChanges;

    for (int run = 0; run < 5; ++run)
    {
        bool ok = false;
        viewChanges.merge (slowestBlockThroughViewChanges (ok));
        viewChangesOk = viewChangesOk && ok;
    }

    bool copiesOk = false;
    auto stall = slowestBlockDuringCopies (copiesOk);

    if (! viewChangesOk)
        std::fprintf (stderr, "error: a refill did not finish or the capture length did not change\n");

    if (! copiesOk)
        std::fprintf (stderr, "error: the 600 s capture was not set up\n");

    std::fflush (stderr);

    const auto& busy = stall.copying.slowest;
    const auto& quiet = stall.quiet.slowest;
    const auto percentOf64 = [] (double ns) { return 100.0 * ns / periodOf64Ns; };

    printFigure ("process_ns_per_sample", processNs);
    printFigure ("process_ns_per_sample_no_playhead", processNoPlayHeadNs);
    printFigure ("plain_copy_ns_per_sample", copyNs);
    printFigure ("copy_600s_ms", stall.copyMilliseconds);
    printFigure ("copy_quiet_slowest_block_us", quiet.processed.wall / 1.0e3);
    printFigure ("copy_busy_slowest_block_us", busy.processed.wall / 1.0e3);
    printFigure ("copy_quiet_slowest_plain_copy_us", quiet.plainCopy.wall / 1.0e3);
    printFigure ("copy_busy_slowest_plain_copy_us", busy.plainCopy.wall / 1.0e3);
    printFigure ("copy_quiet_slowest_block_us_cpu", quiet.processed.cpu / 1.0e3);
    printFigure ("copy_busy_slowest_block_us_cpu", busy.processed.cpu / 1.0e3);
    printFigure ("copy_stall_ratio_p99_cpu", stall.copying.cpuPercentile (0.99) / stall.quiet.cpuPercentile (0.99));
    printFigure ("copy_stall_ratio_overall_cpu", busy.processed.cpu / quiet.processed.cpu);
    printFigure ("copy_stall_ratio_median_cpu", stall.medianCpuRatio());
    printFigure ("copy_stall_ratio_unswitched", stall.unswitchedRatio());
    printFigure ("copy_stall_ratio_plain_copy", stall.plainCopyRatio());
    printFigure ("copy_stall_ratio", stall.ratio());
    printFigure ("worst_block_pct_64_cpu", percentOf64 (viewChanges.processed.cpu));
    printFigure ("worst_block_pct_64_unswitched", percentOf64 (viewChanges.processed.unswitchedWall));
    printFigure ("worst_block_pct_64_plain_copy", percentOf64 (viewChanges.plainCopy.wall));
    printFigure ("worst_block_pct_64", percentOf64 (viewChanges.processed.wall));
    printFigure ("steady_ratio_no_playhead", processNoPlayHeadNs / copyNs);
    printFigure ("steady_ratio", processNs / copyNs);
    printFigure ("waveform_paint_us_1000_carbon", reporter.fastest ("waveformPaint1000") / 1.0e3);
    printFigure ("waveform_paint_us_1000_rainbow", reporter.fastest ("waveformPaint1000Rainbow") / 1.0e3);
    printFigure ("waveform_paint_us_1000", slowerOf (reporter, "waveformPaint1000", "waveformPaint1000Rainbow"));
    printFigure ("waveform_paint_us_2560_carbon", reporter.fastest ("waveformPaint2560") / 1.0e3);
    printFigure ("waveform_paint_us_2560_rainbow", reporter.fastest ("waveformPaint2560Rainbow") / 1.0e3);
    printFigure ("waveform_paint_us_2560", slowerOf (reporter, "waveformPaint2560", "waveformPaint2560Rainbow"));
    printFigure ("overlay_paint_us_1000_idle", reporter.fastest ("overlayPaint1000Idle") / 1.0e3);
    printFigure ("overlay_paint_us_1000_busy_carbon", reporter.fastest ("overlayPaint1000Busy") / 1.0e3);
    printFigure ("overlay_paint_us_1000_busy_rainbow", reporter.fastest ("overlayPaint1000BusyRainbow") / 1.0e3);
    printFigure ("menu_open_ms", reporter.fastest ("settingsMenuOpen") / 1.0e6);
    printFigure ("overlay_paint_us_1000", slowerOf (reporter, "overlayPaint1000Busy", "overlayPaint1000BusyRainbow"));
    std::fflush (stdout);
    return viewChangesOk && copiesOk;
}

/** Removes a flag of this program from the arguments; true when it was there. */
bool takeFlag (int& argc, char** argv, const char* flag)
{
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp (argv[i], flag) == 0)
        {
            std::copy (argv + i + 1, argv + argc, argv + i);
            --argc;
            return true;
        }
    }

    return false;
}

void printExportFigures (const ExportFigures& figures)
{
    printFigure ("export_ms_30s", figures.exportMs30);
    printFigure ("export_ms_30s_reused", figures.exportMs30Reused);
    printFigure ("export_libsndfile_ms_30s", figures.libsndfileMs30);
    printFigure ("export_ms_600s", figures.exportMs600);

    for (const auto& [path, stall] : figures.stalls)
    {
        const auto line = [name = nameOf (path)] (const char* figure, double value)
        {
            printFigure ((std::string (figure) + name).c_str(), value);
        };

        line ("export_600s_ms_with_blocks", stall.fastestExportMs);
        line ("export_quiet_slowest_block_us", stall.quiet.processed.wall / 1.0e3);
        line ("export_busy_slowest_block_us", stall.exporting.processed.wall / 1.0e3);
        line ("export_busy_slowest_block_us_cpu", stall.exporting.processed.cpu / 1.0e3);
        line ("export_quiet_block_page_faults", (double) stall.quietFaults);
        line ("export_busy_block_page_faults", (double) stall.exportingFaults);
        line ("export_stall_ratio_unswitched", stall.unswitchedRatio());
        line ("export_stall_ratio_plain_copy", stall.plainCopyRatio());
        line ("export_stall_ratio", stall.ratio());
    }

    printFigure ("export_peak_ratio_600s", figures.peakRatio600);
    printFigure ("export_ratio_30s", figures.exportMs30 / figures.libsndfileMs30);
}

} // namespace

namespace quorvel::test
{
void ignoreXErrors();
}

//==============================================================================
int main (int argc, char** argv)
{
    quorvel::test::ignoreXErrors();

    // A private home folder before the framework first looks it up: the processor reads and
    // writes its preferences there, never in the user's.
    const auto home = useTemporaryHome();
    const bool exportsOnly = takeFlag (argc, argv, "--exports_only");
    const bool exportExperiments = takeFlag (argc, argv, "--export_experiments");
    bool ok = true;

    {
        const juce::ScopedJuceInitialiser_GUI juceInitialiser;

        if (! exportsOnly)
            ok = printCaptureAndPaintFigures (argc, argv);

        const auto exports = measureExports (home, exportExperiments);

        std::fflush (stderr);
        printExportFigures (exports);
        std::fflush (stdout);
        ok = ok && exports.ok;
    }

    juce::File (home).deleteRecursively();
    return ok ? 0 : 1;
}
