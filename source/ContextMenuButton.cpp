#include "ContextMenuButton.h"
#include "varrow/TestComponent.h"

ContextMenuButton::ContextMenuButton (varrow::TestComponent& v) : view (v) {}
ContextMenuButton::~ContextMenuButton() = default;

void ContextMenuButton::paint (juce::Graphics& g)
{
    const auto& theme = view.getTheme();
    const auto w = (float) getWidth(), h = (float) getHeight();

    theme.paintButtonFace (g, getLocalBounds());

    const float cx = w * 0.5f;
    g.setColour (theme.accent.toJuceColor().withAlpha (0.75f));
    g.drawLine (cx - 3.0f, 8.0f, cx, h - 8.0f, 1.5f);
    g.drawLine (cx, h - 8.0f, cx + 3.0f, 8.0f, 1.5f);
}

void ContextMenuButton::mouseDown (const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown())
        view.showHideContextButtonMenu();
    else
        view.showContextMenu();
}
