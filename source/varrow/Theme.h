#pragma once

#include "RGB.h"

#include <array>

namespace varrow
{

/** Every colour of one look of the view, the editor's background and its buttons. */
struct Theme
{
    const char* name;
    RGB background;         // editor background, button faces, the fade ahead of the write head
    RGB frame;              // outline of the waveform area and of the buttons
    RGB selection;          // selection fill, with its own alpha
    int bandAlpha;          // alpha of the zoom band where it starts
    bool light;             // light background
    RGB waveform;           // waveform outline and fill when the palette is off
    float fillOpacity;      // waveform fill, unzoomed
    float zoomedFillOpacity;
    bool usesPalette;       // draw with palette (t, paletteType) instead of the waveform colour
    int paletteType;
    RGB accent;             // write head, zoom band, rubber band centre

    /** Paints a corner button's face: the background with the frame around it. */
    void paintButtonFace (juce::Graphics& g, juce::Rectangle<int> bounds) const;

    static constexpr int count = 5;

    /** The five themes in the order of their stored numbers 1 to 5. */
    static const std::array<Theme, count>& all() noexcept;

    /** The index into all() of a stored theme number: 2 to 5 are themselves, anything else Carbon. */
    static int indexForNumber (int number) noexcept;
};

} // namespace varrow
