#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "X11ErrorFilter.h"

#include <juce_gui_basics/juce_gui_basics.h>
#include <cstdio>

namespace
{
using ErrorHandler = int (*) (::Display*, XErrorEvent*);

struct FilterState
{
    int users = 0;
    ErrorHandler hostHandler = nullptr;   // nullptr: Xlib's default, which prints and exits
};

FilterState& filterState()
{
    static FilterState state;
    return state;
}

::Display* frameworkDisplay()
{
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();
    return windowSystem != nullptr ? windowSystem->getDisplay() : nullptr;
}

int filterError (::Display* display, XErrorEvent* event)
{
    if (display == frameworkDisplay())
        return 0;

    if (auto* host = filterState().hostHandler)
        return host (display, event);

    // What Xlib's default handler does.
    char text[256] = {};
    juce::X11Symbols::getInstance()->xGetErrorText (display, event->error_code, text, (int) sizeof (text) - 1);
    std::fprintf (stderr, "X Error of failed request: %s (request %d.%d, resource 0x%lx)\n",
                  text, (int) event->request_code, (int) event->minor_code, event->resourceid);
    std::exit (1);
}
} // namespace

X11ErrorFilter::X11ErrorFilter()
{
    auto& state = filterState();

    if (state.users++ == 0)
        state.hostHandler = juce::X11Symbols::getInstance()->xSetErrorHandler (filterError);
}

X11ErrorFilter::~X11ErrorFilter()
{
    auto& state = filterState();

    if (--state.users > 0)
        return;

    // Put the host's handler back, unless the host has installed another one meanwhile.
    auto* symbols = juce::X11Symbols::getInstance();
    const auto current = symbols->xSetErrorHandler (state.hostHandler);

    if (current != filterError)
        symbols->xSetErrorHandler (current);

    state.hostHandler = nullptr;
}

void X11ErrorFilter::synchronise()
{
    if (auto* display = frameworkDisplay())
        juce::X11Symbols::getInstance()->xSync (display, False);
}
