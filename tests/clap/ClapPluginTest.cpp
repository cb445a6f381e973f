// Quorvel.clap loaded by a strict host (ClapTestHost): what a CLAP validator checks, and the
// plug-in's own contract: pass-through, the Freeze parameter, state, transport, and the editor
// embedded in an X window with the host driving its timers and fds.
#include "ClapLibrary.h"
#include "ClapTestEnvironment.h"
#include "ClapTestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace quorvel::clap_test;

namespace
{

constexpr uint32_t maxBlock = 4096;

const clap_plugin_factory& factory()
{
    const auto* f = ClapLibrary::shared().factory();

    if (f == nullptr)
        throw std::runtime_error ("Quorvel.clap did not load: " + ClapLibrary::shared().error());

    return *f;
}

/** The input sample of a channel at a running position: full-scale, never denormal, and
    different for every channel and position. */
float signalAt (uint32_t channel, uint64_t position)
{
    const auto hash = (uint32_t) ((position * 2654435761u) ^ (channel * 40503u));
    return 0.5f * std::sin (0.013f * (float) position + (float) channel) + 0.25f * ((float) (hash % 1000) / 1000.0f - 0.5f);
}

/** Prepares the events and transport of one block before it is processed. */
using BlockSetUp = std::function<void (size_t block, ClapInputEvents& events, const clap_event_transport*& transport)>;

/** Runs blocks of the signal through the plug-in and checks every output sample against its
    input; "" when all passed through exactly, else where the first one did not. */
std::string passThrough (ClapTestHost& host, uint32_t channels, const std::vector<uint32_t>& sizes, bool inPlace,
                         const BlockSetUp& setUp = {})
{
    std::vector<std::vector<float>> in (channels, std::vector<float> (maxBlock)), out = in;
    std::vector<float*> inPointers, outPointers;

    for (uint32_t c = 0; c < channels; ++c)
    {
        inPointers.push_back (in[c].data());
        outPointers.push_back (inPlace ? in[c].data() : out[c].data());
    }

    uint64_t position = 0;

    for (size_t b = 0; b < sizes.size(); ++b)
    {
        const auto n = sizes[b];

        for (uint32_t c = 0; c < channels; ++c)
        {
            for (uint32_t i = 0; i < n; ++i)
                in[c][i] = signalAt (c, position + i);

            if (! inPlace)
                std::fill (out[c].begin(), out[c].end(), 7.0f);   // nothing the plug-in could pass through
        }

        ClapInputEvents events;
        const clap_event_transport* transport = nullptr;

        if (setUp)
            setUp (b, events, transport);

        const auto status = host.process (inPointers.data(), outPointers.data(), channels, n, &events, transport);

        if (status == CLAP_PROCESS_ERROR)
            return "block " + std::to_string (b) + " (" + std::to_string (n) + " frames): process failed";

        for (uint32_t c = 0; c < channels; ++c)
            for (uint32_t i = 0; i < n; ++i)
                if (const auto expected = signalAt (c, position + i); outPointers[c][i] != expected)
                    return "block " + std::to_string (b) + " (" + std::to_string (n) + " frames), channel " + std::to_string (c)
                           + ", sample " + std::to_string (i) + ": " + std::to_string (outPointers[c][i]) + " instead of "
                           + std::to_string (expected);

        position += n;
    }

    return {};
}

std::string describe (const std::vector<OutEvent>& events)
{
    std::string s;

    for (const auto& e : events)
        s += "[type " + std::to_string (e.type) + " space " + std::to_string (e.space) + " param " + std::to_string (e.param)
             + " value " + std::to_string (e.value) + "] ";

    return s.empty() ? "none" : s;
}

/** A host with a plug-in made in a fresh home whose preferences hold a recording folder. */
class ClapPlugin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearHome();
        writeTestPreferences();
        host = makeHost();
    }

    void TearDown() override
    {
        for (auto* h : { host.get(), second.get() })
            if (h != nullptr)
                finish (*h);

        second.reset();
        host.reset();
    }

    static std::unique_ptr<ClapTestHost> makeHost (ClapTestHost::Options options = {})
    {
        auto h = std::make_unique<ClapTestHost> (factory(), options);
        EXPECT_TRUE (h->create());
        return h;
    }

    /** Destroys the plug-in and checks what the host recorded during its life. */
    static void finish (ClapTestHost& h)
    {
        h.destroyPlugin();

        for (const auto& line : h.misuse())
            ADD_FAILURE() << "host misuse: " << line;

        for (const auto& [severity, text] : h.logLines())
            EXPECT_NE (severity, CLAP_LOG_HOST_MISBEHAVING) << text;

        EXPECT_TRUE (h.timers().empty()) << h.timers().size() << " timers still registered after destroy";
        EXPECT_TRUE (h.fds().empty()) << h.fds().size() << " fds still registered after destroy";
    }

    clap_id freezeId() const
    {
        clap_param_info info {};
        EXPECT_TRUE (host->params()->get_info (host->plugin(), 0, &info));
        return info.id;
    }

    double valueOf (const ClapTestHost& h, clap_id id) const
    {
        double value = -1.0;
        EXPECT_TRUE (h.params()->get_value (h.plugin(), id, &value));
        return value;
    }

    std::unique_ptr<ClapTestHost> host, second;
};

