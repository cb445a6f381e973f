#include "PlayButton.h"
#include "AudioPluginAudioProcessor.h"
#include "varrow/TestComponent.h"

PlayButton::PlayButton (varrow::TestComponent& v) : view (v) {}
PlayButton::~PlayButton() = default;

juce::Colour PlayButton::dotColour (const varrow::Theme& theme, bool frozen) noexcept
{
    if (! frozen)
        return juce::Colour (0xff873234);

    // Lighter on dark themes, darker on light ones; each channel wraps within a byte.
    const int shift = theme.light ? -20 : 10;
    const auto channel = [shift] (int v) { return (juce::uint8) ((v + shift + 256) % 256); };
    return juce::Colour (channel (theme.background.r), channel (theme.background.g), channel (theme.background.b));
}

void PlayButton::paint (juce::Graphics& g)
{
    const auto& theme = view.getTheme();
    const auto w = (float) getWidth(), h = (float) getHeight();

    theme.paintButtonFace (g, getLocalBounds());
    g.setColour (dotColour (theme, view.isFrozen()));
    g.fillEllipse (6.0f, 6.0f, w - 12.0f, h - 12.0f);
}

void PlayButton::mouseDown (const juce::MouseEvent&)
{
    view.pause();
    repaint();
}
