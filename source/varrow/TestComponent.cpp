#include "TestComponent.h"
#include "SettingsMenu.h"
#include "../TrimMenu.h"
#include "../AudioPluginAudioProcessor.h"
#include "../ValueParsing.h"

#include <cmath>
#include <tuple>

namespace varrow
{

namespace
{

constexpr double snapTolerance = 0.00001;
constexpr int dragDistance = 30;
constexpr juce::int64 holdMilliseconds = 1000;
const juce::Colour takeStartColour { 0xff77cc33 };
const juce::Colour takeEndColour { 0xffed5374 };
const juce::Colour captureColour { 0xff77cc33 };
const juce::Colour freezeColour { 0xffff0014 };
const juce::Colour rubberBandColour { 0xf0f0f0f0 };

enum MenuIndex
{
    settingsMenu = 0,
    trimMenu = 11,
    hideButtonMenu = 12
};

} // namespace

TestComponent::TestComponent (AudioPluginAudioProcessor& p, juce::Component& pause, juce::Component& settings)
    : waveformDisplay (p, *this), processor (p), pauseButton (pause), settingsButton (settings)
{
    waveformDisplay.setBufferedToImage (true);
    waveformDisplay.setInterceptsMouseClicks (false, false);
    setWantsKeyboardFocus (true);

    const auto prefs = p.openPreferences();
    selectTheme (prefs->containsKey ("Selected Theme") ? ValueParsing::parseInt (prefs->getValue ("Selected Theme")) : 1);

    // Set while the view has no parent, so on the default look and feel: every pop-up menu
    // of the program is dark.
    auto& laf = getLookAndFeel();
    laf.setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xff242424));
    laf.setColour (juce::PopupMenu::textColourId, juce::Colour (0xfff0f0f0));
    laf.setColour (juce::PopupMenu::headerTextColourId, juce::Colour (0xfff0f0f0));
    laf.setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0xff3c3c3c));

    if (processor.frozen.load())
    {
        freezeTint.setTarget (1.0);
        freezeTint.current = 1.0;
    }

    bandGradient.addColour (0.0, juce::Colours::black);
    bandGradient.addColour (1.0, juce::Colours::black);

    writeSnippet = [&p] (bool usePlaybackRegion, bool forDrag) { p.saveCropRegionToFile (usePlaybackRegion, forDrag); };

    // A drag is finished by the view that started it: one left by a closed view never starts.
    clearPendingDrag();
}

TestComponent::~TestComponent()
{
    // No mouse-up reaches a view closed during an alt + click: its preview would play on.
    if (processor.previewPlaying.load())
        stopPreview();

    clearPendingDrag();
}

void TestComponent::clearPendingDrag()
{
    processor.fileReadyForDrag = false;
    processor.dragPending = false;
}

void TestComponent::selectTheme (int number)
{
    theme = &Theme::all()[(size_t) Theme::indexForNumber (number)];
}

int TestComponent::getThemeNumber() const noexcept
{
    return (int) (theme - Theme::all().data()) + 1;
}

float TestComponent::animationTime() const
{
    const auto now = clock->now();
    return (float) now.getSeconds() + (float) now.getMilliseconds() / 1000.0f;
}

bool TestComponent::isFrozen() const noexcept
{
    return processor.frozen.load();
}

ViewWindow TestComponent::currentWindow() const noexcept
{
    return { processor.zoom.offset.load(), processor.zoom.width.load(), processor.zoomed.load(),
             processor.displayRotation.load() };
}

//==============================================================================
void TestComponent::layOut()
{
    const int columns = processor.displayBuffer.columnCountShared.load();
    const int published = getWidth() - 2 * margin;

    area = ViewGeometry::areaFor (getWidth(), getHeight(), columns, margin);

    // The column arrays hold at most maxColumns: wider views show that many.
    processor.displayWidth.store (juce::jlimit (0, DisplayBuffer::maxColumns, published));

    if (published != columns)
        processor.displayReady.store (false);
}

