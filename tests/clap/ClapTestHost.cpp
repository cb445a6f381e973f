#include "ClapTestHost.h"

#include <algorithm>
#include <poll.h>
#include <thread>

namespace quorvel::clap_test
{

namespace
{

std::thread::id mainThreadId;
thread_local bool runningAsAudioThread = false;
std::vector<ClapTestHost*> liveHosts;

// At namespace scope, so that a process call meets no guarded static initialisation.
std::atomic<int64_t> steadyTime { 0 };

uint32_t noEventCount (const clap_input_events*)   { return 0; }
const clap_event_header* noEvent (const clap_input_events*, uint32_t)   { return nullptr; }
const clap_input_events noEvents { nullptr, noEventCount, noEvent };

/** Marks the calling thread as the audio thread while alive. */
struct AudioThreadScope
{
    AudioThreadScope() noexcept : previous (runningAsAudioThread)   { runningAsAudioThread = true; }
    ~AudioThreadScope()   { runningAsAudioThread = previous; }

    const bool previous;
};

int millisecondsUntil (std::chrono::steady_clock::time_point t)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (t - std::chrono::steady_clock::now()).count();
    return (int) std::max<long long> (0, left);
}

} // namespace

//==============================================================================
const clap_host_thread_check ClapTestHost::threadCheck {
    [] (const clap_host*) { return isMainThread(); },
    [] (const clap_host*) { return isAudioThread(); },
};

const clap_host_timer_support ClapTestHost::timerSupport {
    [] (const clap_host* h, uint32_t periodMs, clap_id* id)
    {
        auto& self = from (h);
        self.requireMainThread ("register_timer");

        if (id == nullptr)
        {
            self.recordMisuse ("register_timer without a place for the id");
            return false;
        }

        *id = self.nextTimerId++;
        self.liveTimers.push_back ({ *id, periodMs, std::chrono::steady_clock::now() + std::chrono::milliseconds (periodMs) });
        ++self.tally.timersRegistered;
        return true;
    },
    [] (const clap_host* h, clap_id id)
    {
        auto& self = from (h);
        self.requireMainThread ("unregister_timer");
        auto& timers = self.liveTimers;
        const auto it = std::find_if (timers.begin(), timers.end(), [id] (const Timer& t) { return t.id == id; });

        if (it == timers.end())
        {
            self.recordMisuse ("unregister_timer of unknown timer " + std::to_string (id));
            return false;
        }

        timers.erase (it);
        return true;
    },
};

const clap_host_posix_fd_support ClapTestHost::posixFdSupport {
    [] (const clap_host* h, int fd, clap_posix_fd_flags_t flags)
    {
        auto& self = from (h);
        self.requireMainThread ("register_fd");
        auto& fds = self.liveFds;

        if (std::any_of (fds.begin(), fds.end(), [fd] (const Fd& f) { return f.fd == fd; }))
        {
            self.recordMisuse ("register_fd of fd " + std::to_string (fd) + " twice");
            return false;
        }

        fds.push_back ({ fd, flags });
        ++self.tally.fdsRegistered;
        return true;
    },
    [] (const clap_host* h, int fd, clap_posix_fd_flags_t flags)
    {
        auto& self = from (h);
        self.requireMainThread ("modify_fd");
        auto& fds = self.liveFds;
        const auto it = std::find_if (fds.begin(), fds.end(), [fd] (const Fd& f) { return f.fd == fd; });

        if (it == fds.end())
        {
            self.recordMisuse ("modify_fd of unknown fd " + std::to_string (fd));
            return false;
        }

        it->flags = flags;
        ++self.tally.fdsModified;
        return true;
    },
    [] (const clap_host* h, int fd)
    {
        auto& self = from (h);
        self.requireMainThread ("unregister_fd");
        auto& fds = self.liveFds;
        const auto it = std::find_if (fds.begin(), fds.end(), [fd] (const Fd& f) { return f.fd == fd; });

        if (it == fds.end())
        {
            self.recordMisuse ("unregister_fd of unknown fd " + std::to_string (fd));
            return false;
        }

        fds.erase (it);
        return true;
    },
};

const clap_host_gui ClapTestHost::hostGui {
    [] (const clap_host* h) { from (h).requireMainThread ("gui.resize_hints_changed"); },
    [] (const clap_host* h, uint32_t width, uint32_t height)
    {
        auto& tally = from (h).tally;
        tally.lastResizeWidth = width;
        tally.lastResizeHeight = height;
        ++tally.resizeRequests;
        return true;
    },
    [] (const clap_host*) { return false; },
    [] (const clap_host*) { return false; },
    [] (const clap_host* h, bool) { from (h).requireMainThread ("gui.closed"); ++from (h).tally.guiClosed; },
};