//==============================================================================
TEST (ClapEntry, TheFactoryDescribesOneEffect)
{
    const auto& f = factory();
    ASSERT_EQ (f.get_plugin_count (&f), 1u);
    EXPECT_EQ (f.get_plugin_descriptor (&f, 1), nullptr);

    const auto* d = f.get_plugin_descriptor (&f, 0);
    ASSERT_NE (d, nullptr);
    EXPECT_EQ (d->clap_version.major, 1u);
    EXPECT_EQ (d->clap_version.minor, 1u);
    EXPECT_EQ (d->clap_version.revision, 1u);
    EXPECT_STREQ (d->id, "audio.varrow.quorvel");
    EXPECT_STREQ (d->name, "Quorvel");
    EXPECT_STREQ (d->vendor, "Varrow");
    EXPECT_STREQ (d->url, "");
    EXPECT_STREQ (d->manual_url, "");
    EXPECT_STREQ (d->support_url, "");
    EXPECT_STREQ (d->version, "1.0.4");
    EXPECT_STREQ (d->description, "Quorvel");

    ASSERT_NE (d->features, nullptr);
    std::vector<std::string> features;

    for (auto* const* feature = d->features; *feature != nullptr; ++feature)
        features.emplace_back (*feature);

    EXPECT_EQ (features, (std::vector<std::string> { "audio-effect", "sampler" }));
    EXPECT_EQ (ClapLibrary::shared().entry()->get_factory ("clap.no-such-factory"), nullptr);
}

TEST (ClapEntry, ScanningCreatesNoProcessor)
{
    // A processor reads (and on a first start writes) the preferences file, so a scan in a
    // home without one must leave it without one.
    const auto scanHome = temporaryHome() + "/scan";
    ASSERT_EQ (system (("mkdir -p '" + scanHome + "'").c_str()), 0);

    std::vector<std::string> environment { "HOME=" + scanHome, "XDG_CONFIG_HOME=" + scanHome + "/.config" };

    for (auto** e = environ; *e != nullptr; ++e)
        if (std::strncmp (*e, "HOME=", 5) != 0 && std::strncmp (*e, "XDG_CONFIG_HOME=", 16) != 0)
            environment.emplace_back (*e);

    std::vector<char*> envp;

    for (auto& e : environment)
        envp.push_back (e.data());

    envp.push_back (nullptr);

    int pipeFds[2];
    ASSERT_EQ (pipe (pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_adddup2 (&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose (&actions, pipeFds[0]);

    char self[] = "/proc/self/exe";
    char flag[] = "--scan-only";
    char* args[] = { self, flag, nullptr };
    pid_t child = 0;
    ASSERT_EQ (posix_spawn (&child, "/proc/self/exe", &actions, nullptr, args, envp.data()), 0);
    posix_spawn_file_actions_destroy (&actions);
    close (pipeFds[1]);

    std::string printed;
    char buffer[256];

    for (ssize_t n; (n = read (pipeFds[0], buffer, sizeof (buffer))) > 0;)
        printed.append (buffer, (size_t) n);

    close (pipeFds[0]);
    int status = 0;
    waitpid (child, &status, 0);

    ASSERT_TRUE (WIFEXITED (status)) << "the scan crashed";
    EXPECT_EQ (WEXITSTATUS (status), 0);
    EXPECT_EQ (printed, "");
    EXPECT_FALSE (fileExists (scanHome + "/.config/Varrow's/Quorvel/Quorvel.vasettings"))
        << "loading, init, factory and descriptor made a processor";
}

class ClapWrongId : public ::testing::TestWithParam<const char*> {};

TEST_P (ClapWrongId, GivesNoPluginAndSaysWhy)
{
    ClapTestHost host (factory());

    ::testing::internal::CaptureStdout();
    EXPECT_FALSE (host.create (GetParam()));
    const auto printed = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ (host.plugin(), nullptr);
    EXPECT_EQ (std::count (printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_NE (printed.find (std::string ("\"") + GetParam() + "\""), std::string::npos) << printed;
    EXPECT_NE (printed.find ("audio.varrow.quorvel\""), std::string::npos) << printed;
}

INSTANTIATE_TEST_SUITE_P (Ids, ClapWrongId,
                          ::testing::Values ("audio.varrow.quorvelx", "audio.varrow.quorve", "AUDIO.VARROW.QUORVEL",
                                             "audio.varrow.quorvel ", ""));

//==============================================================================
TEST_F (ClapPlugin, OffersItsExtensionsAndOneStereoPortPair)
{
    ASSERT_NE (host->params(), nullptr);
    ASSERT_NE (host->state(), nullptr);
    ASSERT_NE (host->latency(), nullptr);
    ASSERT_NE (host->gui(), nullptr);
    ASSERT_NE (host->portsConfig(), nullptr);
    EXPECT_NE (host->extension<clap_plugin_timer_support> (CLAP_EXT_TIMER_SUPPORT), nullptr);
    EXPECT_NE (host->extension<clap_plugin_posix_fd_support> (CLAP_EXT_POSIX_FD_SUPPORT), nullptr);
    EXPECT_EQ (host->extension<void> ("clap.no-such-extension"), nullptr);
    EXPECT_EQ (host->latency()->get (host->plugin()), 0u);

    const auto* ports = host->audioPorts();
    ASSERT_NE (ports, nullptr);

    for (const bool input : { true, false })
    {
        SCOPED_TRACE (input ? "input" : "output");
        ASSERT_EQ (ports->count (host->plugin(), input), 1u);

        clap_audio_port_info info {};
        ASSERT_TRUE (ports->get (host->plugin(), 0, input, &info));
        EXPECT_EQ (info.id, 0u);
        EXPECT_EQ (info.channel_count, 2u);
        EXPECT_TRUE ((info.flags & CLAP_AUDIO_PORT_IS_MAIN) != 0);
        ASSERT_NE (info.port_type, nullptr);
        EXPECT_STREQ (info.port_type, CLAP_PORT_STEREO);
        EXPECT_EQ (info.in_place_pair, 0u);
        EXPECT_FALSE (ports->get (host->plugin(), 1, input, &info));
    }
}

struct Rate
{
    double sampleRate;
    uint32_t minFrames, maxFrames;
};

class ClapRate : public ClapPlugin, public ::testing::WithParamInterface<Rate> {};

TEST_P (ClapRate, ActivatesAndPassesAudioThrough)
{
    const auto rate = GetParam();
    ASSERT_TRUE (host->activate (rate.sampleRate, rate.minFrames, rate.maxFrames));
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, std::vector<uint32_t> (20, rate.maxFrames), true), "");
    EXPECT_EQ (host->latency()->get (host->plugin()), 0u);
}

INSTANTIATE_TEST_SUITE_P (Rates, ClapRate,
                          ::testing::Values (Rate { 44100.0, 1, 512 }, Rate { 48000.0, 32, 1024 }, Rate { 96000.0, 1, 4096 },
                                             Rate { 48000.0, 64, 64 }));

struct Blocks
{
    const char* name;
    bool inPlace;
    bool onAudioThread;
    std::vector<uint32_t> sizes;
};

std::vector<uint32_t> randomSizes()
{
    std::mt19937 random (20240611);
    std::uniform_int_distribution<uint32_t> size (1, maxBlock);
    std::vector<uint32_t> sizes (200);
    std::generate (sizes.begin(), sizes.end(), [&] { return size (random); });
    return sizes;
}

const std::vector<uint32_t> varyingSizes { 512, 1, 2, 3, 64, 333, 4096, 7, 4095, 128, 1, 1000, 2048, 511, 513 };

class ClapBlocks : public ClapPlugin, public ::testing::WithParamInterface<Blocks> {};

TEST_P (ClapBlocks, PassAudioThroughSampleForSample)
{
    const auto& blocks = GetParam();
    ASSERT_TRUE (host->activate (48000.0, 1, maxBlock));
    std::string result = "not run";

    const auto run = [&]
    {
        if (host->startProcessing())
            result = passThrough (*host, 2, blocks.sizes, blocks.inPlace);

        host->stopProcessing();
    };

    if (blocks.onAudioThread)
        ClapTestHost::onAudioThread (run);
    else
        run();

    EXPECT_EQ (result, "");
}

INSTANTIATE_TEST_SUITE_P (Sizes, ClapBlocks,
                          ::testing::Values (Blocks { "FixedInPlace", true, false, std::vector<uint32_t> (100, 512) },
                                             Blocks { "FixedSeparate", false, true, std::vector<uint32_t> (100, 512) },
                                             Blocks { "VaryingInPlace", true, true, varyingSizes },
                                             Blocks { "VaryingSeparate", false, false, varyingSizes },
                                             Blocks { "RandomInPlace", true, false, randomSizes() },
                                             Blocks { "RandomSeparate", false, true, randomSizes() }),
                          [] (const auto& test) { return std::string (test.param.name); });

TEST_F (ClapPlugin, ResetsAndReactivates)
{
    ASSERT_TRUE (host->activate (44100.0, 1, 512));
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, std::vector<uint32_t> (10, 512), true), "");

    host->plugin()->reset (host->plugin());
    EXPECT_EQ (passThrough (*host, 2, std::vector<uint32_t> (10, 256), false), "");

    host->stopProcessing();
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, std::vector<uint32_t> (3, 512), true), "");

    host->deactivate();
    ASSERT_TRUE (host->activate (96000.0, 1, 2048));
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, std::vector<uint32_t> (10, 2048), false), "");

    host->deactivate();
    ASSERT_TRUE (host->activate (48000.0, 1, 128));
    EXPECT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, std::vector<uint32_t> (10, 128), true), "");
}

