#include "Background.h"
#include "varrow/TestComponent.h"

Background::Background (const varrow::TestComponent* v) : view (v)
{
    setOpaque (true);
    setBufferedToImage (true);
    setInterceptsMouseClicks (false, false);
}

Background::~Background() = default;

void Background::paint (juce::Graphics& g)
{
    jassert (view != nullptr);
    const auto& theme = view->getTheme();

    g.fillAll (theme.background.toJuceColor());
    g.setColour (theme.frame.toJuceColor());
    g.drawRect (juce::Rectangle<float> (5.0f, 5.0f, (float) getWidth() - 10.0f, (float) getHeight() - 10.0f), 1.0f);
}
