#pragma once

#include "ClapPosixFdSupport.h"
#include <clap/ext/timer-support.h>
#include <juce_events/juce_events.h>
#include <juce_events/native/juce_linux_EventLoopInternal.h>
#include <set>

/** Runs the framework's message loop inside the host's main-thread run loop.

    A plug-in has no loop of its own: the framework's messages, timers and X11 events arrive on
    file descriptors (the message queue's socket, the X display). Each descriptor is registered
    with the host for reading, and the host's callback dispatches it; a periodic host timer also
    drains whatever is pending, for hosts without descriptor support and for events Xlib has
    already read into its own queue. The set of descriptors changes (the X display opens with the
    first window), so the loop follows the framework's notifications.

    Every instance keeps its own registrations, so closing one of two instances leaves the other
    one served. `detach` removes them all and must run before the instance goes.
*/
class ClapEventLoop final : private juce::LinuxEventLoopInternal::Listener
{
public:
    explicit ClapEventLoop (const clap_host_t& host);
    ~ClapEventLoop() override;

    /** True when the host can run the framework's events (timer or descriptor support). */
    bool canDriveEvents() const noexcept   { return timers != nullptr || fds != nullptr; }

    void attach();
    void detach();

    /** The host's callbacks, forwarded by the plug-in. */
    void onTimer (clap_id timerId);
    void onFd (int fd, clap_posix_fd_flags_t flags);

    /** Dispatches everything that is ready now, without waiting. */
    static void dispatchPending();

    static constexpr uint32_t timerPeriodMs = 10;

private:
    void fdCallbacksChanged() override;
    void synchroniseFds();

    const clap_host_t& host;
    const clap_host_timer_support_t* timers = nullptr;
    const clap_host_posix_fd_support_t* fds = nullptr;

    bool attached = false;
    bool hasTimer = false;
    clap_id timerId = 0;
    std::set<int> registeredFds;
};
