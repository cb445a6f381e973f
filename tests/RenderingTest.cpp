#include "AudioPluginAudioProcessorEditor.h"
#include "ViewTestSupport.h"

#include <new>

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
    juce::Colour accent() const     { return juce::Colour (carbonAccent); }

    /** Asks for a zoom window and lets the next audio block apply it. */
    void zoomInto (double offset, double width)
    {
        requestZoom (**p, offset, width);
        runAudio (1, 0.0f, 64);
    }

    static constexpr juce::uint32 carbonAccent = 0xff5096f0;   // (80, 150, 240)

    std::unique_ptr<AudioPluginAudioProcessorEditor> editor;
};

int difference (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue());
}

} // namespace

TEST_F (Rendering, EachThemePaintsItsBackgroundAndFrame)
{
    struct Case { int number; juce::uint32 background, frame; };

    for (const auto c : { Case { 1, 0xff282828, 0xff505050 }, Case { 2, 0xff202020, 0xff3a2a3d },
                          Case { 3, 0xffeceadf, 0xff787878 }, Case { 4, 0xff1e181b, 0xff402f39 },
                          Case { 5, 0xff282828, 0xff505050 } })
    {
        view().selectTheme (c.number);
        view().onThemeChanged();
        const auto image = snapshot();

        // The waveform display lies over the frame; where it draws nothing the frame shows.
        EXPECT_EQ (image.getPixelAt (2, 60).getARGB(), c.background) << c.number;
        EXPECT_EQ (image.getPixelAt (500, 5).getARGB(), c.frame) << c.number;
        EXPECT_EQ (image.getPixelAt (994, 30).getARGB(), c.frame) << c.number;
    }
}

TEST_F (Rendering, TheWriteHeadIsDrawnAtItsColumnWithATrailBehindIt)
{
    runAudio (1200);
    const auto image = snapshot();

    // 1202 blocks of 512 (two in the set-up) = 615424 samples = 0.427378 of the ring;
    // 990 * 0.427378 + 5 = 428.10, so the head is column 428.
    EXPECT_EQ (image.getPixelAt (428, 60).getARGB(), carbonAccent);
    EXPECT_NE (image.getPixelAt (427, 60).getARGB(), carbonAccent);
    EXPECT_NE (image.getPixelAt (429, 60).getARGB(), carbonAccent);
    EXPECT_LT (difference (image.getPixelAt (427, 60), accent()), difference (image.getPixelAt (388, 60), accent()));
}

TEST_F (Rendering, TheWriteHeadFollowsTheRotationAndHidesWhenZoomedAway)
{
    // The head at 1024 / 1440000 = 0.000711, rotated left by a quarter: 0.750711 of the
    // view, 990 * 0.750711 + 5 = 748.2.
    (*p)->displayRotation = 0.25f;
    auto image = paintAlone (view());
    EXPECT_EQ (image.getPixelAt (748, 60).getARGB(), carbonAccent);
    EXPECT_NE (image.getPixelAt (6, 60).getARGB(), carbonAccent);

    // Zoomed into 0.5 .. 0.6 of the ring, the head lies outside the window.
    zoomInto (0.5, 0.1);
    image = paintAlone (view());

    for (int x = 0; x < 1000; ++x)
        ASSERT_LT (image.getPixelAt (x, 60).getAlpha(), 40) << x;   // nothing but the faint zoom band
}

TEST_F (Rendering, AWriteIndexFromALongerRingIsDrawnInsideTheArea)
{
    // What a frame could read across a restart from 60 s to 15 s: the old ring's index beside
    // the new ring's capacity. The head stays inside the area (at its last column).
    auto& ring = *(*p)->captureBuffer;
    const int capacity = ring.capacityShared.load(), index = ring.writeIndexShared.load();
    ring.capacityShared = 720000;
    ring.writeIndexShared = 2000000;

    const auto image = paintAlone (view());
    const auto band = view().changesSinceLastTick().writeHead;
    ring.capacityShared = capacity;
    ring.writeIndexShared = index;

    // 990 * 719999 / 720000 + 5 = 994.9986: column 995.
    EXPECT_EQ (image.getPixelAt (995, 60).getARGB(), carbonAccent);
    EXPECT_TRUE (view().getLocalBounds().contains (band.withWidth (1))) << band.toString();
}

TEST_F (Rendering, TakeMarkersAreFlooredAndCeiledWithTheirHandles)
{
    (*p)->capturePlayback = true;
    (*p)->takeStart = 0.2503;   // 990 * 0.2503 + 5 = 252.80: floored to 252
    (*p)->takeEnd = 0.4003;     // 990 * 0.4003 + 5 = 401.30: ceiled to 402
    const auto image = paintAlone (view());

    EXPECT_EQ (image.getPixelAt (252, 60).getARGB(), 0xff77cc33u);
    EXPECT_EQ (image.getPixelAt (251, 60).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (253, 60).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (402, 60).getARGB(), 0xffed5374u);
    EXPECT_EQ (image.getPixelAt (401, 60).getAlpha(), 0);

    // A triangle 12 px wide at the top edge, 6 px deep.
    EXPECT_EQ (image.getPixelAt (250, 6).getARGB(), 0xff77cc33u);
    EXPECT_EQ (image.getPixelAt (400, 6).getARGB(), 0xffed5374u);
    EXPECT_EQ (image.getPixelAt (250, 14).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (244, 5).getAlpha(), 0);

    (*p)->capturePlayback = false;   // shown only with "Capture Playback" on
    EXPECT_EQ (paintAlone (view()).getPixelAt (252, 60).getAlpha(), 0);
}

