#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace varrow
{

/** Shows the view's pop-up menus. The default opens the framework's asynchronous pop-up at
    the pointer; tests record which menu was asked for and choose an item themselves. */
class MenuPresenter
{
public:
    enum class Menu
    {
        settings,
        trim,
        hideButton
    };

    virtual ~MenuPresenter() = default;

    /** Shows the menu; onChosen receives the chosen item's Id, or 0 when it was dismissed. */
    virtual void show (Menu which, juce::PopupMenu& menu, std::function<void (int)> onChosen) = 0;

    static MenuPresenter& popup();
};

} // namespace varrow