const clap_host_params ClapTestHost::hostParams {
    [] (const clap_host* h, clap_param_rescan_flags) { from (h).requireMainThread ("params.rescan"); ++from (h).tally.paramRescans; },
    [] (const clap_host* h, clap_id, clap_param_clear_flags) { from (h).requireMainThread ("params.clear"); },
    [] (const clap_host* h)
    {
        auto& self = from (h);
        self.flushRequested = true;
        ++self.tally.flushRequests;   // counted only: a test reads it on the main thread after the call
    },
};

const clap_host_state ClapTestHost::hostState {
    [] (const clap_host* h) { from (h).requireMainThread ("state.mark_dirty"); ++from (h).tally.markDirty; },
};

const clap_host_latency ClapTestHost::hostLatency {
    [] (const clap_host* h) { from (h).requireMainThread ("latency.changed"); ++from (h).tally.latencyChanges; },
};

const clap_host_audio_ports ClapTestHost::hostAudioPorts {
    [] (const clap_host* h, uint32_t) { from (h).requireMainThread ("audio_ports.is_rescan_flag_supported"); return true; },
    [] (const clap_host* h, uint32_t) { from (h).requireMainThread ("audio_ports.rescan"); ++from (h).tally.portRescans; },
};

const clap_host_audio_ports_config ClapTestHost::hostPortsConfig {
    [] (const clap_host* h) { from (h).requireMainThread ("audio_ports_config.rescan"); },
};

const clap_host_log ClapTestHost::hostLog {
    [] (const clap_host* h, clap_log_severity severity, const char* message)
    {
        auto& self = from (h);
        const std::lock_guard<std::mutex> lock (self.recordLock);
        self.logged.emplace_back (severity, message != nullptr ? message : "(null)");
    },
};

//==============================================================================
ClapTestHost::ClapTestHost (const clap_plugin_factory& factory) : ClapTestHost (factory, Options {}) {}

ClapTestHost::ClapTestHost (const clap_plugin_factory& factory, Options hostOptions)
    : pluginFactory (factory), options (hostOptions)
{
    if (mainThreadId == std::thread::id())
        mainThreadId = std::this_thread::get_id();

    clapHost = { CLAP_VERSION, this, "Quorvel test host", "Varrow", "", "1.0",
                 getExtension, requestRestart, requestProcess, requestCallback };
    outList = { this, pushOutEvent };
    outEvents.reserve (4096);
    liveHosts.push_back (this);
}

ClapTestHost::~ClapTestHost()
{
    destroyPlugin();
    liveHosts.erase (std::remove (liveHosts.begin(), liveHosts.end(), this), liveHosts.end());
}

bool ClapTestHost::create (const char* id)
{
    instance = pluginFactory.create_plugin (&pluginFactory, &clapHost, id);

    if (instance == nullptr)
        return false;

    if (! instance->init (instance))
    {
        instance->destroy (instance);
        instance = nullptr;
        return false;
    }

    return true;
}

bool ClapTestHost::activate (double sampleRate, uint32_t minFrames, uint32_t maxFrames)
{
    requireMainThread ("(host) activate");

    if (active)
        recordMisuse ("(host) activate while active");

    active = instance->activate (instance, sampleRate, minFrames, maxFrames);
    return active;
}

void ClapTestHost::deactivate()
{
    if (processing)
        stopProcessing();

    if (active)
        instance->deactivate (instance);

    active = false;
}

bool ClapTestHost::startProcessing()
{
    const AudioThreadScope audio;
    processing = instance->start_processing (instance);
    return processing;
}

void ClapTestHost::stopProcessing()
{
    const AudioThreadScope audio;

    if (processing)
        instance->stop_processing (instance);

    processing = false;
}

bool ClapTestHost::createGui (const char* api, bool floating)
{
    const auto* g = gui();
    guiCreated = g != nullptr && g->create (instance, api, floating);
    return guiCreated;
}

void ClapTestHost::destroyGui()
{
    if (guiCreated)
        gui()->destroy (instance);

    guiCreated = false;
}

void ClapTestHost::destroyPlugin()
{
    if (instance == nullptr)
        return;

    destroyGui();
    deactivate();
    instance->destroy (instance);
    instance = nullptr;
    guiCreated = false;
}