TEST_F (ClapPlugin, AMonoConfigurationPassesThroughItsOneChannel)
{
    const auto* configs = host->portsConfig();
    ASSERT_NE (configs, nullptr);
    ASSERT_EQ (configs->count (host->plugin()), 2u);

    const std::array<std::tuple<clap_id, const char*, uint32_t>, 2> expected { { { 0, "Stereo", 2 }, { 1, "Mono", 1 } } };

    for (uint32_t i = 0; i < 2; ++i)
    {
        clap_audio_ports_config config {};
        ASSERT_TRUE (configs->get (host->plugin(), i, &config));
        const auto [id, name, channels] = expected[i];
        EXPECT_EQ (config.id, id);
        EXPECT_STREQ (config.name, name);
        EXPECT_EQ (config.input_port_count, 1u);
        EXPECT_EQ (config.output_port_count, 1u);
        EXPECT_TRUE (config.has_main_input && config.has_main_output);
        EXPECT_EQ (config.main_input_channel_count, channels);
        EXPECT_EQ (config.main_output_channel_count, channels);
    }

    ASSERT_TRUE (configs->select (host->plugin(), 1));
    clap_audio_port_info info {};
    ASSERT_TRUE (host->audioPorts()->get (host->plugin(), 0, false, &info));
    EXPECT_EQ (info.channel_count, 1u);
    EXPECT_STREQ (info.port_type, CLAP_PORT_MONO);

    ASSERT_TRUE (host->activate (48000.0, 1, 1024));
    EXPECT_FALSE (configs->select (host->plugin(), 0)) << "a configuration was selected while active";
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 1, { 1024, 17, 512, 1 }, true), "");
    EXPECT_EQ (passThrough (*host, 1, { 1024, 17, 512, 1 }, false), "");
    host->deactivate();

    EXPECT_FALSE (configs->select (host->plugin(), 7));
    ASSERT_TRUE (configs->select (host->plugin(), 0));
    ASSERT_TRUE (host->audioPorts()->get (host->plugin(), 0, true, &info));
    EXPECT_EQ (info.channel_count, 2u);
    ASSERT_TRUE (host->activate (48000.0, 1, 512));
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, { 512, 100 }, false), "");
}

