#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "X11ErrorTrap.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
int ignoreError (::Display*, XErrorEvent*)
{
    return 0;
}
} // namespace

void X11ErrorTrap::runIgnoringErrors (const std::function<void()>& work)
{
    auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();
    auto* display = windowSystem != nullptr ? windowSystem->getDisplay() : nullptr;

    if (display == nullptr)
    {
        work();
        return;
    }

    // Errors already on their way belong to the host; ours are flushed before its handler returns.
    auto* symbols = juce::X11Symbols::getInstance();
    symbols->xSync (display, False);
    const auto previous = symbols->xSetErrorHandler (ignoreError);

    work();

    symbols->xSync (display, False);
    symbols->xSetErrorHandler (previous);
}
