// Measures the capture path and the painting of the view, and prints the results as
// "figure <name> <value>" lines:
//
//   steady_ratio         processBlock's time per sample (512-sample blocks) over that of a
//                        plain copy of the same block into ring memory of the same capacity
//   worst_block_pct_64   the slowest 64-sample block, in percent of its 1333 us period, through
//                        zoom refills and a capture-length change
//   copy_stall_ratio     the slowest block while another thread copies the whole 600 s
//                        capture, over the slowest block without the copy (the median of
//                        seven rounds; _overall is over all of them)
//   waveform_paint_us_*  one repaint of the waveform (RenderingBenchmarks.cpp), at 1000 x 79
//                        and 2560 x 400
//   overlay_paint_us_1000  one paint of the overlays at 1000 x 89
//
// Per-block figures use the thread's CPU time, which leaves out the time the thread spent
// preempted on a busy machine; the "_wall" variants use the steady clock.

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

/** How long one processBlock call took, by the steady clock and in the thread's CPU time.
    Inside a virtual machine the CPU-time clock sometimes jumps by tens of microseconds within
    a call (more CPU time than time elapsed), so the CPU time is capped at the wall time. */
struct BlockTime
{
    BlockTime (double wallNs, double cpuNs) noexcept : wall (wallNs), cpu (std::min (cpuNs, wallNs)) {}

    double wall, cpu;
};

/** The slowest block seen, by either clock. */
struct SlowestBlock
{
    void add (BlockTime t) noexcept
    {
        wall = std::max (wall, t.wall);
        cpu = std::max (cpu, t.cpu);
    }

    void merge (const SlowestBlock& other) noexcept
    {
        wall = std::max (wall, other.wall);
        cpu = std::max (cpu, other.cpu);
    }

    double wall = 0.0, cpu = 0.0;
};

/** A processor prepared at 48 kHz as a host prepares it, fed a stereo sine (live input). */
class Rig
{
public:
    explicit Rig (int blockSizeToUse)
        : blockSize (blockSizeToUse),
          processor (std::make_unique<AudioPluginAudioProcessor> (std::make_unique<SilentMessages>())),
          buffer (2, blockSizeToUse)
    {
        processor->prepareToPlay (sampleRate, blockSize);
    }

    /** Writes the next stretch of the sine into the block. */
    void fillInput() noexcept
    {
        fillSine (buffer, samplesFed);
        samplesFed += blockSize;
    }

    void process()
    {
        fillInput();
        processor->processBlock (buffer, midi);
    }

    /** Processes one block; only the processBlock call is timed. */
    BlockTime processTimed()
    {
        fillInput();
        const auto cpuStart = threadCpuNanoseconds();
        const auto wallStart = wallNanoseconds();
        processor->processBlock (buffer, midi);
        const auto wallEnd = wallNanoseconds();
        const auto cpuEnd = threadCpuNanoseconds();
        return { wallEnd - wallStart, cpuEnd - cpuStart };
    }

    /** Processes blocks until the refill of the visible window has finished (the block that
        applies a pending request starts it anew). False if it never finished. */
    bool processUntilRefilled (SlowestBlock* slowest = nullptr)
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
};

/** Asks for a zoom as the view does; the audio thread applies it at its next block. */
void requestZoom (AudioPluginAudioProcessor& p, double offset, double width)
{
    p.requestedZoomOffset = offset;
    p.requestedZoomWidth = width;
    p.zoomRequestPending = true;
}

//==============================================================================
// Steady capture: 512-sample blocks, 30 s ring, unzoomed, default display width, not frozen.

void processBlock512 (benchmark::State& state)
{
    Rig rig (steadyBlockSize);

    if (! rig.settle())
        state.SkipWithError ("the display refill never finished");

    // One block of sine, reused: at unity gain processBlock passes it through unchanged.
    rig.fillInput();

    for (auto _ : state)
        rig.processor->processBlock (rig.buffer, rig.midi);

    state.SetItemsProcessed (state.iterations() * steadyBlockSize);
}

/** The floor of capturing: the same stereo block copied into ring memory of the same
    capacity, wrapping at its end. */
void plainCopy512 (benchmark::State& state)
{
    std::vector<float> ringLeft ((size_t) ringOf30Seconds), ringRight ((size_t) ringOf30Seconds);
    juce::AudioBuffer<float> input (2, steadyBlockSize);
    fillSine (input, 0);
    const auto* inLeft = input.getReadPointer (0);
    const auto* inRight = input.getReadPointer (1);
    int writeIndex = 0;

    for (auto _ : state)
    {
        const int toEnd = std::min (steadyBlockSize, ringOf30Seconds - writeIndex);
        std::copy_n (inLeft, toEnd, ringLeft.data() + writeIndex);
        std::copy_n (inRight, toEnd, ringRight.data() + writeIndex);
        std::copy_n (inLeft + toEnd, steadyBlockSize - toEnd, ringLeft.data());
        std::copy_n (inRight + toEnd, steadyBlockSize - toEnd, ringRight.data());
        writeIndex = (writeIndex + steadyBlockSize) % ringOf30Seconds;
        benchmark::ClobberMemory();
    }

    state.SetItemsProcessed (state.iterations() * steadyBlockSize);
}

