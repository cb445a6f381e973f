#include "UserMessages.h"

namespace
{

class AlertWindowMessages final : public UserMessages
{
public:
    void show (juce::MessageBoxIconType icon, const juce::String& title,
               const juce::String& text, std::function<void()> onDismissed) override
    {
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
