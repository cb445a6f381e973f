#include "StandaloneShell.h"

#include <atomic>

namespace varrow
{

namespace
{

/** The plug-in's: no view lies in a standalone window. */
class NoWindow final : public StandaloneShell
{
public:
    bool hasWindow (juce::Component&) override                  { return false; }
    int titleBarHeight (juce::Component&) override              { return 0; }
    void setTitleBarHeight (juce::Component&, int) override     {}
    void showAudioSettings (juce::Component&) override          {}
    void saveState (juce::Component&) override                  {}
    void quit() override                                        { juce::JUCEApplicationBase::quit(); }
};

std::atomic<StandaloneShell*> installed { nullptr };

} // namespace

StandaloneShell& StandaloneShell::current() noexcept
{
    static NoWindow noWindow;

    if (auto* shell = installed.load())
        return *shell;

    return noWindow;
}

void StandaloneShell::install (StandaloneShell* shell) noexcept
{
    installed.store (shell);
}

} // namespace varrow
