#include "MenuPresenter.h"

namespace varrow
{

namespace
{

class PopupPresenter final : public MenuPresenter
{
public:
    void show (Menu, juce::PopupMenu& menu, std::function<void (int)> onChosen) override
    {
        menu.showMenuAsync (juce::PopupMenu::Options(), std::move (onChosen));
    }
};

} // namespace

MenuPresenter& MenuPresenter::popup()
{
    static PopupPresenter presenter;
    return presenter;
}

} // namespace varrow
