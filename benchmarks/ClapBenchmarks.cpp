// Quorvel.clap as a host sees it. Ends with "figure <name> <value>" lines:
//   clap_process_ratio   a CLAP process call on 512-frame stereo blocks against a direct
//                        processBlock call of the same processor code (its own instance here),
//                        both measured in this run; the fastest repetition of each
//   clap_scan_ms         dlopen, entry init, factory and descriptor, deinit and dlclose, each in a
//                        fresh process (a library once loaded may stay loaded); the median
#include "BenchmarkSupport.h"
#include "../tests/clap/ClapLibrary.h"
#include "../tests/clap/ClapTestEnvironment.h"
#include "../tests/clap/ClapTestHost.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvel::clap_test;

namespace
{

constexpr int blockSize = 512;
constexpr double sampleRate = 48000.0;
constexpr const char* scanChildFlag = "--clap-scan-child";

void fillBlock (float* left, float* right, int block)
{
    for (int i = 0; i < blockSize; ++i)
    {
        left[i] = 0.001f * (float) ((block + i) % 700);
        right[i] = -left[i];
    }
}

void clapProcess512 (benchmark::State& state)
{
    ClapTestHost host (*ClapLibrary::shared().factory());

    if (! host.create() || ! host.activate (sampleRate, 1, blockSize) || ! host.startProcessing())
    {
        state.SkipWithError ("Quorvel.clap did not start");
        return;
    }

    float left[blockSize], right[blockSize];
    float* channels[] = { left, right };
    fillBlock (left, right, 0);

    // The audio passes through unchanged, so every call sees the same block; no timer pauses,
    // whose own cost would dwarf a block's.
    for (auto _ : state)
    {
        host.process (channels, channels, 2, blockSize);
        benchmark::ClobberMemory();
    }

    host.destroyPlugin();
}

void directProcessBlock512 (benchmark::State& state)
{
    const auto processor = std::make_unique<AudioPluginAudioProcessor> (std::make_unique<SilentMessages>());
    processor->prepareToPlay (sampleRate, blockSize);

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    fillBlock (buffer.getWritePointer (0), buffer.getWritePointer (1), 0);

    for (auto _ : state)
    {
        processor->processBlock (buffer, midi);
        benchmark::ClobberMemory();
    }
}

/** The scan in this (fresh) process: the nanoseconds it took, printed. */
int scanChild()
{
    const auto start = std::chrono::steady_clock::now();
    bool ok = false;

    {
        const ClapLibrary library (QUORVEL_CLAP_PATH);

        if (const auto* factory = library.factory())
            ok = factory->get_plugin_count (factory) == 1 && factory->get_plugin_descriptor (factory, 0) != nullptr;
    }

    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now() - start).count();
    std::printf ("%lld\n", (long long) ns);
    return ok ? 0 : 1;
}

/** Runs the scan in a child process of this program; its time in seconds, or -1. */
double scanInChild()
{
    int pipeFds[2];

    if (pipe (pipeFds) != 0)
        return -1.0;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_adddup2 (&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose (&actions, pipeFds[0]);

    char self[] = "/proc/self/exe";
    char flag[64];
    std::snprintf (flag, sizeof (flag), "%s", scanChildFlag);
    char* args[] = { self, flag, nullptr };
    pid_t child = 0;
    const bool spawned = posix_spawn (&child, self, &actions, nullptr, args, environ) == 0;
    posix_spawn_file_actions_destroy (&actions);
    close (pipeFds[1]);

    std::string printed;
    char buffer[64];

    for (ssize_t n; (n = read (pipeFds[0], buffer, sizeof (buffer))) > 0;)
        printed.append (buffer, (size_t) n);

    close (pipeFds[0]);
    int status = 0;

    if (! spawned || waitpid (child, &status, 0) != child || ! WIFEXITED (status) || WEXITSTATUS (status) != 0)
        return -1.0;

    return std::atof (printed.c_str()) / 1.0e9;
}

std::vector<double> scanSeconds;

void clapScan (benchmark::State& state)
{
    for (auto _ : state)
    {
        const double seconds = scanInChild();

        if (seconds < 0.0)
        {
            state.SkipWithError ("the scan failed");
            return;
        }

        scanSeconds.push_back (seconds);
        state.SetIterationTime (seconds);
    }
}

BENCHMARK (clapProcess512)->Repetitions (7)->MinTime (0.2);
BENCHMARK (directProcessBlock512)->Repetitions (7)->MinTime (0.2);
BENCHMARK (clapScan)->UseManualTime()->Iterations (9)->Unit (benchmark::kMillisecond);

/** Prints as usual and keeps each benchmark's fastest repetition (nanoseconds per iteration). */
class KeepingReporter final : public benchmark::ConsoleReporter
{
public:
    void ReportRuns (const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns (runs);

        for (const auto& run : runs)
        {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;

            const double ns = run.real_accumulated_time / (double) run.iterations * 1.0e9;
            const auto name = run.run_name.function_name;
            const auto found = fastest.find (name);
            fastest[name] = found == fastest.end() ? ns : std::min (found->second, ns);
        }
    }

    std::map<std::string, double> fastest;
};

} // namespace

int main (int argc, char** argv)
{
    if (argc == 2 && std::strcmp (argv[1], scanChildFlag) == 0)
        return scanChild();

    // Both processors read their preferences from a private home with a recording folder.
    useTemporaryHome();
    writeTestPreferences();

    benchmark::Initialize (&argc, argv);
    bool ok = true;

    {
        const juce::ScopedJuceInitialiser_GUI juceInitialiser;
        ClapLibrary::openShared (QUORVEL_CLAP_PATH);

        KeepingReporter reporter;

        if (ClapLibrary::shared().factory() != nullptr)
            benchmark::RunSpecifiedBenchmarks (&reporter);
        else
            std::fprintf (stderr, "error: Quorvel.clap did not load: %s\n", ClapLibrary::shared().error().c_str());

        benchmark::Shutdown();
        ClapLibrary::closeShared();
        std::fflush (stdout);

        const auto clap = reporter.fastest.find ("clapProcess512");
        const auto direct = reporter.fastest.find ("directProcessBlock512");

        if (clap != reporter.fastest.end() && direct != reporter.fastest.end() && direct->second > 0.0)
        {
            std::printf ("figure clap_process_ns_per_block %.1f\n", clap->second);
            std::printf ("figure direct_process_ns_per_block %.1f\n", direct->second);
            std::printf ("figure clap_process_ratio %.3f\n", clap->second / direct->second);
        }
        else
        {
            ok = false;
        }

        if (! scanSeconds.empty())
        {
            std::sort (scanSeconds.begin(), scanSeconds.end());
            std::printf ("figure clap_scan_ms_fastest %.2f\n", scanSeconds.front() * 1.0e3);
            std::printf ("figure clap_scan_ms_slowest %.2f\n", scanSeconds.back() * 1.0e3);
            std::printf ("figure clap_scan_ms %.2f\n", scanSeconds[scanSeconds.size() / 2] * 1.0e3);
        }
        else
        {
            ok = false;
        }
    }

    removeTemporaryHome();
    return ok ? 0 : 1;
}