void TestComponent::paint (juce::Graphics& g)
{
    const int w = getWidth(), h = getHeight();
    const bool capturePlayback = processor.capturePlayback;

    freezeTint.step();
    zoomBand.step();

    if (capturePlayback)
        captureHighlight.step();

    layOut();

    if (pendingPreviewStart != noPreviewStart)
    {
        gesture = Gesture::preview;
        processor.requestPreviewSeek (pendingPreviewStart);
        pendingPreviewStart = noPreviewStart;
    }

    const float t = animationTime();
    const double highlight = captureHighlight.current;

    if (highlight > 0.0 && capturePlayback)
    {
        g.setColour (captureColour.withAlpha ((float) (highlight * 0.1)));
        g.drawRect (juce::Rectangle<float> ((float) margin, (float) margin, (float) (w - 10), (float) (h - 10)), 1.0f);
    }

    captureHighlight.snap (snapTolerance);

    if (processor.prepared)
    {
        const auto window = currentWindow();

        // Zoom band: a gradient that fades in while zoomed and out after.
        zoomBand.setTarget (window.zoomed ? 1.0 : 0.0);

        if (window.zoomed || zoomBand.current > 0.0)
        {
            const auto base = theme->usesPalette ? palette (1.0f - t / 10.0f, theme->paletteType).toJuceColor()
                                                 : theme->accent.toJuceColor();
            bandGradient.point1 = { (float) area.x, (float) area.y };
            bandGradient.point2 = { (float) area.x + (float) area.width / 2.0f, (float) (area.y + area.height) };
            bandGradient.setColour (0, base.withAlpha ((juce::uint8) theme->bandAlpha));
            bandGradient.setColour (1, base.withAlpha ((juce::uint8) 0));
            bandGradient.multiplyOpacity ((float) zoomBand.current);
            g.setGradientFill (bandGradient);
            g.fillRect (area.x, area.y, area.width, area.height);
        }

        zoomBand.snap (snapTolerance);

        paintWriteHead (g, window);

        if (gesture == Gesture::preview)
            paintPreviewLine (g, window, t);

        if (capturePlayback)
            paintTakeMarkers (g, window);

        paintSelection (g);

        const bool frozen = processor.frozen.load();
        freezeTint.setTarget (frozen ? 1.0 : 0.0);

        if (frozen || freezeTint.current > 0.0)
        {
            g.setColour (freezeColour.withAlpha ((float) (0.05 * freezeTint.current)));
            g.fillRect (0, 0, w, h);
        }

        freezeTint.snap (snapTolerance);

        if (highlight > 0.0 && capturePlayback)
        {
            g.setColour (captureColour.withAlpha ((float) (highlight * (theme->light ? 0.14 : 0.05))));
            g.fillRect (0, 0, w, h);
        }

        if (rubberBand)
            paintRubberBand (g);
    }

    paintResizeGrip (g, t);

    if (! processor.recordingPathSet)
        paintReminder (g);
}

void TestComponent::verticalLine (juce::Graphics& g, int x, float top, float bottom, juce::Colour colour)
{
    g.setColour (colour);
    g.drawVerticalLine (x, top, bottom);
}

std::optional<double> TestComponent::writeHeadPosition() const noexcept
{
    // A prepare that could not allocate the ring leaves none: there is no head to show.
    if (processor.captureBuffer == nullptr)
        return std::nullopt;

    // A restart publishes the new index (0) before the new capacity. Read in that order's
    // reverse, a new capacity always comes with an index of the new ring; an old one may come
    // with a new index (bounded here), but never, as the other way round could, an old ring's
    // index with a new, shorter ring's capacity: a head many widths past the view.
    const auto& ring = *processor.captureBuffer;
    const int capacity = ring.capacityShared.load (std::memory_order_acquire);
    const int index = ring.writeIndexShared.load (std::memory_order_acquire);
    return ViewGeometry::ringFractionOfIndex (index, capacity);
}

void TestComponent::paintWriteHead (juce::Graphics& g, const ViewWindow& window)
{
    const auto p = writeHeadPosition();
    const auto x = p.has_value() ? ViewGeometry::viewFractionOf (*p, window, ViewGeometry::Mark::writeHead) : std::nullopt;

    if (! x.has_value())
        return;

    const int head = ViewGeometry::pixelOf (area, *x);
    const auto top = (float) area.y, bottom = (float) (area.y + area.height);
    const auto accent = theme->accent.toJuceColor();

    verticalLine (g, head, top, bottom, accent);

    // A trail of fading single-pixel lines behind the head...
    for (int j = head - 1; j >= std::max (head - 30, area.x + 1); --j)
    {
        const double opacity = std::pow (1.0 - std::abs (j - head) / 50.0, 4.0) * 0.3;
        verticalLine (g, j, top, bottom, accent.withAlpha ((float) opacity));
    }

    // ...and ahead of it the oldest data darkened, which opens a visible gap.
    const auto background = theme->background.toJuceColor();
    const double last = std::min ((double) (area.x + area.width) - 1.5, (double) head + 20.0);

    for (int j = head + 1; (double) j <= last; ++j)
    {
        const double opacity = juce::jlimit (0.0, 1.0, 0.5 * (1.0 - (double) (j - head + 1) / 20.0));
        verticalLine (g, j, top + 1.0f, bottom - 1.0f, background.withAlpha ((float) opacity));
    }
}

