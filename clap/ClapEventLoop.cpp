#include "ClapEventLoop.h"

namespace juce
{
    // The framework's Linux run loop: dispatches every ready descriptor, optionally waiting.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

ClapEventLoop::ClapEventLoop (const clap_host_t& hostToUse) : host (hostToUse)
{
    if (host.get_extension != nullptr)
    {
        timers = static_cast<const clap_host_timer_support_t*> (host.get_extension (&host, CLAP_EXT_TIMER_SUPPORT));
        fds = static_cast<const clap_host_posix_fd_support_t*> (host.get_extension (&host, CLAP_EXT_POSIX_FD_SUPPORT));
    }

    if (timers != nullptr && (timers->register_timer == nullptr || timers->unregister_timer == nullptr))
        timers = nullptr;

    if (fds != nullptr && (fds->register_fd == nullptr || fds->unregister_fd == nullptr))
        fds = nullptr;
}

ClapEventLoop::~ClapEventLoop()
{
    jassert (! attached);
    detach();
}

void ClapEventLoop::attach()
{
    if (attached)
        return;

    attached = true;

    if (timers != nullptr)
        hasTimer = timers->register_timer (&host, timerPeriodMs, &timerId);

    juce::LinuxEventLoopInternal::registerLinuxEventLoopListener (*this);
    synchroniseFds();
}

void ClapEventLoop::detach()
{
    if (! attached)
        return;

    attached = false;
    juce::LinuxEventLoopInternal::deregisterLinuxEventLoopListener (*this);

    if (fds != nullptr)
        for (auto fd : registeredFds)
            fds->unregister_fd (&host, fd);

    registeredFds.clear();

    if (hasTimer)
        timers->unregister_timer (&host, timerId);

    hasTimer = false;
}

void ClapEventLoop::onTimer (clap_id id)
{
    if (attached && hasTimer && id == timerId)
        dispatchPending();
}

void ClapEventLoop::onFd (int fd, clap_posix_fd_flags_t)
{
    if (attached && registeredFds.count (fd) != 0)
        juce::LinuxEventLoopInternal::invokeEventLoopCallbackForFd (fd);
}

void ClapEventLoop::dispatchPending()
{
    // Each round serves every descriptor that is ready once; a few rounds drain what the
    // callbacks themselves post, and the bound keeps a flood from holding the host's thread.
    for (int round = 0; round < 8; ++round)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            return;
}

void ClapEventLoop::fdCallbacksChanged()
{
    synchroniseFds();
}

void ClapEventLoop::synchroniseFds()
{
    if (! attached || fds == nullptr)
        return;

    const auto current = juce::LinuxEventLoopInternal::getRegisteredFds();
    const std::set<int> wanted (current.begin(), current.end());

    for (auto it = registeredFds.begin(); it != registeredFds.end();)
    {
        if (wanted.count (*it) == 0)
        {
            fds->unregister_fd (&host, *it);
            it = registeredFds.erase (it);
        }
        else
        {
            ++it;
        }
    }

    for (auto fd : wanted)
        if (registeredFds.count (fd) == 0 && fds->register_fd (&host, fd, CLAP_POSIX_FD_READ))
            registeredFds.insert (fd);
}
