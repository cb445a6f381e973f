#include "StandaloneFilterApp.h"
#include "AudioPluginAudioProcessor.h"
#include "ValueParsing.h"

namespace juce
{

namespace
{

const String productName { "Quorvel" };

bool readBool (const PropertiesFile& file, StringRef key)
{
    return file.containsKey (key) && ValueParsing::parseInt (file.getValue (key)) != 0;
}

} // namespace

StandaloneFilterApp::StandaloneFilterApp()
{
    // The processor reads its wrapper type while it is being constructed.
    PluginHostType::jucePlugInClientCurrentWrapperType = AudioProcessor::wrapperType_Standalone;

    PropertiesFile::Options options;
    options.applicationName = productName + " Standalone";
    options.filenameSuffix = ".settings";
    options.osxLibrarySubFolder = "Application Support/Varrow's/" + productName;
    options.folderName = "~/.config/Varrow's/" + productName;
    appProperties.setStorageParameters (options);
}

StandaloneFilterApp::~StandaloneFilterApp() = default;

const String StandaloneFilterApp::getApplicationName()        { return productName; }
const String StandaloneFilterApp::getApplicationVersion()     { return JucePlugin_VersionString; }
bool StandaloneFilterApp::moreThanOneInstanceAllowed()        { return true; }
void StandaloneFilterApp::anotherInstanceStarted (const String&) {}

StandaloneFilterWindow* StandaloneFilterApp::createWindow()
{
    return new StandaloneFilterWindow (getApplicationName(),
                                       LookAndFeel::getDefaultLookAndFeel().findColour (ResizableWindow::backgroundColourId),
                                       appProperties.getUserSettings(), false);
}

void StandaloneFilterApp::initialise (const String&)
{
    mainWindow.reset (createWindow());
    applyWindowPreferences();
    mainWindow->setVisible (true);
}

void StandaloneFilterApp::applyWindowPreferences()
{
    // Saved at once, so that the folder and the file exist from the first start.
    PropertiesFile preferences (AudioPluginAudioProcessor::preferencesFileOptions());
    preferences.save();

    if (readBool (preferences, "Borderless Window"))
        StandaloneWindowShell::setTitleBarHeight (*mainWindow, 0);

    if (readBool (preferences, "Pin"))
        mainWindow->setAlwaysOnTop (true);
}

void StandaloneFilterApp::shutdown()
{
    reportXRuns();

    // Every way out passes here, ctrl+c in a terminal too; not only the close button and "Quit".
    if (mainWindow != nullptr)
        mainWindow->pluginHolder->savePluginState();

    mainWindow = nullptr;
    appProperties.saveIfNeeded();
}

void StandaloneFilterApp::reportXRuns() const
{
    // Long runs on a test server ask for the audio device's count of missed deadlines.
    const auto path = SystemStats::getEnvironmentVariable ("QUORVEL_XRUN_REPORT", {});

    if (path.isEmpty() || mainWindow == nullptr)
        return;

    const auto* device = mainWindow->getDeviceManager().getCurrentAudioDevice();
    File (path).replaceWithText (device != nullptr ? device->getTypeName() + " " + device->getName() + "\nxruns "
                                                         + String (device->getXRunCount()) + "\n"
                                                   : String ("no device\n"),
                 false, false, "\n");
}

void StandaloneFilterApp::systemRequestedQuit()
{
    if (mainWindow != nullptr)
        mainWindow->pluginHolder->savePluginState();

    if (ModalComponentManager::getInstance()->cancelAllModalComponents())
    {
        Timer::callAfterDelay (100, []
        {
            if (auto* app = JUCEApplicationBase::getInstance())
                app->systemRequestedQuit();
        });
    }
    else
    {
        quit();
    }
}

} // namespace juce

juce::JUCEApplicationBase* juce_CreateApplication();
juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new juce::StandaloneFilterApp();
}