void TestComponent::paintPreviewLine (juce::Graphics& g, const ViewWindow& window, float t)
{
    const auto x = ViewGeometry::viewFractionOf (processor.previewFraction.load(), window, ViewGeometry::Mark::line);

    if (! x.has_value())
        return;

    const auto colour = theme->usesPalette ? palette (t / 10.0f + (float) *x + 0.5f, theme->paletteType).toJuceColor()
                                           : theme->waveform.toJuceColor();
    verticalLine (g, ViewGeometry::pixelOf (area, *x), (float) area.y, (float) (area.y + area.height), colour);
}

void TestComponent::paintTakeMarkers (juce::Graphics& g, const ViewWindow& window)
{
    const auto marker = [&] (double position, bool isStart)
    {
        const auto x = ViewGeometry::viewFractionOf (position, window, ViewGeometry::Mark::line);

        if (! x.has_value())
            return;

        const double pixel = (double) area.width * *x + (double) area.x;
        const auto lineX = (float) ((isStart ? std::floor (pixel) : std::ceil (pixel)) + 0.5);
        const auto top = (float) area.y;

        g.setColour (isStart ? takeStartColour : takeEndColour);
        g.drawLine (lineX, top, lineX, (float) (area.y + area.height));

        scratch.clear();
        scratch.addTriangle (lineX - 6.0f, top, lineX + 6.0f, top, lineX, top + 6.0f);
        g.fillPath (scratch);
    };

    marker (processor.takeStart.load(), true);
    marker (processor.takeEnd.load(), false);
}

void TestComponent::paintSelection (juce::Graphics& g)
{
    const float start = processor.selectionStart, length = processor.selectionLength;
    const float leftEdge = length < 0.0f ? start + length : start;
    const int width = ViewGeometry::roundHalfAway (std::abs (length) * (float) area.width);

    if (width > 1)
    {
        g.setColour (theme->selection.toJuceColor());
        g.fillRect (ViewGeometry::pixelOf (area, (double) leftEdge), area.y, width, area.height);
    }
}

void TestComponent::paintRubberBand (juce::Graphics& g)
{
    const auto px = (float) pressPosition.x, py = (float) pressPosition.y, mx = (float) lastPointer.x;

    g.setColour (rubberBandColour);
    g.fillEllipse (mx - 4.5f, py - 4.5f, 8.0f, 8.0f);
    g.drawLine (px, py - 0.5f, mx, py - 1.0f, 1.0f);
    g.drawLine (px, py - 0.5f, mx, py, 1.0f);

    g.setColour (theme->accent.toJuceColor().withAlpha ((juce::uint8) 255));
    g.fillEllipse (mx - 3.5f, py - 3.5f, 6.0f, 6.0f);
    g.drawLine (px, py - 0.5f, mx, py - 0.5f, 1.0f);
}

void TestComponent::paintResizeGrip (juce::Graphics& g, float t)
{
    const auto w = (float) getWidth(), h = (float) getHeight();

    scratch.clear();
    scratch.addTriangle (w - 15.0f, h, w, h, w, h - 15.0f);
    g.setColour (theme->background.toJuceColor());
    g.fillPath (scratch);

    const auto lines = theme->usesPalette ? palette (1.0f - t / 10.0f, theme->paletteType).toJuceColor()
                                          : theme->waveform.toJuceColor();
    g.setColour (lines.withAlpha (0.7f));

    for (const float inset : { 15.0f, 10.0f, 5.0f })
        g.drawLine (w - inset, h, w, h - inset, 1.0f);
}

void TestComponent::paintReminder (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0x66000000));
    g.setColour (juce::Colours::white);
    g.setFont (juce::Font (16.0f));
    g.drawFittedText ("Open settings (Right Click/Downwards Arrow) to set a recording path.",
                      2 * margin, 2 * margin, getWidth() - 4 * margin, 30, juce::Justification::centred, 1, 0.8f);
}