TEST_F (Rendering, ThePreviewLineShowsWhereThePreviewPlays)
{
    auto& v = view();
    pointer.position = { 500, 40 };
    v.mouseDown (mouseAt (v, 500, 40, keys ("AL")));
    const auto image = paintAlone (v);   // the paint hands the preview over: ring position 0.5

    ASSERT_EQ (v.getGesture(), varrow::TestComponent::Gesture::preview);
    EXPECT_EQ (image.getPixelAt (500, 60).getARGB(), 0xffc8c8c8u);   // Carbon's waveform colour
    EXPECT_EQ (image.getPixelAt (499, 60).getAlpha(), 0);

    v.mouseUp (mouseAt (v, 500, 40, keys ("L")));
    EXPECT_EQ (paintAlone (v).getPixelAt (500, 60).getAlpha(), 0);
}

TEST_F (Rendering, TheZoomBandFadesFromTheAccentAtTheTopLeft)
{
    zoomInto (0.5, 0.1);
    juce::Image image;

    for (int frame = 0; frame < 80; ++frame)   // the band fades in
        image = paintAlone (view());

    // Carbon: the accent (80, 150, 240) at its band alpha of 32, fading to nothing halfway
    // across and at the bottom.
    const auto start = image.getPixelAt (6, 6);
    EXPECT_NEAR (start.getAlpha(), 32, 1);
    EXPECT_LT (difference (start, accent()), 24);
    EXPECT_EQ (image.getPixelAt (700, 60).getAlpha(), 0);
    EXPECT_LT (image.getPixelAt (250, 44).getAlpha(), start.getAlpha());
}

TEST_F (Rendering, TheCaptureHighlightFramesAndWashesTheView)
{
    (*p)->capturePlayback = true;
    view().captureHighlight.setTarget (1.0);
    view().captureHighlight.current = 1.0;

    struct Case { int theme; int washAlpha; };

    for (const auto c : { Case { 1, 13 }, Case { 3, 36 } })   // 0.05 on dark themes, 0.14 on light ones
    {
        view().selectTheme (c.theme);
        const auto image = paintAlone (view());
        const auto wash = image.getPixelAt (600, 60);

        EXPECT_NEAR (wash.getAlpha(), c.washAlpha, 1) << c.theme;
        EXPECT_NEAR (wash.getGreen(), 0xcc, 12) << c.theme;
        EXPECT_GT (image.getPixelAt (600, 5).getAlpha(), wash.getAlpha()) << c.theme;   // the frame
        EXPECT_EQ (image.getPixelAt (600, 3).getARGB(), wash.getARGB()) << c.theme;
    }
}

TEST_F (Rendering, AZoomedHorizontalDragShowsTheRubberBand)
{
    zoomInto (0.5, 0.1);
    auto& v = view();
    pointer.position = { 600, 40 };
    v.timerTasks();
    v.mouseDown (mouseAt (v, 600, 40, keys ("M")));
    pointer.position = { 500, 40 };
    v.timerTasks();
    const auto image = paintAlone (v);

    // The accent-coloured knob at the pointer and the line back to the press point.
    EXPECT_EQ (image.getPixelAt (499, 39).getARGB(), carbonAccent);
    EXPECT_EQ (image.getPixelAt (550, 39).getARGB(), carbonAccent);
    EXPECT_EQ (image.getPixelAt (550, 60).getAlpha(), 0);
    EXPECT_GT (image.getPixelAt (495, 40).getAlpha(), 0);   // the pale ring around the knob

    v.mouseUp (mouseAt (v, 500, 40, keys ("M")));
    v.timerTasks();
    EXPECT_EQ (paintAlone (v).getPixelAt (550, 39).getAlpha(), 0);
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

TEST_F (Rendering, ARotationOutsideOneTurnDrawsAsTheSameTurnWithin)
{
    auto& columns = (*p)->displayBuffer;
    columns.pushBack (990);

    for (int c = 0; c < 990; ++c)
        columns.updateColumn (c, (float) (c % 7) / 10.0f, 100);

    auto& display = view().waveformDisplay;
    (*p)->displayRotation = 0.75f;
    display.rebuild (0.0f);
    const auto within = display.getPath();

    for (const float rotation : { -0.25f, 1.75f, -3.25f })
    {
        (*p)->displayRotation = rotation;
        display.rebuild (0.0f);
        EXPECT_TRUE (display.getPath() == within) << rotation;
    }
}

TEST_F (Rendering, WithoutARingTheEditorPaintsAndTicksWithoutAWriteHead)
{
    (*p)->beforeRingAllocation = [] (int) { throw std::bad_alloc(); };
    (*p)->prepareToPlay (48000.0, 512);
    ASSERT_EQ ((*p)->captureBuffer, nullptr);

    // A preview asked for by alt + click, painted, ticked and run.
    pointer.position = { 500, 40 };
    view().mouseDown (mouseAt (view(), 500, 40, keys ("AL")));
    const auto image = snapshot();
    editor->timerCallback();
    runAudio (2);
    snapshot();

    for (int x = 0; x < 1000; ++x)
        ASSERT_NE (image.getPixelAt (x, 60).getARGB(), carbonAccent) << x;   // no head drawn
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
