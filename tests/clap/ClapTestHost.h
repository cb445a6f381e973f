#pragma once

#include "ClapInputEvents.h"

#include <ClapAudioPortsConfig.h>
#include <ClapPosixFdSupport.h>

#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// clap.log, which the CLAP headers we build against lack; as the CLAP 1.1.1 ABI defines it.
static CLAP_CONSTEXPR const char CLAP_EXT_LOG[] = "clap.log";

extern "C"
{
enum
{
    CLAP_LOG_DEBUG = 0,
    CLAP_LOG_INFO = 1,
    CLAP_LOG_WARNING = 2,
    CLAP_LOG_ERROR = 3,
    CLAP_LOG_FATAL = 4,
    CLAP_LOG_HOST_MISBEHAVING = 5,
    CLAP_LOG_PLUGIN_MISBEHAVING = 6,
};
typedef int32_t clap_log_severity;

typedef struct clap_host_log
{
    void (CLAP_ABI* log) (const clap_host_t* host, clap_log_severity severity, const char* msg);
} clap_host_log_t;
}

namespace quorvel::clap_test
{

/** One event the plug-in pushed to the host's output list. */
struct OutEvent
{
    uint16_t type = 0;
    uint16_t space = 0;
    uint32_t time = 0;
    clap_id param = CLAP_INVALID_ID;
    double value = 0.0;
};

/** A small, strict CLAP host for one plug-in instance.

    It offers thread-check, timer-support, posix-fd-support, gui, params, state, latency,
    audio-ports, audio-ports-config and log. Every call the plug-in makes that CLAP allows only
    on the main thread is checked and any other is recorded as misuse, as are unbalanced timer
    and fd registrations. Events the plug-in sends out are recorded.

    The main thread is the thread that made the first host. runMainLoop() is the host's event
    loop for every live host: it polls the registered fds, fires the registered timers and
    answers request_callback and request_flush. */
class ClapTestHost
{
public:
    struct Options
    {
        bool timerSupport = true;
        bool posixFdSupport = true;
    };

    static constexpr const char* pluginId = "audio.varrow.quorvel";

    explicit ClapTestHost (const clap_plugin_factory& factory);
    ClapTestHost (const clap_plugin_factory& factory, Options options);
    ~ClapTestHost();

    ClapTestHost (const ClapTestHost&) = delete;
    ClapTestHost& operator= (const ClapTestHost&) = delete;

    const clap_host* host() const noexcept   { return &clapHost; }

    /** create_plugin with this id, then init. False (and no plug-in) when either fails. */
    bool create (const char* id = pluginId);
    const clap_plugin* plugin() const noexcept   { return instance; }

    template <typename Extension>
    const Extension* extension (const char* id) const
    {
        return instance != nullptr ? static_cast<const Extension*> (instance->get_extension (instance, id)) : nullptr;
    }

    const clap_plugin_params* params() const          { return extension<clap_plugin_params> (CLAP_EXT_PARAMS); }
    const clap_plugin_state* state() const            { return extension<clap_plugin_state> (CLAP_EXT_STATE); }
    const clap_plugin_gui* gui() const                { return extension<clap_plugin_gui> (CLAP_EXT_GUI); }
    const clap_plugin_audio_ports* audioPorts() const { return extension<clap_plugin_audio_ports> (CLAP_EXT_AUDIO_PORTS); }
    const clap_plugin_audio_ports_config* portsConfig() const
    {
        return extension<clap_plugin_audio_ports_config> (CLAP_EXT_AUDIO_PORTS_CONFIG);
    }
    const clap_plugin_latency* latency() const        { return extension<clap_plugin_latency> (CLAP_EXT_LATENCY); }

    //==============================================================================
    bool activate (double sampleRate, uint32_t minFrames, uint32_t maxFrames);
    void deactivate();

    /** start_processing and stop_processing, on the calling thread, which becomes the audio
        thread while they run. */
    bool startProcessing();
    void stopProcessing();

    bool isActive() const noexcept       { return active; }
    bool isProcessing() const noexcept   { return processing; }

    /** gui.create and gui.destroy, remembered so that destroyPlugin() closes an open editor. */
    bool createGui (const char* api = CLAP_WINDOW_API_X11, bool floating = false);
    void destroyGui();