//==============================================================================
bool TestComponent::FrameKey::operator== (const FrameKey& o) const noexcept
{
    const auto tie = [] (const FrameKey& k)
    {
        return std::tie (k.bounds, k.areaX, k.areaWidth, k.areaHeight, k.gesture, k.selectionStart, k.selectionLength,
                         k.rotation, k.rubberBand, k.frozen, k.zoomed, k.capturePlayback, k.recordingPathSet, k.prepared,
                         k.press, k.pointer, k.takeStart, k.takeEnd, k.offset, k.width, k.previewStart, k.theme);
    };

    return tie (*this) == tie (o);
}

bool TestComponent::WaveformKey::operator== (const WaveformKey& o) const noexcept
{
    return theme == o.theme && displayGain == o.displayGain && legacyDisplay == o.legacyDisplay;
}

TestComponent::FrameKey TestComponent::currentFrameKey() const noexcept
{
    const auto window = currentWindow();

    return { getLocalBounds(), area.x, area.width, area.height, gesture,
             processor.selectionStart, processor.selectionLength, window.rotation,
             rubberBand, processor.frozen.load(), window.zoomed, processor.capturePlayback,
             processor.recordingPathSet, processor.prepared, pressPosition,
             rubberBand ? lastPointer : juce::Point<int>(),   // only the rubber band follows the pointer
             processor.takeStart.load(), processor.takeEnd.load(), window.offset, window.width,
             pendingPreviewStart, theme };
}

juce::Rectangle<int> TestComponent::writeHeadBand() const noexcept
{
    const auto p = writeHeadPosition();
    const auto x = p.has_value() ? ViewGeometry::viewFractionOf (*p, currentWindow(), ViewGeometry::Mark::writeHead) : std::nullopt;

    if (! x.has_value())
        return {};

    // The head's column with its 30-column trail behind and 20-column fade ahead.
    const int head = ViewGeometry::pixelOf (area, *x);
    return { head - 30, area.y, 52, area.height };
}

bool TestComponent::isAnimating() const noexcept
{
    const auto moving = [] (const Smoother& s) { return s.current != s.getTarget(); };

    // The zoom band takes its colour from the palette clock while it shows.
    const bool animatedBand = theme->usesPalette && (processor.zoomed.load() || zoomBand.current > 0.0);

    // The capture highlight only steps while "Capture Playback" is on; switched off mid-fade
    // it would otherwise count as moving for ever.
    const bool highlightMoving = processor.capturePlayback && moving (captureHighlight);

    return moving (freezeTint) || moving (zoomBand) || highlightMoving || animatedBand
        || gesture == Gesture::preview;
}

TestComponent::Changes TestComponent::changesSinceLastTick()
{
    const auto frame = currentFrameKey();
    const auto band = writeHeadBand();
    Changes changes;

    changes.everything = ! lastFrame.has_value() || ! (*lastFrame == frame) || isAnimating() || ! processor.prepared;

    const WaveformKey waveform { theme, processor.displayGain, processor.legacyDisplay };
    changes.waveform = ! lastWaveform.has_value() || ! (*lastWaveform == waveform);
    lastWaveform = waveform;

    // The head moves less than a pixel per tick at most ring lengths; while it stays on its
    // column the band would be painted exactly as it is, so it is left alone.
    if (band != lastWriteHeadBand)
        changes.writeHead = band.getUnion (lastWriteHeadBand);

    if (theme->usesPalette)
        changes.grip = getLocalBounds().removeFromRight (16).removeFromBottom (16);   // with the lines' antialiased edge

    lastFrame = frame;
    lastWriteHeadBand = band;
    return changes;
}

//==============================================================================
int TestComponent::mouseHitTest()
{
    return hitTestAt (pointer->positionRelativeTo (*this));
}

int TestComponent::hitTestAt (juce::Point<int> where) const
{
    return ViewGeometry::hitTest (where, getLocalBounds().contains (where), area,
                                  processor.selectionStart, processor.selectionLength,
                                  processor.takeStart.load(), processor.takeEnd.load(), currentWindow());
}

