#include "UserMessages.h"

namespace
{

class AlertWindowMessages final : public UserMessages
{
public:
    void show (juce::MessageBoxIconType icon, const juce::String& title,
               const juce::String& text, std::function<void()> onDismissed) override
    {
        // A host without a display (a scanner, a validator, a build step) can show nothing;
        // a window there would have no screen to be placed on.
        if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
            return;

        const auto options = juce::MessageBoxOptions()
                                 .withIconType (icon)
                                 .withTitle (title)
                                 .withMessage (text)
                                 .withButton ("OK");

        juce::AlertWindow::showAsync (options, [callback = std::move (onDismissed)] (int)
        {
            if (callback)
                callback();
        });
    }
};

} // namespace

std::unique_ptr<UserMessages> UserMessages::createDefault()
{
    return std::make_unique<AlertWindowMessages>();
}
