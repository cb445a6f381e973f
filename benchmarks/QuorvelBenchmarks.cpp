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
//   waveform_paint_us_*  one repaint of the waveform (RenderingBenchmarks.cpp), at 1000 x 79
//                        and 2560 x 400: the slower of the Carbon and the Rainbow (palette)
//                        theme, each also on its own line
//   overlay_paint_us_1000  one paint of the overlays at 1000 x 89 with all of them showing at
//                        once, the slower of the two themes; _idle: a selection and take
//                        markers with nothing moving
//
// Every timed block is called as the standalone player calls it: under the processor's
// callback lock. worst_block_pct_64 and copy_stall_ratio have two more lines each, which tell
// a block's own time from the machine's when the headline misses its target:
//   _unswitched   the same figure over only the blocks during which the thread was not
//                 switched out (getrusage), so without the time it spent preempted
//   _plain_copy   the same figure for a plain copy of each block into ring memory, timed the
//                 same way right after it: the floor that the machine sets at that moment
// A shared or virtual machine preempts an unpaced benchmark thread for milliseconds at a time;
// when the headline misses and the other two lines do not, that is where the time went.

#include "BenchmarkSupport.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

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

/** A processor prepared at 48 kHz as a host prepares it, fed a stereo sine (live input), and
    called as the standalone player calls it: under the processor's callback lock. */
class Rig
{
public:
    explicit Rig (int blockSizeToUse)
        : blockSize (blockSizeToUse),
          processor (std::make_unique<AudioPluginAudioProcessor> (std::make_unique<SilentMessages>())),
          buffer (2, blockSizeToUse),
          plainRing (ringOf30Seconds)
    {
        processor->prepareToPlay (sampleRate, blockSize);
    }

    /** Writes the next stretch of the sine into the block. */
    void fillInput() noexcept
    {
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

void printFigure (const char* name, double value)
{
    std::printf ("figure %s %.4f\n", name, value);
}

/** The larger of two benchmarks' fastest repetitions, in microseconds. */
double slowerOf (const KeepingReporter& reporter, const char* first, const char* second)
{
    return std::max (reporter.fastest (first), reporter.fastest (second)) / 1.0e3;
}

} // namespace

//==============================================================================
int main (int argc, char** argv)
{
    // A private home folder before the framework first looks it up: the processor reads and
    // writes its preferences there, never in the user's.
    const auto home = useTemporaryHome();
    int result = 0;

    {
        const juce::ScopedJuceInitialiser_GUI juceInitialiser;
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

        result = viewChangesOk && copiesOk ? 0 : 1;
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
        printFigure ("overlay_paint_us_1000", slowerOf (reporter, "overlayPaint1000Busy", "overlayPaint1000BusyRainbow"));
        std::fflush (stdout);
    }

    juce::File (home).deleteRecursively();
    return result;
}
