#include "Theme.h"

namespace varrow
{

const std::array<Theme, Theme::count>& Theme::all() noexcept
{
    static const std::array<Theme, count> themes {{
        { "Carbon",  { 40, 40, 40 },    { 80, 80, 80 },    { 80, 150, 240, 51 },  32,  false, { 200, 200, 200 }, 0.3f, 0.32f, false, 0, { 80, 150, 240 } },
        { "Rainbow", { 32, 32, 32 },    { 58, 42, 61 },    { 250, 217, 27, 46 },  20,  false, { 0, 0, 0 },       0.3f, 0.32f, true,  1, { 231, 197, 5 } },
        { "Bright",  { 236, 234, 223 }, { 120, 120, 120 }, { 0, 0, 0, 51 },       100, true,  { 20, 20, 20 },    0.3f, 0.32f, false, 0, { 100, 100, 100 } },
        { "Vintage", { 30, 24, 27 },    { 64, 47, 57 },    { 208, 190, 146, 51 }, 28,  false, { 144, 79, 116 },  0.3f, 0.32f, false, 0, { 208, 190, 146 } },
        { "Lemon",   { 40, 40, 40 },    { 80, 80, 80 },    { 255, 229, 102, 51 }, 20,  false, { 20, 20, 20 },    0.6f, 0.62f, true,  2, { 255, 229, 102 } },
    }};

    return themes;
}

void Theme::paintButtonFace (juce::Graphics& g, juce::Rectangle<int> bounds) const
{
    g.setColour (background.toJuceColor());
    g.fillRect (bounds);
    g.setColour (frame.toJuceColor());
    g.drawRect (bounds.toFloat(), 1.0f);
}

int Theme::indexForNumber (int number) noexcept
{
    return number >= 2 && number <= count ? number - 1 : 0;
}

} // namespace varrow