void TestComponent::doZoom (bool zoomIn)
{
    if (zoomIn)
    {
        const auto request = ViewGeometry::zoomIn (processor.selectionStart, processor.selectionLength,
                                                   processor.displayWidth.load(), currentWindow());

        if (! request.has_value())
            return;

        processor.displayReady.store (false);
        processor.requestedZoomOffset.store (request->offset);
        processor.requestedZoomWidth.store (request->width);
        processor.zoomRequestPending.store (true);
        zoomBand.setTarget (1.0);
    }
    else
    {
        if (! processor.zoomed.load())
            return;

        processor.displayReady.store (false);
        processor.requestedZoomOffset.store (0.0);
        processor.requestedZoomWidth.store (1.0);
        processor.zoomRequestPending.store (true);
        zoomBand.setTarget (0.0);
    }

    // A zoom consumes the selection.
    processor.selectionLength = 0.0f;
    waveformDisplay.repaint();
}

void TestComponent::pause()
{
    auto* parameter = processor.parameters.getParameter ("Freeze");
    const float value = parameter->getValue();

    bool wasFrozen = processor.frozen.load();
    while (! processor.frozen.compare_exchange_weak (wasFrozen, ! wasFrozen)) {}

    // A freeze from the view leaves an Off parameter Off; any other toggle switches it Off.
    if (value == 0.0f && ! wasFrozen)
    {
        freezeTint.setTarget (1.0);
        return;
    }

    freezeTint.setTarget (0.0);
    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost (0.0f);
    parameter->endChangeGesture();
}

//==============================================================================
void TestComponent::mouseDown (const juce::MouseEvent& e)
{
    pressPosition = e.getPosition();
    pressTimeMs = clock->steadyMilliseconds();

    if (gesture != Gesture::idle)
        return;

    handlePress (e);
}

void TestComponent::handlePress (const juce::MouseEvent& e)
{
    const auto& mods = e.mods;
    const bool l = mods.isLeftButtonDown(), m = mods.isMiddleButtonDown(), r = mods.isRightButtonDown();
    const bool s = mods.isShiftDown(), c = mods.isCtrlDown(), a = mods.isAltDown();

    if (r)
    {
        if (mouseHitTest() == ViewGeometry::onSelection)
            showTrimMenu();
        else
            showContextMenu();

        return;
    }

    if (c && a && l)
    {
        if (processor.isStandalone)
        {
            gesture = Gesture::windowDrag;

            if (auto* window = getTopLevelComponent())
                windowDragger.startDraggingComponent (window, e.getEventRelativeTo (window));
        }
        else if (s)        gesture = Gesture::gainDrag;
        else if (m)        gesture = Gesture::horizontalDrag;
        else               pause();

        return;
    }

    if (c && a)        { if (m) gesture = Gesture::horizontalDrag; return; }
    if (c && s && l)   { gesture = Gesture::gainDrag; return; }
    if (c && s)        { if (m) gesture = Gesture::horizontalDrag; return; }
    if (c && m)        { gesture = Gesture::horizontalDrag; return; }
    if (c && l)        { pause(); return; }
    if (c)             return;
    if (m)             { gesture = Gesture::horizontalDrag; return; }
    if (a && s && l)   { gesture = Gesture::horizontalDrag; return; }
    if (a && l)        { startPreview (e.x); return; }
    if (a || ! l)      return;

    const int zone = mouseHitTest();

    if (! s && zone == ViewGeometry::nothing)
    {
        processor.selectionStart = juce::jlimit (0.0f, 1.0f, ViewGeometry::viewFractionOfPixel (e.x, margin, area.width));
        processor.selectionLength = 0.0f;
        gesture = Gesture::selecting;
    }
    else if (! s && zone == ViewGeometry::onSelection)
    {
        armDrag (false);
    }
    else if (processor.getDragAllowed() && processor.capturePlayback)
    {
        armDrag (true);
    }
}

void TestComponent::armDrag (bool playbackRegion)
{
    dragPlaybackRegion = playbackRegion;
    gesture = Gesture::armedDrag;
}

void TestComponent::startPreview (int x)
{
    pendingPreviewStart = ViewGeometry::ringPositionOfPixel (x, area, currentWindow());
    processor.previewFade->setTarget (1.0);
    processor.previewPlaying.store (true);
}

void TestComponent::stopPreview()
{
    processor.previewFade->setTarget (0.0);
    processor.previewPlaying.store (false);
}