    /** Closes the editor if open, stops, deactivates and destroys the plug-in. */
    void destroyPlugin();

    /** One process call on the calling thread, which is the audio thread for its duration.
        inputs and outputs may be the same arrays (processing in place). Allocates nothing:
        out events go to storage reserved up front. */
    clap_process_status process (float* const* inputs, float* const* outputs, uint32_t channels, uint32_t frames,
                                 const ClapInputEvents* events = nullptr,
                                 const clap_event_transport* transport = nullptr) noexcept;

    /** params.flush: on a separate audio thread while active, on this (main) thread otherwise. */
    void flush (const ClapInputEvents* events = nullptr);

    /** Runs a job on a fresh thread that the host calls its audio thread, and waits for it. */
    static void onAudioThread (const std::function<void()>& job);

    /** The events the plug-in sent out since the last call. */
    std::vector<OutEvent> takeOutEvents();

    //==============================================================================
    /** The event loop of every live host, for this long or until `done` answers true. */
    static void runMainLoop (int milliseconds, const std::function<bool()>& done = {});

    struct Timer
    {
        clap_id id;
        uint32_t periodMs;
        std::chrono::steady_clock::time_point due;
    };

    struct Fd
    {
        int fd;
        clap_posix_fd_flags_t flags;
    };

    const std::vector<Timer>& timers() const noexcept   { return liveTimers; }
    const std::vector<Fd>& fds() const noexcept         { return liveFds; }

    /** How often each call happened; some requests may come from any thread. */
    struct Counts
    {
        std::atomic<int> timersRegistered { 0 }, fdsRegistered { 0 }, fdsModified { 0 };
        std::atomic<int> timerCallbacks { 0 }, fdCallbacks { 0 };
        std::atomic<int> flushRequests { 0 }, callbackRequests { 0 }, processRequests { 0 }, restartRequests { 0 };
        std::atomic<int> flushes { 0 }, markDirty { 0 }, paramRescans { 0 }, latencyChanges { 0 }, portRescans { 0 };
        std::atomic<int> resizeRequests { 0 }, guiClosed { 0 };
        std::atomic<uint32_t> lastResizeWidth { 0 }, lastResizeHeight { 0 };
    };

    const Counts& counts() const noexcept   { return tally; }

    /** Calls made on the wrong thread or out of order, one line each. */
    std::vector<std::string> misuse() const;

    /** Lines the plug-in logged, with their severity. */
    std::vector<std::pair<clap_log_severity, std::string>> logLines() const;

    /** Whether the calling thread is, for this host, its main or its audio thread. */
    static bool isMainThread() noexcept;
    static bool isAudioThread() noexcept;

private:
    void recordMisuse (const std::string& what) const;
    void requireMainThread (const char* call) const;
    void pump (int timeoutMs);
    bool handleRequests();

    static ClapTestHost& from (const clap_host* host);
    static const void* getExtension (const clap_host*, const char* id);
    static void requestRestart (const clap_host*);
    static void requestProcess (const clap_host*);
    static void requestCallback (const clap_host*);
    static bool pushOutEvent (const clap_output_events*, const clap_event_header*);

    const clap_plugin_factory& pluginFactory;
    const Options options;
    clap_host clapHost;
    const clap_plugin* instance = nullptr;
    bool active = false, processing = false, guiCreated = false;

    std::vector<Timer> liveTimers;
    std::vector<Fd> liveFds;
    clap_id nextTimerId = 1;
    Counts tally;

    std::atomic<bool> flushRequested { false }, callbackRequested { false };

    std::vector<OutEvent> outEvents;   // reserved; never grows during a process call
    clap_output_events outList;

    mutable std::mutex recordLock;
    mutable std::vector<std::string> misuseLines;
    std::vector<std::pair<clap_log_severity, std::string>> logged;

    static const clap_host_thread_check threadCheck;
    static const clap_host_timer_support timerSupport;
    static const clap_host_posix_fd_support posixFdSupport;
    static const clap_host_gui hostGui;
    static const clap_host_params hostParams;
    static const clap_host_state hostState;
    static const clap_host_latency hostLatency;
    static const clap_host_audio_ports hostAudioPorts;
    static const clap_host_audio_ports_config hostPortsConfig;
    static const clap_host_log hostLog;
};

} // namespace quorvel::clap_test
