#include "varrow/RGB.h"
#include "varrow/Theme.h"
#include "varrow/ViewGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using varrow::ViewGeometry;
using varrow::ViewWindow;
using Mark = ViewGeometry::Mark;

namespace
{

const varrow::WaveformArea area { 5, 5, 990, 79 };
const ViewWindow unzoomed {};

} // namespace

TEST (ViewGeometry, TheAreaIsInsetByTheMarginAndNoWiderThanTheColumns)
{
    const auto a = ViewGeometry::areaFor (1000, 89, 990, 5);
    EXPECT_EQ (a.x, 5);
    EXPECT_EQ (a.y, 5);
    EXPECT_EQ (a.width, 990);
    EXPECT_EQ (a.height, 79);
    EXPECT_EQ (ViewGeometry::areaFor (1000, 89, 500, 5).width, 500);   // the columns lag a resize
}

TEST (ViewGeometry, ZoomingTwiceMultipliesTheWidths)
{
    const auto first = ViewGeometry::zoomIn (0.5f, 0.5f, 990, unzoomed);
    ASSERT_TRUE (first.has_value());
    EXPECT_EQ (first->offset, 0.5);
    EXPECT_EQ (first->width, 0.5);

    const auto second = ViewGeometry::zoomIn (0.25f, 0.5f, 990, { 0.5, 0.5, true, 0.0f });
    ASSERT_TRUE (second.has_value());
    EXPECT_EQ (second->offset, 0.625);
    EXPECT_EQ (second->width, 0.25);
}

TEST (ViewGeometry, ZoomInAddsTheRotationOnlyWhileUnzoomed)
{
    EXPECT_NEAR (ViewGeometry::zoomIn (0.25f, 0.5f, 990, { 0.0, 1.0, false, 0.5f })->offset, 0.75, 1.0e-7);
    EXPECT_EQ (ViewGeometry::zoomIn (0.25f, 0.5f, 990, { 0.2, 0.5, true, 0.5f })->offset, 0.2 + 0.5 * 0.25);
}

TEST (ViewGeometry, SelectionsNarrowerThanAPixelOrOfTheWholeViewDoNotZoom)
{
    EXPECT_FALSE (ViewGeometry::zoomIn (0.1f, 0.5f / 990.0f, 990, unzoomed).has_value());
    EXPECT_FALSE (ViewGeometry::zoomIn (0.1f, -0.2f, 990, unzoomed).has_value());
    EXPECT_FALSE (ViewGeometry::zoomIn (0.0f, 1.0f, 990, unzoomed).has_value());
    EXPECT_TRUE (ViewGeometry::zoomIn (0.1f, 2.0f / 990.0f, 990, unzoomed).has_value());
}

TEST (ViewGeometry, AWindowPastTheRingsEndShowsItsBeginningOnTheRight)
{
    const ViewWindow window { 0.9, 0.3, true, 0.0f };

    EXPECT_NEAR (*ViewGeometry::viewFractionOf (0.05, window, Mark::writeHead), 0.5, 1.0e-12);   // just after 0
    EXPECT_NEAR (*ViewGeometry::viewFractionOf (0.95, window, Mark::writeHead), 1.0 / 6.0, 1.0e-12);
    EXPECT_FALSE (ViewGeometry::viewFractionOf (0.5, window, Mark::writeHead).has_value());
}

TEST (ViewGeometry, FractionsWrapOnceAndTheEdgeDependsOnWhatIsDrawn)
{
    struct Case { double p; float rotation; Mark mark; double expected; };

    for (const auto c : { Case { 0.3, 0.5f, Mark::writeHead, 0.8 },     // rotated left by half
                          Case { 0.7, 0.5f, Mark::writeHead, 0.2 },
                          Case { 0.5, 0.5f, Mark::writeHead, 0.0 },     // the head may sit at the left edge
                          Case { 0.5, 0.5f, Mark::line, 1.0 },          // a marker there is drawn at the right edge
                          Case { 0.0, 0.0f, Mark::line, 1.0 } })
    {
        EXPECT_NEAR (*ViewGeometry::viewFractionOf (c.p, { 0.0, 1.0, false, c.rotation }, c.mark), c.expected, 1.0e-7)
            << c.p << " " << c.rotation;
    }

    EXPECT_LT (*ViewGeometry::viewFractionOf (-2.0, unzoomed, Mark::line), 0.0);   // an unset marker stays out of sight
    EXPECT_FALSE (ViewGeometry::viewFractionOf (0.1, { 0.5, 0.2, true, 0.0f }, Mark::line).has_value());
}