void TestComponent::mouseDrag (const juce::MouseEvent& e)
{
    if (processor.dragPending)
    {
        const auto finish = [safeThis = juce::Component::SafePointer<TestComponent> (this)]
        {
            if (safeThis != nullptr)
            {
                safeThis->processor.fileReadyForDrag = false;
                safeThis->processor.selectionLength = 0.0f;
            }
        };

        // When no drag could start, no drop will ever finish it: end it at once.
        if (! externalDrag->start (juce::StringArray (processor.lastWrittenFile), finish))
            finish();

        processor.dragPending = false;
    }

    if (gesture == Gesture::windowDrag)
        if (auto* window = getTopLevelComponent())
            windowDragger.dragComponent (window, e.getEventRelativeTo (window), nullptr);
}

void TestComponent::mouseUp (const juce::MouseEvent& e)
{
    switch (gesture)
    {
        case Gesture::selecting:
            if (processor.selectionLength < 0.0f)
            {
                processor.selectionStart += processor.selectionLength;
                processor.selectionLength = std::abs (processor.selectionLength);
            }
            break;

        case Gesture::armedDrag:
            processor.selectionLength = 0.0f;   // a click on the selection removes it
            break;

        case Gesture::horizontalDrag:
            if (processor.zoomed.load() && getWidth() > 10)
            {
                processor.scrollRequest.store (ViewGeometry::scrollFor (pressPosition.x, e.x, getWidth()));
                processor.columnsResetRequested.store (true);
            }
            break;

        case Gesture::preview:
            stopPreview();
            break;

        case Gesture::idle:
            // A tap released before the view painted again: its preview never became a
            // gesture, so stop it here rather than let it play on.
            if (pendingPreviewStart != noPreviewStart)
            {
                pendingPreviewStart = noPreviewStart;
                stopPreview();
            }
            break;

        case Gesture::fileDrag:
        case Gesture::gainDrag:
        case Gesture::windowDrag:
            break;
    }

    if (! processor.fileReadyForDrag)
        gesture = Gesture::idle;
}

void TestComponent::mouseEnter (const juce::MouseEvent&) {}

void TestComponent::mouseExit (const juce::MouseEvent&)
{
    setMouseCursor (juce::MouseCursor::NormalCursor);
}

void TestComponent::mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails& wheel)
{
    if (gesture != Gesture::idle)
        return;

    if (wheel.deltaY > 0.0f && processor.selectionLength > 0.001f)
        doZoom (true);
    else if (wheel.deltaY < 0.0f)
        doZoom (false);
}

bool TestComponent::keyPressed (const juce::KeyPress& key)
{
    if (gesture != Gesture::idle)
        return false;

    if (key.getKeyCode() == 'z')
    {
        doZoom ((float) processor.displayWidth.load() * processor.selectionLength > 1.0f);
        return true;
    }

    if (key.getKeyCode() == 's')
    {
        if (processor.selectionLength > 0.001f)
        {
            writeSnippet (false, false);
            processor.selectionLength = 0.0f;
        }

        return false;   // the key still reaches the editor
    }

    return false;
}

//==============================================================================
void TestComponent::timerTasks()
{
    rubberBand = false;
    captureHighlight.setTarget (0.0);

    const auto where = pointer->positionRelativeTo (*this);
    pointerDelta = lastPointer - where;
    lastPointer = where;

    switch (gesture)
    {
        case Gesture::idle:
            // A cursor only shows over the view. Elsewhere there is nothing to choose, and the
            // modifier and hit-test queries (round trips to the X server) are saved.
            if (getLocalBounds().contains (where))
                updateIdleCursor (pointer->modifiers(), where);
            break;

        case Gesture::selecting:
            processor.selectionLength = juce::jlimit (0.0f, 1.0f, ViewGeometry::viewFractionOfPixel (where.x, margin, area.width))
                                      - processor.selectionStart;
            break;

        case Gesture::armedDrag:
            // Compared squared: the integer distance would round 30.8 px down to 30.
            if (where.getDistanceSquaredFrom (pressPosition) > dragDistance * dragDistance
                || clock->steadyMilliseconds() - pressTimeMs > holdMilliseconds)
            {
                gesture = Gesture::fileDrag;
                writeSnippet (dragPlaybackRegion, true);
            }
            break;

        case Gesture::horizontalDrag:
            setMouseCursor (juce::MouseCursor::LeftRightResizeCursor);

            if (processor.zoomed.load())
            {
                rubberBand = true;   // the window scrolls when the button is released
            }
            else if (getWidth() > 0)
            {
                // Moving the pointer right lowers the rotation, so the picture follows it.
                const float rotation = processor.displayRotation.load() + (float) pointerDelta.x / (float) getWidth();
                processor.displayRotation.store (ViewGeometry::wrapRotation (rotation));

                if (pointerDelta.x != 0)
                    waveformDisplay.repaint();
            }
            break;

        case Gesture::gainDrag:
            processor.displayGain = std::max (0.0, processor.displayGain + (double) ((float) pointerDelta.y * 0.025f) * 0.5);
            setMouseCursor (juce::MouseCursor::UpDownResizeCursor);

            if (pointerDelta.y != 0)
                waveformDisplay.repaint();
            break;

        case Gesture::preview:
            setMouseCursor (juce::MouseCursor::NormalCursor);
            break;

        case Gesture::windowDrag:
            setMouseCursor (juce::MouseCursor::DraggingHandCursor);
            break;

        case Gesture::fileDrag:
            break;
    }

    // A file drag ends once its file is no longer waiting: dropped, or never written.
    if (gesture == Gesture::fileDrag && ! processor.fileReadyForDrag)
    {
        gesture = Gesture::idle;
        processor.selectionLength = 0.0f;
    }
}