//==============================================================================
TEST_F (ClapPlugin, FreezeIsOneSteppedAutomatableParameterOffByDefault)
{
    const auto* params = host->params();
    ASSERT_EQ (params->count (host->plugin()), 1u);

    clap_param_info info {};
    ASSERT_TRUE (params->get_info (host->plugin(), 0, &info));
    EXPECT_FALSE (params->get_info (host->plugin(), 1, &info));
    ASSERT_TRUE (params->get_info (host->plugin(), 0, &info));

    EXPECT_STREQ (info.name, "Freeze");
    EXPECT_TRUE ((info.flags & CLAP_PARAM_IS_STEPPED) != 0);
    EXPECT_TRUE ((info.flags & CLAP_PARAM_IS_AUTOMATABLE) != 0);
    EXPECT_EQ (info.min_value, 0.0);
    EXPECT_EQ (info.max_value, 1.0);
    EXPECT_EQ (info.default_value, 0.0);
    EXPECT_EQ (valueOf (*host, info.id), 0.0);

    double value = 0.0;
    EXPECT_FALSE (params->get_value (host->plugin(), info.id + 1, &value)) << "a parameter that does not exist";
}

TEST_F (ClapPlugin, ConvertsFreezeValuesToTextAndBack)
{
    const auto* params = host->params();
    const auto id = freezeId();
    char text[CLAP_NAME_SIZE];

    for (const auto& [value, expected] : std::vector<std::pair<double, std::string>> { { 0.0, "Off" }, { 1.0, "On" } })
    {
        ASSERT_TRUE (params->value_to_text (host->plugin(), id, value, text, sizeof (text)));
        EXPECT_EQ (std::string (text), expected);

        double back = -1.0;
        ASSERT_TRUE (params->text_to_value (host->plugin(), id, expected.c_str(), &back));
        EXPECT_EQ (back, value);
    }

    for (const char* wrong : { "", "on", "off", "Maybe", "On ", "0", "1", "Offf", "O" })
    {
        double back = -1.0;
        EXPECT_FALSE (params->text_to_value (host->plugin(), id, wrong, &back)) << "\"" << wrong << "\" gave " << back;
    }

    EXPECT_FALSE (params->value_to_text (host->plugin(), id + 1, 0.0, text, sizeof (text)));
    double back = 0.0;
    EXPECT_FALSE (params->text_to_value (host->plugin(), id + 1, "On", &back));

    // A short buffer gets a terminated prefix (or nothing), never more than its size.
    std::array<char, 8> small;
    small.fill ('#');

    if (params->value_to_text (host->plugin(), id, 0.0, small.data(), 2))
    {
        EXPECT_EQ (small[1], '\0');
    }

    EXPECT_TRUE (std::all_of (small.begin() + 2, small.end(), [] (char c) { return c == '#'; }));
}

TEST_F (ClapPlugin, AppliesFreezeAtItsSampleOffsetWithoutEchoingIt)
{
    const auto id = freezeId();
    ASSERT_TRUE (host->activate (48000.0, 1, 512));
    ASSERT_TRUE (host->startProcessing());

    // Events of another space, or for a parameter that does not exist, change nothing.
    EXPECT_EQ (passThrough (*host, 2, { 512 }, true, [id] (size_t, ClapInputEvents& e, auto&) {
                   e.addParamValue (10, id, 1.0, 1);
                   e.addParamValue (20, id + 1, 1.0);
               }),
               "");
    EXPECT_EQ (valueOf (*host, id), 0.0);

    // Freezing stops the capture, not the pass-through. Which sample the capture stops at cannot
    // be seen through CLAP; the value and the saved state can.
    EXPECT_EQ (passThrough (*host, 2, { 512, 512 }, false, [id] (size_t block, ClapInputEvents& e, auto&) {
                   if (block == 0)
                   {
                       e.addGesture (200, id, true);
                       e.addParamValue (200, id, 1.0);
                       e.addGesture (200, id, false);
                   }
               }),
               "");
    EXPECT_EQ (valueOf (*host, id), 1.0);

    ClapTestHost::runMainLoop (200);
    EXPECT_EQ (passThrough (*host, 2, { 512 }, true), "");
    const auto out = host->takeOutEvents();
    EXPECT_TRUE (out.empty()) << "a host change came back: " << describe (out);

    // Off again late in a block, and several changes within one block end on the last one.
    EXPECT_EQ (passThrough (*host, 2, { 512 }, true, [id] (size_t, ClapInputEvents& e, auto&) {
                   e.addParamValue (0, id, 0.0);
                   e.addParamValue (300, id, 1.0);
                   e.addParamValue (511, id, 0.0);
               }),
               "");
    EXPECT_EQ (valueOf (*host, id), 0.0);
}

TEST_F (ClapPlugin, FlushAppliesValuesWhileInactive)
{
    const auto id = freezeId();
    ClapInputEvents events;
    events.addParamValue (0, id, 1.0);
    host->flush (&events);
    EXPECT_EQ (valueOf (*host, id), 1.0);

    ClapTestHost::runMainLoop (200);
    host->flush();
    EXPECT_TRUE (host->takeOutEvents().empty());

    // Flushing while active happens on the audio thread.
    ASSERT_TRUE (host->activate (48000.0, 1, 256));
    ClapInputEvents off;
    off.addParamValue (0, id, 0.0);
    host->flush (&off);
    EXPECT_EQ (valueOf (*host, id), 0.0);
    EXPECT_TRUE (host->takeOutEvents().empty());
}

//==============================================================================
/** The host's side of a state stream: at most `chunk` bytes per call, and a write result to
    fail with after `failAfter` bytes. */
class MemoryStreams
{
public:
    explicit MemoryStreams (uint64_t chunkSize = UINT64_MAX) : chunk (chunkSize) {}

    std::vector<uint8_t> bytes;
    size_t readPosition = 0;
    uint64_t chunk;
    int64_t failWith = 1;
    size_t failAfter = SIZE_MAX;

