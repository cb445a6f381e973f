#include "AudioPluginAudioProcessorEditor.h"
#include "ViewTestSupport.h"

using namespace quorvel::test;

namespace
{

/** An editor of the default size over a prepared processor, rendered in software. */
class Rendering : public ViewFixture
{
protected:
    void SetUp() override
    {
        ViewFixture::SetUp();
        editor = std::make_unique<AudioPluginAudioProcessorEditor> (**p);
        editor->testComponent.setClock (clock);
        editor->testComponent.setPointerSource (pointer);
        snapshot();             // lays the view out and publishes its width
        runAudio (1);
    }

    void TearDown() override   { editor.reset(); }

    juce::Image snapshot()
    {
        return editor->createComponentSnapshot (editor->getLocalBounds(), true, 1.0f);
    }

    varrow::TestComponent& view()   { return editor->testComponent; }

    std::unique_ptr<AudioPluginAudioProcessorEditor> editor;
};

int difference (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue());
}

} // namespace

TEST_F (Rendering, EachThemePaintsItsBackgroundAndFrame)
{
    for (int number = 1; number <= varrow::Theme::count; ++number)
    {
        view().selectTheme (number);
        view().onThemeChanged();
        const auto& theme = view().getTheme();
        const auto image = snapshot();

        // The waveform display lies over the frame; where it draws nothing the frame shows.
        EXPECT_EQ (image.getPixelAt (2, 60).getARGB(), theme.background.toJuceColor().getARGB()) << theme.name;
        EXPECT_EQ (image.getPixelAt (500, 5).getARGB(), theme.frame.toJuceColor().getARGB()) << theme.name;
        EXPECT_EQ (image.getPixelAt (994, 30).getARGB(), theme.frame.toJuceColor().getARGB()) << theme.name;
    }
}

TEST_F (Rendering, TheWriteHeadIsDrawnAtItsColumnWithATrailBehindIt)
{
    runAudio (1200);   // 614400 samples: 0.4267 of the ring
    const auto image = snapshot();
    const double position = 1201.0 * 512.0 / 1440000.0;
    const int head = varrow::ViewGeometry::pixelOf (view().getArea(), position);
    const auto accent = view().getTheme().accent.toJuceColor();

    EXPECT_EQ (image.getPixelAt (head, 60).getARGB(), accent.getARGB());
    EXPECT_NE (image.getPixelAt (head - 1, 60).getARGB(), accent.getARGB());
    EXPECT_LT (difference (image.getPixelAt (head - 1, 60), accent), difference (image.getPixelAt (head - 40, 60), accent));
}

TEST_F (Rendering, ASelectionOfOnePixelIsNotDrawnButAWiderOneIs)
{
    const auto plain = snapshot().getPixelAt (600, 70);

    (*p)->selectionStart = 595.0f / 990.0f;
    (*p)->selectionLength = 1.0f / 990.0f;
    EXPECT_EQ (snapshot().getPixelAt (600, 70), plain);

    (*p)->selectionLength = 2.0f / 990.0f;
    const auto selected = snapshot();
    EXPECT_NE (selected.getPixelAt (600, 70), plain);
    EXPECT_NE (selected.getPixelAt (601, 70), plain);
    EXPECT_EQ (selected.getPixelAt (602, 70), plain);
}

TEST_F (Rendering, FreezingTintsTheWholeViewRed)
{
    const auto live = snapshot().getPixelAt (600, 70);
    (*p)->frozen = true;

    for (int frame = 0; frame < 30; ++frame)   // the tint fades in over a few frames
        snapshot();

    const auto frozen = snapshot().getPixelAt (600, 70);
    EXPECT_GT (frozen.getRed(), live.getRed());
    EXPECT_LE (frozen.getGreen(), live.getGreen());
}

TEST_F (Rendering, WithoutARecordingFolderAReminderCoversTheView)
{
    const auto withFolder = snapshot();
    (*p)->recordingPathSet = false;
    const auto without = snapshot();

    EXPECT_LT (without.getPixelAt (600, 70).getBrightness(), withFolder.getPixelAt (600, 70).getBrightness());

    int whitePixels = 0;

    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 990; ++x)
            whitePixels += without.getPixelAt (x, y).getBrightness() > 0.9f ? 1 : 0;

    EXPECT_GT (whitePixels, 200);   // the text
}

