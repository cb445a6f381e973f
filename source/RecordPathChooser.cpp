#include "RecordPathChooser.h"

namespace
{

class FrameworkFolderChooser final : public RecordPathChooser
{
public:
    void browse (std::function<void (const juce::File&)> onChosen) override
    {
        // At most one chooser: a new request destroys the open one.
        chooser = std::make_unique<juce::FileChooser> ("Select recording directory for dragged audio files...",
                                                       juce::File::getSpecialLocation (juce::File::userHomeDirectory),
                                                       juce::String(), true, false, nullptr);

        chooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                              [callback = std::move (onChosen)] (const juce::FileChooser& c)
                              {
                                  if (callback)
                                      callback (c.getResult());
                              });
    }

private:
    std::unique_ptr<juce::FileChooser> chooser;
};

} // namespace

std::unique_ptr<RecordPathChooser> RecordPathChooser::createDefault()
{
    return std::make_unique<FrameworkFolderChooser>();
}