clap_process_status ClapTestHost::process (float* const* inputs, float* const* outputs, uint32_t channels,
                                           uint32_t frames, const ClapInputEvents* events,
                                           const clap_event_transport* transport) noexcept
{
    const AudioThreadScope audio;
    clap_audio_buffer in { const_cast<float**> (inputs), nullptr, channels, 0, 0 };
    clap_audio_buffer out { const_cast<float**> (outputs), nullptr, channels, 0, 0 };

    const clap_process p { steadyTime.fetch_add (frames), frames, transport, &in, &out, 1, 1,
                           events != nullptr ? events->list() : &noEvents, &outList };
    return instance->process (instance, &p);
}

void ClapTestHost::flush (const ClapInputEvents* events)
{
    const auto* in = events != nullptr ? events->list() : &noEvents;
    const auto* p = params();

    if (p == nullptr)
        return;

    ++tally.flushes;

    if (active)
        onAudioThread ([&] { p->flush (instance, in, &outList); });
    else
        p->flush (instance, in, &outList);
}

void ClapTestHost::onAudioThread (const std::function<void()>& job)
{
    std::thread thread ([&job]
    {
        const AudioThreadScope audio;
        job();
    });
    thread.join();
}

std::vector<OutEvent> ClapTestHost::takeOutEvents()
{
    std::vector<OutEvent> taken (outEvents.begin(), outEvents.end());
    outEvents.clear();
    return taken;
}

bool ClapTestHost::pushOutEvent (const clap_output_events* list, const clap_event_header* e)
{
    auto& self = *static_cast<ClapTestHost*> (list->ctx);

    if (e == nullptr || self.outEvents.size() == self.outEvents.capacity())
        return false;

    OutEvent out;
    out.type = e->type;
    out.space = e->space_id;
    out.time = e->time;

    if (e->space_id == CLAP_CORE_EVENT_SPACE_ID)
    {
        if (e->type == CLAP_EVENT_PARAM_VALUE && e->size >= sizeof (clap_event_param_value))
        {
            const auto* v = reinterpret_cast<const clap_event_param_value*> (e);
            out.param = v->param_id;
            out.value = v->value;
        }
        else if ((e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || e->type == CLAP_EVENT_PARAM_GESTURE_END)
                 && e->size >= sizeof (clap_event_param_gesture))
        {
            out.param = reinterpret_cast<const clap_event_param_gesture*> (e)->param_id;
        }
    }

    self.outEvents.push_back (out);
    return true;
}

