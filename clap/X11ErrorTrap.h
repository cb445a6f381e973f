#pragma once

#include <functional>

/** Runs window teardown with X errors kept from the host.

    In a plug-in the framework leaves X error handling to the host. When the host has already
    destroyed the window ours lives in, destroying ours fails with an X error that the host's
    handler would report (or, with Xlib's default handler, end the host on). The errors of that
    one piece of work are swallowed instead.
*/
class X11ErrorTrap
{
public:
    static void runIgnoringErrors (const std::function<void()>& work);
};