TEST (ViewGeometry, AWriteIndexIsHeldBelowTheCapacity)
{
    struct Case { int index, capacity; double expected; };

    for (const auto c : { Case { 360000, 1440000, 0.25 }, Case { 0, 720000, 0.0 },
                          Case { 2000000, 720000, 719999.0 / 720000.0 },   // a 60 s ring's index beside a 15 s capacity
                          Case { 720000, 720000, 719999.0 / 720000.0 }, Case { -5, 100, 0.0 }, Case { 5, 0, 0.0 } })
    {
        EXPECT_EQ (ViewGeometry::ringFractionOfIndex (c.index, c.capacity), c.expected) << c.index << " " << c.capacity;
    }
}

TEST (ViewGeometry, RotationsWrapIntoOneTurnHoweverFarTheyGo)
{
    struct Case { float rotation, expected; };

    for (const auto c : { Case { -2.5f, 0.5f }, Case { 4.25f, 0.25f }, Case { -0.1f, 0.9f }, Case { 1.0f, 0.0f },
                          Case { 0.75f, 0.75f }, Case { -1.0e-9f, 0.0f },     // 1 - 1e-9 is 1 in single precision
                          Case { std::nanf (""), 0.0f }, Case { -std::numeric_limits<float>::infinity(), 0.0f } })
    {
        const float wrapped = ViewGeometry::wrapRotation (c.rotation);
        EXPECT_GE (wrapped, 0.0f) << c.rotation;
        EXPECT_LT (wrapped, 1.0f) << c.rotation;
        EXPECT_NEAR (wrapped, c.expected, 1.0e-6f) << c.rotation;
    }
}

TEST (ViewGeometry, WithoutAWaveformAreaEveryPixelLiesAtItsLeftEdge)
{
    // Views of 10 pixels or less have no area, nor has a view before its first layout.
    EXPECT_EQ (ViewGeometry::areaFor (8, 6, 0, 5).width, 0);
    EXPECT_EQ (ViewGeometry::areaFor (8, 6, 0, 5).height, 0);
    EXPECT_EQ (ViewGeometry::scrollFor (5, 0, 10), 0.0);

    for (const varrow::WaveformArea empty : { varrow::WaveformArea { 5, 5, 0, 0 }, varrow::WaveformArea { 0, 0, 0, 0 },
                                              varrow::WaveformArea { 5, 5, -2, -4 } })
    {
        for (const int x : { 0, 5, 7 })
        {
            EXPECT_EQ (ViewGeometry::viewFractionOfPixel (x, empty.x, empty.width), 0.0f) << x;
            EXPECT_EQ (ViewGeometry::ringPositionOfPixel (x, empty, unzoomed), 1.0) << x;
            EXPECT_NEAR (ViewGeometry::ringPositionOfPixel (x, empty, { 0.8, 0.4, true, 0.0f }), 1.2, 1.0e-12) << x;
        }
    }
}

TEST (ViewGeometry, PixelsRoundHalvesAwayFromZero)
{
    const varrow::WaveformArea narrow { 5, 5, 10, 10 };
    EXPECT_EQ (ViewGeometry::pixelOf (narrow, 0.25), 8);   // 7.5
    EXPECT_EQ (ViewGeometry::pixelOf (narrow, 0.35), 9);   // 8.5
    EXPECT_EQ (ViewGeometry::roundHalfAway (-2.5f), -3);
}

TEST (ViewGeometry, RingPositionOfAPixelFollowsRotationAndZoom)
{
    EXPECT_NEAR (ViewGeometry::ringPositionOfPixel (5 + 495, area, unzoomed), 0.5, 1.0e-6);
    EXPECT_NEAR (ViewGeometry::ringPositionOfPixel (5 + 495, area, { 0.0, 1.0, false, 0.75f }), 0.25, 1.0e-6);
    EXPECT_NEAR (ViewGeometry::ringPositionOfPixel (5, area, unzoomed), 1.0, 1.0e-12);   // the left edge is the ring's end
    EXPECT_NEAR (ViewGeometry::ringPositionOfPixel (5 + 495, area, { 0.8, 0.4, true, 0.75f }), 1.0, 1.0e-6);
}