    const clap_ostream* out()
    {
        output = { this, [] (const clap_ostream* s, const void* data, uint64_t size) -> int64_t
        {
            auto& self = *static_cast<MemoryStreams*> (s->ctx);

            if (self.bytes.size() >= self.failAfter)
                return self.failWith;

            const auto n = std::min (size, self.chunk);
            const auto* p = static_cast<const uint8_t*> (data);
            self.bytes.insert (self.bytes.end(), p, p + n);
            return (int64_t) n;
        } };
        return &output;
    }

    const clap_istream* in()
    {
        readPosition = 0;
        input = { this, [] (const clap_istream* s, void* data, uint64_t size) -> int64_t
        {
            auto& self = *static_cast<MemoryStreams*> (s->ctx);
            const auto n = std::min<uint64_t> ({ size, self.chunk, self.bytes.size() - self.readPosition });

            if (n == 0)
                return 0;   // an empty vector has no data to copy from

            std::memcpy (data, self.bytes.data() + self.readPosition, n);
            self.readPosition += n;
            return (int64_t) n;
        } };
        return &input;
    }

private:
    clap_ostream output {};
    clap_istream input {};
};

std::vector<uint8_t> saved (const ClapTestHost& h, uint64_t chunk = UINT64_MAX)
{
    MemoryStreams s (chunk);
    EXPECT_TRUE (h.state()->save (h.plugin(), s.out()));
    return s.bytes;
}

bool load (const ClapTestHost& h, const std::vector<uint8_t>& bytes, uint64_t chunk = UINT64_MAX)
{
    MemoryStreams s (chunk);
    s.bytes = bytes;
    return h.state()->load (h.plugin(), s.in());
}

TEST_F (ClapPlugin, SavesTheSameStateTwiceAndAnotherInstanceLoadsIt)
{
    const auto fresh = saved (*host);
    ASSERT_FALSE (fresh.empty());
    EXPECT_EQ (saved (*host), fresh);

    second = makeHost();
    EXPECT_TRUE (load (*second, fresh));
    EXPECT_EQ (saved (*second), fresh);

    const auto id = freezeId();
    ClapInputEvents on;
    on.addParamValue (0, id, 1.0);
    host->flush (&on);
    const auto frozen = saved (*host);
    EXPECT_NE (frozen, fresh);

    EXPECT_TRUE (load (*second, frozen));
    EXPECT_EQ (valueOf (*second, id), 1.0);
    EXPECT_EQ (saved (*second), frozen);

    EXPECT_TRUE (load (*second, fresh));
    EXPECT_EQ (valueOf (*second, id), 0.0);
}

class ClapStateChunks : public ClapPlugin, public ::testing::WithParamInterface<uint64_t> {};

TEST_P (ClapStateChunks, StreamsOfShortReadsAndWritesWorkBothWays)
{
    const auto id = freezeId();
    ClapInputEvents on;
    on.addParamValue (0, id, 1.0);
    host->flush (&on);
    const auto whole = saved (*host);

    EXPECT_EQ (saved (*host, GetParam()), whole) << "writes of " << GetParam() << " bytes were not retried";

    second = makeHost();
    EXPECT_TRUE (load (*second, whole, GetParam()));
    EXPECT_EQ (valueOf (*second, id), 1.0);
}

INSTANTIATE_TEST_SUITE_P (BytesPerCall, ClapStateChunks, ::testing::Values (1u, 7u, 4096u));

struct FailingWrite
{
    int64_t result;
    size_t after;
};

class ClapStateWriteFailure : public ClapPlugin, public ::testing::WithParamInterface<FailingWrite> {};

TEST_P (ClapStateWriteFailure, FailsTheSave)
{
    MemoryStreams s (7);
    s.failWith = GetParam().result;
    s.failAfter = GetParam().after;
    EXPECT_FALSE (host->state()->save (host->plugin(), s.out()));
    EXPECT_FALSE (saved (*host).empty()) << "the instance cannot save after a failed save";
}

INSTANTIATE_TEST_SUITE_P (Results, ClapStateWriteFailure,
                          ::testing::Values (FailingWrite { 0, 0 }, FailingWrite { -1, 0 }, FailingWrite { 0, 14 },
                                             FailingWrite { -1, 21 }));

TEST_F (ClapPlugin, RefusesEmptyOrDamagedStateAndKeepsWorking)
{
    const auto id = freezeId();
    ClapInputEvents on;
    on.addParamValue (0, id, 1.0);
    host->flush (&on);
    const auto before = saved (*host);

    std::mt19937 random (7);
    std::vector<uint8_t> noise (1000);
    std::generate (noise.begin(), noise.end(), [&] { return (uint8_t) random(); });

    EXPECT_FALSE (load (*host, {}));
    EXPECT_FALSE (load (*host, noise));
    EXPECT_FALSE (load (*host, noise, 1));

    // Cut short: may be refused or ignored, but changes nothing.
    load (*host, std::vector<uint8_t> (before.begin(), before.begin() + (long) before.size() / 2));

    EXPECT_EQ (valueOf (*host, id), 1.0);
    EXPECT_EQ (saved (*host), before);
    ASSERT_TRUE (host->activate (48000.0, 1, 512));
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, std::vector<uint32_t> (5, 512), true), "");
}

