// The real-time rules for Quorvel.clap's process call, as a host calls it: no heap, lock, wait
// or file call on the audio thread, with parameter events in, transport changes, and the
// editor's changes going out. The C library calls are interposed in this program (RealtimeGuard),
// which reaches into the loaded plug-in as well.
#include "../RealtimeGuard.h"
#include "ClapLibrary.h"
#include "ClapTestEnvironment.h"
#include "ClapTestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

using namespace quorvel::clap_test;
using quorvel::test::RealtimeGuard;

namespace
{

class ClapRealtime : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearHome();
        writeTestPreferences();

        const auto* factory = ClapLibrary::shared().factory();
        ASSERT_NE (factory, nullptr) << ClapLibrary::shared().error();
        host = std::make_unique<ClapTestHost> (*factory);
        ASSERT_TRUE (host->create());

        clap_param_info info {};
        ASSERT_TRUE (host->params()->get_info (host->plugin(), 0, &info));
        freeze = info.id;

        ASSERT_TRUE (host->activate (48000.0, 1, 512));
        ASSERT_TRUE (host->startProcessing());

        for (int c = 0; c < 2; ++c)
            channels[c] = samples[c];

        RealtimeGuard::reset();
    }

    void TearDown() override
    {
        if (host != nullptr)
            host->destroyPlugin();

        host.reset();

        if (display != nullptr)
            closeDisplay (display);
    }

    /** One block of 512 under the guard; the events and transport are made before it. */
    void guardedBlock (const ClapInputEvents& events, const clap_event_transport* transport = nullptr)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i)
                samples[c][i] = 0.001f * (float) ((i + c + blocks) % 700);

        ++blocks;
        RealtimeGuard guard;
        host->process (channels, channels, 2, 512, &events, transport);
    }

    void guardedBlocks (int count, const clap_event_transport* transport = nullptr)
    {
        const ClapInputEvents none;

        for (int b = 0; b < count; ++b)
            guardedBlock (none, transport);
    }

    void expectNoViolations (const char* scenario)
    {
        EXPECT_EQ (RealtimeGuard::violations(), 0) << scenario << ": " << RealtimeGuard::firstViolation();
        RealtimeGuard::reset();
    }

    std::unique_ptr<ClapTestHost> host;
    clap_id freeze = 0;
    float samples[2][512] {};
    float* channels[2] {};
    int blocks = 0;
    Display* display = nullptr;
};

clap_event_transport transportOf (uint32_t flags, double tempo)
{
    clap_event_transport t {};
    t.header = { sizeof (t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0 };
    t.flags = flags;
    t.tempo = tempo;
    t.tsig_num = 4;
    t.tsig_denom = 4;
    return t;
}

} // namespace

TEST_F (ClapRealtime, TheGuardReachesIntoThePlugin)
{
    // Saving the state builds it in memory inside the plug-in; the stream here allocates nothing.
    static unsigned char buffer[1 << 16];
    static size_t used = 0;
    const clap_ostream stream { nullptr, [] (const clap_ostream*, const void* data, uint64_t size) -> int64_t
    {
        const auto n = std::min<uint64_t> (size, sizeof (buffer) - used);
        std::memcpy (buffer + used, data, n);
        used += n;
        return (int64_t) n;
    } };

    {
        RealtimeGuard guard;
        host->state()->save (host->plugin(), &stream);
    }
    EXPECT_GT (used, 0u);
    EXPECT_GT (RealtimeGuard::violations(), 0);
}

TEST_F (ClapRealtime, TheFirstBlockAfterActivation)
{
    guardedBlocks (1);
    expectNoViolations ("first block");
}

TEST_F (ClapRealtime, ProcessNeverAllocatesLocksWaitsOrTouchesFiles)
{
    guardedBlocks (50);
    expectNoViolations ("steady blocks");

    const auto stopped = transportOf (CLAP_TRANSPORT_HAS_TEMPO, 120.0);
    const auto playing = transportOf (CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_IS_PLAYING, 120.0);
    const auto faster = transportOf (CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_IS_PLAYING, 133.0);
    guardedBlocks (3, &stopped);
    guardedBlocks (3, &playing);
    guardedBlocks (3, &faster);
    guardedBlocks (3, &stopped);
    guardedBlocks (3, nullptr);
    expectNoViolations ("transport start, tempo change and stop");

    ClapInputEvents on, off, foreign, moving;
    on.addGesture (100, freeze, true);
    on.addParamValue (100, freeze, 1.0);
    on.addGesture (100, freeze, false);
    off.addParamValue (300, freeze, 0.0);
    foreign.addParamValue (10, freeze, 1.0, 1);
    foreign.addParamValue (20, freeze + 1, 1.0);
    moving.addTransport (50, faster);
    moving.addTransport (400, stopped);
    guardedBlock (on, &playing);
    guardedBlocks (3);
    guardedBlock (off);
    guardedBlock (foreign);
    guardedBlock (moving, &playing);
    expectNoViolations ("parameter and transport events");

    host->stopProcessing();
    ASSERT_TRUE (host->startProcessing());
    host->plugin()->reset (host->plugin());
    guardedBlocks (3);
    expectNoViolations ("after reset and restarting");
}

TEST_F (ClapRealtime, TheEditorsChangesGoOutToo)
{
    display = openDisplay();
    ASSERT_NE (display, nullptr) << "no X display (run under xvfb-run)";
    ASSERT_TRUE (host->createGui());

    uint32_t width = 0, height = 0;
    host->gui()->get_size (host->plugin(), &width, &height);
    const auto parent = createParentWindow (display, 0, 780, width, height);
    clap_window window {};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = parent;
    ASSERT_TRUE (host->gui()->set_parent (host->plugin(), &window));
    ASSERT_TRUE (host->gui()->show (host->plugin()));

    XWindow editor = 0;
    ClapTestHost::runMainLoop (3000, [&] { editor = firstChild (display, parent); return editor != 0 && isViewable (display, editor); });
    ASSERT_NE (editor, 0u);
    ClapTestHost::runMainLoop (300);

    ClapInputEvents on;
    on.addParamValue (0, freeze, 1.0);
    guardedBlock (on);
    ClapTestHost::runMainLoop (200);
    guardedBlocks (2);
    expectNoViolations ("with the editor open");

    clickAt (display, editor, 15, 15);   // the pause button
    ClapTestHost::runMainLoop (500);
    guardedBlocks (2);
    expectNoViolations ("sending the editor's change out");

    const auto out = host->takeOutEvents();
    EXPECT_EQ (out.size(), 3u) << "the click made no gesture; nothing went out under the guard";

    host->destroyPlugin();
    destroyWindow (display, parent);
}
