#include "ManualOpener.h"

#include <unistd.h>

namespace
{

/** Whether a program of that name can be run from the search path. The framework's child
    process cannot tell a program that is missing from one that failed. */
bool isOnSearchPath (const juce::String& name)
{
    const auto path = juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/local/bin:/usr/bin:/bin");

    for (const auto& folder : juce::StringArray::fromTokens (path, ":", {}))
        if (folder.isNotEmpty() && ::access (juce::File (folder).getChildFile (name).getFullPathName().toRawUTF8(), X_OK) == 0)
            return true;

    return false;
}

/** Runs xdg-open and watches it from the message thread. xdg-open returns at once with an error
    when there is nothing to open the page with; with a browser that keeps it waiting until the
    browser closes, a run that lasts counts as a success. */
class XdgOpen final : public ManualOpener,
                      private juce::Timer
{
public:
    ~XdgOpen() override   { stopTimer(); }

    void open (const juce::File& page, std::function<void (const juce::String&)> onFailed) override
    {
        stopTimer();
        failed = std::move (onFailed);
        process = std::make_unique<juce::ChildProcess>();

        if (! isOnSearchPath ("xdg-open") || ! process->start (juce::StringArray { "xdg-open", page.getFullPathName() }, 0))
        {
            process.reset();
            report ("xdg-open could not be started");
            return;
        }

        waitedMs = 0;
        startTimer (pollMs);
    }

private:
    void timerCallback() override
    {
        waitedMs += pollMs;

        if (process->isRunning())
        {
            if (waitedMs >= patienceMs)
                stopTimer();

            return;
        }

        stopTimer();
        const auto code = process->getExitCode();

        if (code != 0)
            report ("xdg-open ended with code " + juce::String (code)
                    + (code == 3 ? " (no program to open web pages with was found)" : ""));
    }

    void report (const juce::String& cause)
    {
        if (auto callback = std::exchange (failed, nullptr))
            callback (cause);
    }

    static constexpr int pollMs = 100;
    static constexpr int patienceMs = 15000;

    std::unique_ptr<juce::ChildProcess> process;
    std::function<void (const juce::String&)> failed;
    int waitedMs = 0;
};

} // namespace

juce::File ManualOpener::findPage() const
{
    return findPageFrom (juce::File::getSpecialLocation (juce::File::currentExecutableFile));
}

juce::File ManualOpener::findPageFrom (const juce::File& program)
{
    const auto beside = program.getSiblingFile ("manual.html");

    if (beside.existsAsFile())
        return beside;

    // bin/Quorvel, lib/clap/Quorvel.clap and the bundles' libraries lie a few folders below
    // their installation prefix.
    auto folder = program.getParentDirectory();

    for (int level = 0; level < 6 && folder != folder.getParentDirectory(); ++level, folder = folder.getParentDirectory())
    {
        const auto installed = folder.getChildFile ("share/doc/quorvel/manual.html");

        if (installed.existsAsFile())
            return installed;
    }

    // Plug-ins installed for one user (~/.clap, ~/.vst3, ~/.lv2) find the manual that the
    // per-user install puts in the user's data folder.
    const auto dataHome = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});
    const auto userData = dataHome.startsWithChar ('/') ? juce::File (dataHome) : juce::File ("~/.local/share");
    const auto forUser = userData.getChildFile ("doc/quorvel/manual.html");

    if (forUser.existsAsFile())
        return forUser;

    for (const auto* prefix : { "/usr/local", "/usr" })
    {
        const auto installed = juce::File (prefix).getChildFile ("share/doc/quorvel/manual.html");

        if (installed.existsAsFile())
            return installed;
    }

    return beside;
}

std::unique_ptr<ManualOpener> ManualOpener::createDefault()
{
    return std::make_unique<XdgOpen>();
}