TEST (ViewGeometry, VerticalOffsetsScaleByTheGainAndClampAtTheEdge)
{
    const float half = 39.5f;
    EXPECT_EQ (ViewGeometry::verticalOffset (0.6f, 2.0, half), 40);    // clamped: the top (39.5 rounds away)
    EXPECT_EQ (ViewGeometry::verticalOffset (0.25f, 2.0, half), 20);   // half-way (19.75)
    EXPECT_EQ (ViewGeometry::verticalOffset (-0.6f, 2.0, half), -40);
    EXPECT_EQ (ViewGeometry::verticalOffset (0.0f, 2.0, half), 0);
    EXPECT_EQ (ViewGeometry::verticalOffset (std::nanf (""), 1.0, half), 0);
}

TEST (ViewGeometry, HitZones)
{
    // Selection over pixels 105..205; start marker at ring 0.2 (pixel 203 unrotated); stop
    // marker at 0.7 (pixel 698).
    const float start = 0.1f, length = 100.0f / 990.0f;
    struct Case { int x, y; bool over; ViewGeometry::Zone zone; };

    for (const auto c : { Case { 150, 40, true, ViewGeometry::onSelection },
                          Case { 105, 0, true, ViewGeometry::onSelection },
                          Case { 150, -1, false, ViewGeometry::nothing },                 // above the view: not the selection...
                          Case { 220, -17, false, ViewGeometry::onMarkerHandle },         // ...but the start marker reaches 17 px above
                          Case { 220, -18, false, ViewGeometry::nothing },
                          Case { 221, 10, true, ViewGeometry::nothing },                  // 18 px to the side
                          Case { 698 + 17, 17, true, ViewGeometry::onMarkerHandle },      // 35 px wide, 17 px deep
                          Case { 698, 18, true, ViewGeometry::nothing },
                          Case { 698, -5, false, ViewGeometry::nothing },                 // the stop marker needs the pointer over the view
                          Case { 500, 40, true, ViewGeometry::nothing } })
    {
        EXPECT_EQ (ViewGeometry::hitTest ({ c.x, c.y }, c.over, area, start, length, 0.2, 0.7, unzoomed), c.zone)
            << c.x << "," << c.y;
    }

    EXPECT_EQ (ViewGeometry::hitTest ({ 105, 40 }, true, area, start, 0.0000005f, 0.2, 0.7, unzoomed), ViewGeometry::nothing);
    EXPECT_EQ (ViewGeometry::hitTest ({ 5, 0 }, true, area, 0.0f, 0.0f, -2.0, -2.0, unzoomed), ViewGeometry::nothing);
}

TEST (ViewGeometry, MarkersFarOutsideADeepZoomAreNeverUnderThePointer)
{
    // A window a billionth of the ring wide puts unset (-2) or distant markers some 1e12
    // pixels away, far beyond what an int holds.
    struct Case { double offset, width, takeStart, takeEnd; };

    for (const auto c : { Case { 0.3, 1.0e-9, -2.0, -2.0 }, Case { 0.1, 1.0e-9, 0.9, 0.9 },
                          Case { 0.95, 1.0e-9, 0.2, 0.2 }, Case { 0.3, 1.0e-9, std::nan (""), -2.0 } })
    {
        for (const juce::Point<int> pointer : { juce::Point<int> { 0, 0 }, { 5, 0 }, { 500, 10 },
                                                { std::numeric_limits<int>::min() / 2, 0 } })
        {
            EXPECT_EQ (ViewGeometry::hitTest (pointer, true, area, 0.0f, 0.0f, c.takeStart, c.takeEnd,
                                              { c.offset, c.width, true, 0.0f }),
                       ViewGeometry::nothing)
                << c.offset << " " << c.takeStart << " at " << pointer.x;
        }
    }
}

TEST (ViewGeometry, ADragAcrossTheInnerWidthScrollsByOneWindow)
{
    EXPECT_EQ (ViewGeometry::scrollFor (995, 5, 1000), 1.0);
    EXPECT_EQ (ViewGeometry::scrollFor (5, 500, 1000), -0.5);
}

