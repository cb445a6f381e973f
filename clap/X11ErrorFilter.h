#pragma once

/** Keeps the X errors of the framework's own display connection from the host.

    In a plug-in the framework leaves X error handling to the host, so the host's handler sees
    the framework's errors too: errors on a display without a window manager, and, when the host
    destroys the window our editor lives in before destroying the editor, every later request on
    our own window (Xlib's default handler would end the host on the first one). While an editor
    exists, a filter sits in front of the host's handler: errors on the framework's connection
    are dropped, every other error goes on to the handler the host had.
*/
class X11ErrorFilter
{
public:
    X11ErrorFilter();
    ~X11ErrorFilter();

    /** Waits until the X server has answered every request made on the framework's connection,
        so that their errors arrive while the filter is still in place. */
    static void synchronise();

    X11ErrorFilter (const X11ErrorFilter&) = delete;
    X11ErrorFilter& operator= (const X11ErrorFilter&) = delete;
};