void TestComponent::updateIdleCursor (const juce::ModifierKeys& mods, juce::Point<int> where)
{
    using Cursor = juce::MouseCursor;
    const bool c = mods.isCtrlDown(), s = mods.isShiftDown(), a = mods.isAltDown();

    if (c && a)
    {
        if (processor.isStandalone)
            setMouseCursor (Cursor::DraggingHandCursor);

        return;
    }

    if (c)
    {
        setMouseCursor (s ? Cursor::UpDownResizeCursor : Cursor::CrosshairCursor);
        return;
    }

    if (s && a)
    {
        setMouseCursor (Cursor::LeftRightResizeCursor);
        return;
    }

    if (s && getLocalBounds().contains (where) && processor.capturePlayback)
    {
        setMouseCursor (processor.takeStart.load() != processor.takeEnd.load() ? Cursor::PointingHandCursor
                                                                               : Cursor::NormalCursor);
        captureHighlight.setTarget (1.0);
        return;
    }

    const int zone = hitTestAt (where);   // the position this tick polled

    if (zone == ViewGeometry::onSelection)
    {
        setMouseCursor (Cursor::PointingHandCursor);
    }
    else if (zone == ViewGeometry::onMarkerHandle && processor.capturePlayback)
    {
        setMouseCursor (Cursor::PointingHandCursor);
        captureHighlight.setTarget (1.0);
    }
    else
    {
        setMouseCursor (Cursor::IBeamCursor);
    }
}

//==============================================================================
void TestComponent::showTrimMenu()
{
    menus[trimMenu] = TrimMenu::build (processor.trimSilence, processor.noiseThresholdDb);
    showMenu (MenuPresenter::Menu::trim, menus[trimMenu], [safeThis = juce::Component::SafePointer<TestComponent> (this)] (int id)
    {
        if (safeThis != nullptr)
            TrimMenu::perform (id, safeThis->processor);
    });
}

void TestComponent::showMenu (MenuPresenter::Menu which, juce::PopupMenu& menu, std::function<void (int)> onChosen)
{
    menu.setLookAndFeel (&getLookAndFeel());
    menuPresenter->show (which, menu, std::move (onChosen));
}

void TestComponent::showContextMenu()
{
    menus[settingsMenu] = SettingsMenu::build (processor, getThemeNumber());
    showMenu (MenuPresenter::Menu::settings, menus[settingsMenu], [safeThis = juce::Component::SafePointer<TestComponent> (this)] (int id)
    {
        if (safeThis != nullptr)
            SettingsMenu::perform (id, { safeThis->processor, *safeThis, safeThis->pauseButton,
                                         safeThis->settingsButton, *safeThis->shell });
    });
}

void TestComponent::showHideContextButtonMenu()
{
    auto& menu = menus[hideButtonMenu];
    menu.clear();
    menu.addItem (1, "Hide", true, ! processor.showContextButton);

    showMenu (MenuPresenter::Menu::hideButton, menu, [safeThis = juce::Component::SafePointer<TestComponent> (this)] (int id)
    {
        if (safeThis == nullptr || id != 1)
            return;

        safeThis->processor.toggleDisplayContextButton();
        safeThis->settingsButton.setVisible (safeThis->processor.showContextButton);
    });
}

} // namespace varrow