TEST_F (Rendering, BeforeTheFirstPrepareOnlyTheGripAndReminderAreDrawn)
{
    ProcessorUnderTest unprepared;
    unprepared->frozen = true;
    juce::Component a, b;
    varrow::TestComponent fresh (*unprepared, a, b);
    fresh.setBounds (0, 0, 1000, 89);

    auto image = paintAlone (fresh);
    EXPECT_EQ (image.getPixelAt (5, 60).getAlpha(), 0);      // no write head, no freeze tint
    EXPECT_EQ (image.getPixelAt (500, 60).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (997, 87).getAlpha(), 255);  // the resize grip

    unprepared->recordingPathSet = false;
    image = paintAlone (fresh);
    EXPECT_EQ (image.getPixelAt (500, 60).getAlpha(), 0x66); // the reminder
}

TEST_F (Rendering, TheWaveformMirrorsUnlessZoomedAndClampsAtTheTop)
{
    auto& columns = (*p)->displayBuffer;
    columns.pushBack (990);

    for (int c = 0; c < 990; ++c)
        columns.updateColumn (c, c < 500 ? 0.5f : 0.25f, 100), columns.updateColumn (c, -0.1f, 100);

    auto& display = view().waveformDisplay;
    (*p)->displayGain = 1.0;
    paintAlone (display);

    // Height 79: half 39.5, centre line 40.5. Legacy: mirrored around it.
    auto bounds = display.getPath().getBounds();
    EXPECT_FLOAT_EQ (bounds.getY(), 40.5f - 20.0f);
    EXPECT_FLOAT_EQ (bounds.getBottom(), 40.5f + 20.0f);

    // Zoomed: the true minimum below the line.
    (*p)->zoomed = true;
    paintAlone (display);
    bounds = display.getPath().getBounds();
    EXPECT_FLOAT_EQ (bounds.getY(), 40.5f - 20.0f);
    EXPECT_FLOAT_EQ (bounds.getBottom(), 40.5f + 4.0f);

    // Gain 2: a maximum of 0.6 reaches the top; 0.25 reaches half-way.
    (*p)->zoomed = false;
    (*p)->displayGain = 2.0;
    columns.updateColumn (10, 0.6f, 100);
    paintAlone (display);
    EXPECT_FLOAT_EQ (display.getPath().getBounds().getY(), 0.5f);

    juce::Image image (juce::Image::ARGB, display.getWidth(), display.getHeight(), true);
    {
        juce::Graphics g (image);
        display.paint (g);
    }
    EXPECT_GT (image.getPixelAt (800, 21).getAlpha(), 0);    // the outline at 40.5 - 20
    EXPECT_EQ (image.getPixelAt (800, 15).getAlpha(), 0);
}

TEST_F (Rendering, EmptyColumnsDrawAtTheCentreLine)
{
    (*p)->displayBuffer.pushBack (990);
    auto& display = view().waveformDisplay;
    paintAlone (display);

    const auto bounds = display.getPath().getBounds();
    EXPECT_FLOAT_EQ (bounds.getY(), 40.5f);
    EXPECT_FLOAT_EQ (bounds.getHeight(), 0.0f);
}

TEST_F (Rendering, PaletteThemesKeepGreenAndBlueWhileRedCycles)
{
    view().selectTheme (5);
    const auto& lemon = view().getTheme();
    EXPECT_FLOAT_EQ (lemon.fillOpacity, 2.0f * varrow::Theme::all()[0].fillOpacity);

    (*p)->displayBuffer.pushBack (990);

    for (int c = 0; c < 990; ++c)
        (*p)->displayBuffer.updateColumn (c, 0.9f, 100);

    auto& display = view().waveformDisplay;
    juce::Image image (juce::Image::ARGB, display.getWidth(), display.getHeight(), true);
    {
        juce::Graphics g (image);
        display.paint (g);
    }

    // The outline's top row carries the gradient's own colour.
    const auto top = image.getPixelAt (495, 4);
    EXPECT_NEAR (top.getGreen(), 229, 1);
    EXPECT_NEAR (top.getBlue(), 102, 1);
}