TEST (Palette, ColoursAndThemes)
{
    const varrow::RGB colour { 0x12, 0x34, 0x56, 0x78 }, wide { 256 + 1, 2, 3, 255 };
    EXPECT_EQ (colour.toJuceColor().getARGB(), 0x78123456u);
    EXPECT_EQ (wide.toJuceColor().getRed(), 1);   // low byte only

    for (float t = 0.0f; t < 60.0f; t += 0.37f)
    {
        const auto one = varrow::palette (t, 1), two = varrow::palette (t, 2);

        for (const int c : { one.r, one.g, one.b })
            ASSERT_TRUE (c >= 77 && c <= 255) << t;

        ASSERT_EQ (two.g, 229);
        ASSERT_EQ (two.b, 102);
        ASSERT_TRUE (two.r >= 25 && two.r <= 255);
        ASSERT_EQ (varrow::palette (t, 3), (varrow::RGB { 0, 0, 0, 255 }));
    }

    EXPECT_EQ (varrow::palette (0.0f, 1).r, 255);   // 1.3 saturates
    EXPECT_EQ (varrow::palette (0.0f, 2).r, 255);

    // Worked by hand from the formulas (the multiplier is 6.28318), at phases whose values lie
    // clear of a rounding edge.
    struct Phase { float t; varrow::RGB one, two; };

    for (const auto c : { Phase { 0.4f, { 101, 188, 255, 255 }, { 54, 229, 102, 255 } },
                          Phase { 0.9f, { 255, 220, 89, 255 }, { 255, 229, 102, 255 } },
                          Phase { 12.3f, { 165, 117, 255, 255 }, { 131, 229, 102, 255 } } })
    {
        EXPECT_EQ (varrow::palette (c.t, 1), c.one) << c.t;
        EXPECT_EQ (varrow::palette (c.t, 2), c.two) << c.t;
    }

    for (const int stored : { 0, 7, -3, 1 })
        EXPECT_STREQ (varrow::Theme::all()[(size_t) varrow::Theme::indexForNumber (stored)].name, "Carbon");

    EXPECT_STREQ (varrow::Theme::all()[(size_t) varrow::Theme::indexForNumber (5)].name, "Lemon");
}

TEST (Palette, TheFiveThemes)
{
    struct Record
    {
        const char* name;
        varrow::RGB background, frame, selection;
        int bandAlpha;
        bool light;
        varrow::RGB waveform;
        float fill, zoomedFill;
        bool palette;
        int paletteType;
        varrow::RGB accent;
    };

    const Record table[] {
        { "Carbon", { 40, 40, 40, 255 }, { 80, 80, 80, 255 }, { 80, 150, 240, 51 }, 32, false,
          { 200, 200, 200, 255 }, 0.3f, 0.32f, false, 0, { 80, 150, 240, 255 } },
        { "Rainbow", { 32, 32, 32, 255 }, { 58, 42, 61, 255 }, { 250, 217, 27, 46 }, 20, false,
          { 0, 0, 0, 255 }, 0.3f, 0.32f, true, 1, { 231, 197, 5, 255 } },
        { "Bright", { 236, 234, 223, 255 }, { 120, 120, 120, 255 }, { 0, 0, 0, 51 }, 100, true,
          { 20, 20, 20, 255 }, 0.3f, 0.32f, false, 0, { 100, 100, 100, 255 } },
        { "Vintage", { 30, 24, 27, 255 }, { 64, 47, 57, 255 }, { 208, 190, 146, 51 }, 28, false,
          { 144, 79, 116, 255 }, 0.3f, 0.32f, false, 0, { 208, 190, 146, 255 } },
        { "Lemon", { 40, 40, 40, 255 }, { 80, 80, 80, 255 }, { 255, 229, 102, 51 }, 20, false,
          { 20, 20, 20, 255 }, 0.6f, 0.62f, true, 2, { 255, 229, 102, 255 } },
    };

    for (int number = 1; number <= 5; ++number)
    {
        const auto& expected = table[number - 1];
        const auto& theme = varrow::Theme::all()[(size_t) varrow::Theme::indexForNumber (number)];

        EXPECT_STREQ (theme.name, expected.name);
        EXPECT_EQ (theme.background, expected.background) << expected.name;
        EXPECT_EQ (theme.frame, expected.frame) << expected.name;
        EXPECT_EQ (theme.selection, expected.selection) << expected.name;
        EXPECT_EQ (theme.bandAlpha, expected.bandAlpha) << expected.name;
        EXPECT_EQ (theme.light, expected.light) << expected.name;
        EXPECT_EQ (theme.waveform, expected.waveform) << expected.name;
        EXPECT_EQ (theme.fillOpacity, expected.fill) << expected.name;
        EXPECT_EQ (theme.zoomedFillOpacity, expected.zoomedFill) << expected.name;
        EXPECT_EQ (theme.usesPalette, expected.palette) << expected.name;

        if (expected.palette)
        {
            EXPECT_EQ (theme.paletteType, expected.paletteType) << expected.name;
        }

        EXPECT_EQ (theme.accent, expected.accent) << expected.name;
    }
}