//==============================================================================
void ClapTestHost::runMainLoop (int milliseconds, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (milliseconds);

    for (;;)
    {
        bool handledRequest = false;

        for (auto* h : std::vector<ClapTestHost*> (liveHosts))
            handledRequest = h->handleRequests() || handledRequest;

        if (done && done())
            return;

        if (std::chrono::steady_clock::now() >= end)
            return;

        auto next = end;

        for (const auto* h : liveHosts)
            for (const auto& t : h->liveTimers)
                next = std::min (next, t.due);

        std::vector<pollfd> polled;
        std::vector<ClapTestHost*> owners;

        for (auto* h : liveHosts)
        {
            for (const auto& f : h->liveFds)
            {
                short events = 0;
                events |= (f.flags & CLAP_POSIX_FD_READ) != 0 ? POLLIN : 0;
                events |= (f.flags & CLAP_POSIX_FD_WRITE) != 0 ? POLLOUT : 0;
                polled.push_back ({ f.fd, events, 0 });
                owners.push_back (h);
            }
        }

        // Requests that arrive during the wait are answered within 5 ms.
        const int timeout = handledRequest ? 0 : std::min (5, millisecondsUntil (next));
        const int ready = poll (polled.data(), polled.size(), timeout);

        for (size_t i = 0; ready > 0 && i < polled.size(); ++i)
        {
            if (polled[i].revents == 0)
                continue;

            auto* h = owners[i];
            const int fd = polled[i].fd;

            // An earlier callback in this round may have unregistered it.
            if (h->instance == nullptr
                || std::none_of (h->liveFds.begin(), h->liveFds.end(), [fd] (const Fd& f) { return f.fd == fd; }))
                continue;

            clap_posix_fd_flags_t flags = 0;
            flags |= (polled[i].revents & POLLIN) != 0 ? (clap_posix_fd_flags_t) CLAP_POSIX_FD_READ : 0u;
            flags |= (polled[i].revents & POLLOUT) != 0 ? (clap_posix_fd_flags_t) CLAP_POSIX_FD_WRITE : 0u;
            flags |= (polled[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 ? (clap_posix_fd_flags_t) CLAP_POSIX_FD_ERROR : 0u;

            if ((polled[i].revents & POLLNVAL) != 0)
                h->recordMisuse ("registered fd " + std::to_string (fd) + " is not open");

            if (const auto* ext = h->extension<clap_plugin_posix_fd_support> (CLAP_EXT_POSIX_FD_SUPPORT))
            {
                ++h->tally.fdCallbacks;
                ext->on_fd (h->instance, fd, flags);
            }
            else
            {
                h->recordMisuse ("fd registered without clap.posix-fd-support");
            }
        }

        const auto now = std::chrono::steady_clock::now();

        for (auto* h : std::vector<ClapTestHost*> (liveHosts))
        {
            std::vector<clap_id> due;

            for (auto& t : h->liveTimers)
            {
                if (t.due <= now)
                {
                    due.push_back (t.id);
                    t.due = now + std::chrono::milliseconds (std::max<uint32_t> (1, t.periodMs));
                }
            }

            for (const auto id : due)
            {
                if (h->instance == nullptr
                    || std::none_of (h->liveTimers.begin(), h->liveTimers.end(), [id] (const Timer& t) { return t.id == id; }))
                    continue;

                if (const auto* ext = h->extension<clap_plugin_timer_support> (CLAP_EXT_TIMER_SUPPORT))
                {
                    ++h->tally.timerCallbacks;
                    ext->on_timer (h->instance, id);
                }
                else
                {
                    h->recordMisuse ("timer registered without clap.timer-support");
                }
            }
        }
    }
}

bool ClapTestHost::handleRequests()
{
    if (instance == nullptr)
        return false;

    bool handled = false;

    if (callbackRequested.exchange (false))
    {
        instance->on_main_thread (instance);
        handled = true;
    }

    // While processing, the next process call takes the plug-in's events.
    if (! processing && flushRequested.exchange (false))
    {
        flush();
        handled = true;
    }

    return handled;
}

//==============================================================================
std::vector<std::string> ClapTestHost::misuse() const
{
    const std::lock_guard<std::mutex> lock (recordLock);
    return misuseLines;
}

std::vector<std::pair<clap_log_severity, std::string>> ClapTestHost::logLines() const
{
    const std::lock_guard<std::mutex> lock (recordLock);
    return logged;
}

bool ClapTestHost::isMainThread() noexcept
{
    return std::this_thread::get_id() == mainThreadId;
}

bool ClapTestHost::isAudioThread() noexcept
{
    return runningAsAudioThread;
}

void ClapTestHost::recordMisuse (const std::string& what) const
{
    const std::lock_guard<std::mutex> lock (recordLock);
    misuseLines.push_back (what);
}

void ClapTestHost::requireMainThread (const char* call) const
{
    if (! isMainThread())
        recordMisuse (std::string (call) + " called off the main thread");
}

ClapTestHost& ClapTestHost::from (const clap_host* host)
{
    return *static_cast<ClapTestHost*> (host->host_data);
}

const void* ClapTestHost::getExtension (const clap_host* h, const char* id)
{
    const auto& self = from (h);
    const std::string name (id != nullptr ? id : "");

    if (name == CLAP_EXT_THREAD_CHECK)       return &threadCheck;
    if (name == CLAP_EXT_GUI)                return &hostGui;
    if (name == CLAP_EXT_PARAMS)             return &hostParams;
    if (name == CLAP_EXT_STATE)              return &hostState;
    if (name == CLAP_EXT_LATENCY)            return &hostLatency;
    if (name == CLAP_EXT_AUDIO_PORTS)        return &hostAudioPorts;
    if (name == CLAP_EXT_AUDIO_PORTS_CONFIG) return &hostPortsConfig;
    if (name == CLAP_EXT_LOG)                return &hostLog;
    if (name == CLAP_EXT_TIMER_SUPPORT)      return self.options.timerSupport ? &timerSupport : nullptr;
    if (name == CLAP_EXT_POSIX_FD_SUPPORT)   return self.options.posixFdSupport ? &posixFdSupport : nullptr;
    return nullptr;
}

void ClapTestHost::requestRestart (const clap_host* h)    { ++from (h).tally.restartRequests; }
void ClapTestHost::requestProcess (const clap_host* h)    { ++from (h).tally.processRequests; }

void ClapTestHost::requestCallback (const clap_host* h)
{
    auto& self = from (h);
    self.callbackRequested = true;
    ++self.tally.callbackRequests;
}

} // namespace quorvel::clap_test