//==============================================================================
clap_event_transport transportOf (uint32_t flags, double tempo, double tempoIncrement = 0.0)
{
    clap_event_transport t {};
    t.header = { sizeof (t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0 };
    t.flags = flags;
    t.tempo = tempo;
    t.tempo_inc = tempoIncrement;
    t.tsig_num = 4;
    t.tsig_denom = 4;
    return t;
}

TEST_F (ClapPlugin, FollowsTheTransportWithoutChangingTheAudio)
{
    using Step = std::optional<clap_event_transport>;
    const auto playing = CLAP_TRANSPORT_IS_PLAYING | CLAP_TRANSPORT_HAS_TEMPO;
    const std::vector<Step> steps {
        std::nullopt,
        transportOf (CLAP_TRANSPORT_HAS_TEMPO, 120.0),
        transportOf (playing, 120.0),
        transportOf (playing, 121.5),
        transportOf (playing, 90.0, 0.001),
        transportOf (playing | CLAP_TRANSPORT_IS_RECORDING, 90.0),
        std::nullopt,
        transportOf (CLAP_TRANSPORT_IS_PLAYING, 0.0),   // playing, no tempo known
        transportOf (CLAP_TRANSPORT_HAS_TEMPO, 300.0),  // stopped
        transportOf (CLAP_TRANSPORT_IS_RECORDING | CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_IS_LOOP_ACTIVE, 60.0),
        transportOf (0, 0.0),
    };

    ASSERT_TRUE (host->activate (44100.0, 1, 1024));
    ASSERT_TRUE (host->startProcessing());

    std::vector<uint32_t> sizes;

    for (size_t i = 0; i < steps.size() * 3; ++i)
        sizes.push_back (i % 2 == 0 ? 1024 : 37);

    EXPECT_EQ (passThrough (*host, 2, sizes, true, [&] (size_t block, ClapInputEvents& events, const clap_event_transport*& t) {
                   const auto& step = steps[block / 3];
                   t = step ? &*step : nullptr;

                   // A change within the block too, as an event.
                   if (block % 3 == 1 && step)
                   {
                       auto changed = *step;
                       changed.tempo += 1.0;
                       events.addTransport (5, changed);
                   }
               }),
               "");
}

TEST_F (ClapPlugin, TwoInstancesKeepTheirOwnFreezeAndAudio)
{
    second = makeHost();
    const auto id = freezeId();
    ASSERT_TRUE (host->activate (48000.0, 1, 512));
    ASSERT_TRUE (second->activate (44100.0, 1, 256));
    ASSERT_TRUE (host->startProcessing());
    ClapTestHost::onAudioThread ([&] { EXPECT_TRUE (second->startProcessing()); });

    for (int round = 0; round < 5; ++round)
    {
        EXPECT_EQ (passThrough (*host, 2, { 512, 100 }, true, [id, round] (size_t b, ClapInputEvents& e, auto&) {
                       if (round == 2 && b == 1)
                           e.addParamValue (50, id, 1.0);
                   }),
                   "");
        ClapTestHost::onAudioThread ([&] { EXPECT_EQ (passThrough (*second, 2, { 256, 3 }, false), ""); });
        ClapTestHost::runMainLoop (20);
    }

    EXPECT_EQ (valueOf (*host, id), 1.0);
    EXPECT_EQ (valueOf (*second, id), 0.0);

    ClapTestHost::onAudioThread ([&] { second->stopProcessing(); });
    finish (*second);
    second.reset();
    EXPECT_EQ (passThrough (*host, 2, { 512, 100 }, true), "");
}

//==============================================================================
/** The editor embedded in windows the test makes on its own X connection. */
class ClapEditor : public ClapPlugin
{
protected:
    void SetUp() override
    {
        display = openDisplay();
        ASSERT_NE (display, nullptr) << "no X display (run under xvfb-run)";
        ClapPlugin::SetUp();
        resetXErrors();
    }

    void TearDown() override
    {
        ClapPlugin::TearDown();

        if (display != nullptr)
        {
            for (const auto w : parents)
                destroyWindow (display, w);

            closeDisplay (display);
        }

        EXPECT_EQ (xErrorCount(), 0) << firstXError();
        EXPECT_TRUE (xErrorRecorderInstalled()) << "something replaced the host's X error handler";
        recordXErrors();
    }

    /** Opens the editor in a new window at (x, y); the plug-in's own window, or 0. */
    XWindow openEditor (ClapTestHost& h, int x, int y)
    {
        const auto* gui = h.gui();

        if (gui == nullptr || ! h.createGui())
            return 0;

        uint32_t width = 0, height = 0;
        gui->get_size (h.plugin(), &width, &height);
        const auto parent = createParentWindow (display, x, y, std::max (width, 1u), std::max (height, 1u));
        parents.push_back (parent);

        clap_window window {};
        window.api = CLAP_WINDOW_API_X11;
        window.x11 = parent;

        if (! gui->set_parent (h.plugin(), &window) || ! gui->show (h.plugin()))
            return 0;

        XWindow child = 0;
        ClapTestHost::runMainLoop (3000, [&] { child = firstChild (display, parent); return child != 0 && isViewable (display, child); });
        ClapTestHost::runMainLoop (300);   // painted and ready for input
        return child;
    }

    /** The pause button: 20 px square at the editor's margin of 5 (the editor's resized()). */
    void clickPauseButton (XWindow editor)
    {
        clickAt (display, editor, 15, 15);
    }

    /** Whether the events are exactly one gesture setting Freeze to this value. */
    static ::testing::AssertionResult isFreezeGesture (const std::vector<OutEvent>& events, clap_id id, double value)
    {
        const bool ok = events.size() == 3 && events[0].type == CLAP_EVENT_PARAM_GESTURE_BEGIN
                        && events[1].type == CLAP_EVENT_PARAM_VALUE && events[2].type == CLAP_EVENT_PARAM_GESTURE_END
                        && std::all_of (events.begin(), events.end(), [id] (const OutEvent& e) { return e.param == id && e.space == 0; })
                        && events[1].value == value;

        if (ok)
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "out events: " << describe (events);
    }

    Display* display = nullptr;
    std::vector<XWindow> parents;
};

TEST_F (ClapEditor, IsEmbeddedX11Only)
{
    const auto* gui = host->gui();
    ASSERT_NE (gui, nullptr);
    EXPECT_TRUE (gui->is_api_supported (host->plugin(), CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE (gui->is_api_supported (host->plugin(), CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE (gui->is_api_supported (host->plugin(), CLAP_WINDOW_API_WAYLAND, false));

    const char* api = nullptr;
    bool floating = true;

    if (gui->get_preferred_api (host->plugin(), &api, &floating))
    {
        EXPECT_STREQ (api, CLAP_WINDOW_API_X11);
        EXPECT_FALSE (floating);
    }

    EXPECT_FALSE (host->createGui (CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE (host->createGui (CLAP_WINDOW_API_WIN32, false));
}

struct HostSupport
{
    bool timers, fds, createsEditor;
};

class ClapEditorSupport : public ClapPlugin, public ::testing::WithParamInterface<HostSupport> {};

// The extension is always there (hosts such as Qtractor decide whether a plug-in has an editor
// while scanning, with a host that offers nothing); only a host that can run the plug-in's loop
// gets an editor.
TEST_P (ClapEditorSupport, IsCreatedOnlyForHostsThatCanRunItsLoop)
{
    const auto support = GetParam();
    host->destroyPlugin();
    host = makeHost ({ support.timers, support.fds });
    ASSERT_NE (host->gui(), nullptr);
    EXPECT_TRUE (host->gui()->is_api_supported (host->plugin(), CLAP_WINDOW_API_X11, false));
    EXPECT_EQ (host->createGui(), support.createsEditor);
}

INSTANTIATE_TEST_SUITE_P (Hosts, ClapEditorSupport,
                          ::testing::Values (HostSupport { false, false, false }, HostSupport { true, false, true },
                                             HostSupport { false, true, true }, HostSupport { true, true, true }));

TEST_F (ClapEditor, OpensResizesHidesAndClosesWithTheHostDrivingItsLoop)
{
    const auto* gui = host->gui();
    ASSERT_NE (gui, nullptr);
    ASSERT_TRUE (host->createGui());

    uint32_t width = 0, height = 0;
    ASSERT_TRUE (gui->get_size (host->plugin(), &width, &height));
    EXPECT_EQ (width, 1000u);   // the stored display size's defaults
    EXPECT_EQ (height, 89u);
    EXPECT_TRUE (gui->can_resize (host->plugin()));

    for (const auto& [w, h] : std::vector<std::pair<uint32_t, uint32_t>> { { 640, 200 }, { 3, 3 }, { 20000, 20000 }, { 1000, 89 } })
    {
        auto w1 = w, h1 = h, w2 = w, h2 = h;
        ASSERT_TRUE (gui->adjust_size (host->plugin(), &w1, &h1));
        ASSERT_TRUE (gui->adjust_size (host->plugin(), &w2, &h2));
        EXPECT_EQ (std::make_pair (w1, h1), std::make_pair (w2, h2)) << "asked for " << w << "x" << h;

        auto w3 = w1, h3 = h1;
        ASSERT_TRUE (gui->adjust_size (host->plugin(), &w3, &h3));
        EXPECT_EQ (std::make_pair (w3, h3), std::make_pair (w1, h1)) << "an adjusted size is adjusted again";
    }

    const auto parent = createParentWindow (display, 0, 780, width, height);
    parents.push_back (parent);
    clap_window window {};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = parent;
    ASSERT_TRUE (gui->set_parent (host->plugin(), &window));
    ASSERT_TRUE (gui->show (host->plugin()));

    XWindow editor = 0;
    ClapTestHost::runMainLoop (3000, [&] { editor = firstChild (display, parent); return editor != 0 && isViewable (display, editor); });
    ASSERT_NE (editor, 0u) << "no window inside the host's";
    EXPECT_TRUE (isViewable (display, editor));

    uint32_t w = 640, h = 200;
    ASSERT_TRUE (gui->adjust_size (host->plugin(), &w, &h));
    ASSERT_TRUE (gui->set_size (host->plugin(), w, h));
    ClapTestHost::runMainLoop (300);
    ASSERT_TRUE (gui->get_size (host->plugin(), &width, &height));
    EXPECT_EQ (std::make_pair (width, height), std::make_pair (w, h));

    EXPECT_EQ (windowSize (display, editor), std::make_pair ((unsigned) w, (unsigned) h));

    ASSERT_TRUE (gui->hide (host->plugin()));
    ClapTestHost::runMainLoop (1000, [&] { return ! isViewable (display, editor); });
    EXPECT_FALSE (isViewable (display, editor));
    ASSERT_TRUE (gui->show (host->plugin()));
    ClapTestHost::runMainLoop (1000, [&] { return isViewable (display, editor); });
    EXPECT_TRUE (isViewable (display, editor));

    const auto& counts = host->counts();
    EXPECT_GT (counts.timersRegistered.load(), 0);
    EXPECT_GT (counts.timerCallbacks.load(), 0);
    EXPECT_GT (counts.fdsRegistered.load(), 0);
    EXPECT_GT (counts.fdCallbacks.load(), 0);

    for (const auto& fd : host->fds())
        EXPECT_EQ (fd.flags, (clap_posix_fd_flags_t) CLAP_POSIX_FD_READ) << "fd " << fd.fd;

    host->destroyGui();
    ClapTestHost::runMainLoop (200);
    // TearDown destroys the plug-in and checks that every timer and fd was unregistered.
}

TEST_F (ClapEditor, DraggingItsCornerAsksTheHostForTheNewSize)
{
    const auto editor = openEditor (*host, 0, 600);
    ASSERT_NE (editor, 0u);
    const auto [width, height] = windowSize (display, editor);
    const auto& counts = host->counts();

    // The resize corner is the editor's bottom right; the host here accepts every request.
    dragAt (display, editor, (int) width - 3, (int) height - 3, (int) width + 97, (int) height + 47);
    ClapTestHost::runMainLoop (2000, [&] { return counts.resizeRequests.load() > 0
                                                  && windowSize (display, editor).first > width; });

    ASSERT_GT (counts.resizeRequests.load(), 0);
    const auto asked = std::make_pair (counts.lastResizeWidth.load(), counts.lastResizeHeight.load());
    EXPECT_GT (asked.first, width);
    EXPECT_GT (asked.second, height);
    EXPECT_EQ (windowSize (display, editor), std::make_pair ((unsigned) asked.first, (unsigned) asked.second));

    uint32_t w = 0, h = 0;
    ASSERT_TRUE (host->gui()->get_size (host->plugin(), &w, &h));
    EXPECT_EQ (std::make_pair (w, h), asked);
}

TEST_F (ClapEditor, PauseButtonChangesGoOutInTheNextProcessCall)
{
    const auto id = freezeId();
    ASSERT_TRUE (host->activate (48000.0, 1, 512));
    const auto editor = openEditor (*host, 0, 780);
    ASSERT_NE (editor, 0u);
    ASSERT_TRUE (host->startProcessing());

    EXPECT_EQ (passThrough (*host, 2, { 512 }, true, [id] (size_t, ClapInputEvents& e, auto&) { e.addParamValue (100, id, 1.0); }), "");
    ClapTestHost::runMainLoop (300);
    EXPECT_EQ (passThrough (*host, 2, { 512 }, true), "");
    auto out = host->takeOutEvents();
    EXPECT_TRUE (out.empty()) << "the host's change came back: " << describe (out);

    clickPauseButton (editor);
    ClapTestHost::runMainLoop (500);
    EXPECT_EQ (passThrough (*host, 2, { 512 }, false), "");
    EXPECT_TRUE (isFreezeGesture (host->takeOutEvents(), id, 0.0));
    EXPECT_EQ (valueOf (*host, id), 0.0);

    ClapTestHost::runMainLoop (200);
    EXPECT_EQ (passThrough (*host, 2, { 512 }, false), "");
    out = host->takeOutEvents();
    EXPECT_TRUE (out.empty()) << "sent twice: " << describe (out);
}

TEST_F (ClapEditor, PauseButtonChangesAreFlushedWhenNotProcessing)
{
    const auto id = freezeId();
    const auto editor = openEditor (*host, 0, 780);
    ASSERT_NE (editor, 0u);

    ClapInputEvents on;
    on.addParamValue (0, id, 1.0);
    host->flush (&on);
    ClapTestHost::runMainLoop (300);
    auto out = host->takeOutEvents();
    EXPECT_TRUE (out.empty()) << "the host's change came back: " << describe (out);

    const int requestsBefore = host->counts().flushRequests;
    clickPauseButton (editor);
    ClapTestHost::runMainLoop (2000, [&] { return host->counts().flushRequests > requestsBefore; });
    EXPECT_GT (host->counts().flushRequests.load(), requestsBefore) << "no params.request_flush after the click";
    ClapTestHost::runMainLoop (100);   // the loop flushes

    EXPECT_TRUE (isFreezeGesture (host->takeOutEvents(), id, 0.0));
    EXPECT_EQ (valueOf (*host, id), 0.0);
}

TEST_F (ClapEditor, SurvivesItsParentWindowBeingDestroyedFirst)
{
    ASSERT_TRUE (host->activate (48000.0, 1, 512));
    const auto editor = openEditor (*host, 0, 780);
    ASSERT_NE (editor, 0u);

    destroyWindow (display, parents.back());
    parents.pop_back();
    ClapTestHost::runMainLoop (300);

    host->destroyGui();
    ClapTestHost::runMainLoop (300);
    EXPECT_EQ (xErrorCount(), 0) << firstXError() << "; the editor's window was " << editor;

    // Still a working instance, and a new editor opens.
    ASSERT_TRUE (host->startProcessing());
    EXPECT_EQ (passThrough (*host, 2, { 512, 512 }, true), "");
    host->stopProcessing();
    EXPECT_NE (openEditor (*host, 0, 780), 0u);
}

TEST_F (ClapEditor, OneInstanceGoesWhileTheOtherKeepsItsEditor)
{
    second = makeHost();
    const auto id = freezeId();
    ASSERT_NE (openEditor (*host, 0, 780), 0u);
    const auto secondEditor = openEditor (*second, 0, 900);
    ASSERT_NE (secondEditor, 0u);

    finish (*host);
    ClapTestHost::runMainLoop (300);

    EXPECT_FALSE (second->timers().empty() && second->fds().empty()) << "nothing left to run the remaining editor";

    ClapInputEvents on;
    on.addParamValue (0, id, 1.0);
    second->flush (&on);
    ClapTestHost::runMainLoop (200);
    second->takeOutEvents();

    clickPauseButton (secondEditor);
    ClapTestHost::runMainLoop (2000, [&] { return second->counts().flushes > 1; });
    ClapTestHost::runMainLoop (100);
    EXPECT_TRUE (isFreezeGesture (second->takeOutEvents(), id, 0.0));
}

TEST_F (ClapEditor, WithoutARecordingFolderAsksForOneInTheHostsLoop)
{
    host->destroyPlugin();
    writePreferences ({ { "OpenGL", "0" } });
    host = makeHost();

    XWindow box = 0;
    ClapTestHost::runMainLoop (5000, [&] { return (box = findWindowTitled (display, "Set Recording Directory")) != 0; });
    ASSERT_NE (box, 0u) << "no message";

    // Another instance (with a folder) keeps the loop running once the first is gone; the
    // message then closes without opening a folder chooser for an instance that is no more.
    writeTestPreferences();
    second = makeHost();
    ASSERT_NE (openEditor (*second, 0, 900), 0u);
    finish (*host);

    ClapTestHost::runMainLoop (2000, [&] {
        if (isViewable (display, box))
            pressKeyOver (display, box, "Return");

        ClapTestHost::runMainLoop (100);
        return findWindowTitled (display, "Set Recording Directory") == 0;
    });
    EXPECT_EQ (findWindowTitled (display, "Set Recording Directory"), 0u);
}

} // namespace