BENCHMARK (processBlock512)->Unit (benchmark::kNanosecond)->Repetitions (5);
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
    stands for the message thread between blocks; only processBlock is timed. */
SlowestBlock slowestBlockThroughViewChanges (bool& ok)
{
    Rig rig (64);
    ok = rig.settle();

    SlowestBlock slowest;
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

/** Block times of one phase: the slowest, and every CPU time for percentiles. */
struct PhaseTimes
{
    PhaseTimes()   { cpuTimes.reserve (1 << 20); }

    void add (BlockTime t)
    {
        slowest.add (t);
        cpuTimes.push_back (t.cpu);
    }

    double cpuPercentile (double share)
    {
        if (cpuTimes.empty())
            return std::numeric_limits<double>::quiet_NaN();

        const auto nth = cpuTimes.begin() + (std::ptrdiff_t) (share * (double) (cpuTimes.size() - 1));
        std::nth_element (cpuTimes.begin(), nth, cpuTimes.end());
        return *nth;
    }

    SlowestBlock slowest;
    std::vector<double> cpuTimes;
};

struct CopyStall
{
    PhaseTimes quiet, copying;
    std::vector<double> roundRatios;   // each round's slowest block copying over its slowest quiet one
    double copyMilliseconds = 0.0;

    /** The median round: a single preempted or disturbed block elsewhere on a shared machine
        moves one round's ratio, not the figure. */
    double medianRatio()
    {
        auto middle = roundRatios.begin() + (std::ptrdiff_t) (roundRatios.size() / 2);
        std::nth_element (roundRatios.begin(), middle, roundRatios.end());
        return *middle;
    }
};

/** 512-sample blocks (long enough that a block's own work, not the clocks' overhead, sets the
    slowest one), unpaced on this thread, while one other thread repeatedly copies the whole
    600 s capture; then as many blocks without the copy. Seven rounds. */
CopyStall slowestBlockDuringCopies (bool& ok)
{
    Rig rig (steadyBlockSize);
    rig.processor->requestRecordDuration (600);
    rig.process();   // swaps in the 600 s ring
    ok = rig.processor->captureBuffer->capacity == ringOf600Seconds;
    ok = rig.settle() && ok;

    // Zero-filled, so every page is in place before the copies start.
    std::vector<float> destLeft ((size_t) ringOf600Seconds), destRight ((size_t) ringOf600Seconds);

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
            auto& p = *rig.processor;

            while (! stop.load())
            {
                const auto start = wallNanoseconds();
                const int oldest = p.captureBuffer->writeIndexShared.load();
                p.copyFromCapture (oldest, ringOf600Seconds, destLeft.data(), destRight.data());
                copyNs += wallNanoseconds() - start;
                ++copies;
            }
        });

        int blocks = 0;
        SlowestBlock copying, quiet;

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

        result.roundRatios.push_back (copying.cpu / quiet.cpu);
    }

    result.copyMilliseconds = totalCopyNs / totalCopies / 1.0e6;
    return result;
}

void printFigure (const char* name, double value)
{
    std::printf ("figure %s %.4f\n", name, value);
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
        const double copyNs = reporter.fastest ("plainCopy512") / steadyBlockSize;

        constexpr double periodOf64Ns = 64.0 / sampleRate * 1.0e9;
        bool viewChangesOk = true;
        SlowestBlock viewChanges;

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

        printFigure ("process_ns_per_sample", processNs);
        printFigure ("plain_copy_ns_per_sample", copyNs);
        printFigure ("copy_600s_ms", stall.copyMilliseconds);
        printFigure ("copy_quiet_slowest_block_us", stall.quiet.slowest.cpu / 1.0e3);
        printFigure ("copy_busy_slowest_block_us", stall.copying.slowest.cpu / 1.0e3);
        printFigure ("copy_stall_ratio_p99", stall.copying.cpuPercentile (0.99) / stall.quiet.cpuPercentile (0.99));
        printFigure ("copy_stall_ratio_wall", stall.copying.slowest.wall / stall.quiet.slowest.wall);
        printFigure ("worst_block_pct_64_wall", 100.0 * viewChanges.wall / periodOf64Ns);
        printFigure ("steady_ratio", processNs / copyNs);
        printFigure ("worst_block_pct_64", 100.0 * viewChanges.cpu / periodOf64Ns);
        printFigure ("copy_stall_ratio_overall", stall.copying.slowest.cpu / stall.quiet.slowest.cpu);
        printFigure ("copy_stall_ratio", stall.medianRatio());
        printFigure ("waveform_paint_us_1000", reporter.fastest ("waveformPaint1000") / 1.0e3);
        printFigure ("waveform_paint_us_2560", reporter.fastest ("waveformPaint2560") / 1.0e3);
        printFigure ("overlay_paint_us_1000", reporter.fastest ("overlayPaint1000") / 1.0e3);
        std::fflush (stdout);
    }

    juce::File (home).deleteRecursively();
    return result;
}
