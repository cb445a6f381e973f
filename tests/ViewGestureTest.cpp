#include "ViewTestSupport.h"

using namespace quorvel::test;
using Gesture = varrow::TestComponent::Gesture;
using Menu = varrow::MenuPresenter::Menu;

namespace
{

class PlugInView : public ViewFixture
{
protected:
    PlugInView() : ViewFixture (false) {}

    /** A selection over pixels 300..400 of the waveform area. */
    void select()
    {
        (*p)->selectionStart = 295.0f / 990.0f;
        (*p)->selectionLength = 100.0f / 990.0f;
    }

    /** A playback region between the take markers, with "Capture Playback" on. */
    void playbackRegion()
    {
        (*p)->capturePlayback = true;
        (*p)->takeStart = 0.2;
        (*p)->takeEnd = 0.4;
    }

    float freezeParameter() const   { return (*p)->parameters.getParameter ("Freeze")->getValue(); }

    /** Presses on the selection and holds still past the second, so that the drag's file is
        written. */
    void holdOnTheSelectionUntilItsFileIsWritten()
    {
        select();
        press (350, 40, "L");
        clock.steadyMs += 1001;
        tick();
    }
};

class StandaloneView : public ViewFixture
{
protected:
    StandaloneView() : ViewFixture (true) {}
};

} // namespace

TEST_F (PlugInView, ThePressTableStartsTheRightGesture)
{
    struct Case { const char* keys; int x; bool onSelection, playback; Gesture gesture; bool freezes = false; };

    for (const auto c : { Case { "L", 600, false, false, Gesture::selecting },
                          Case { "L", 350, true, false, Gesture::armedDrag },
                          Case { "M", 600, false, false, Gesture::horizontalDrag },
                          Case { "CM", 600, false, false, Gesture::horizontalDrag },
                          Case { "CSL", 600, false, false, Gesture::gainDrag },
                          Case { "CAL", 600, false, false, Gesture::idle, true },      // freezes instead
                          Case { "CL", 600, false, false, Gesture::idle, true },
                          Case { "CALS", 600, false, false, Gesture::gainDrag },
                          Case { "CALM", 600, false, false, Gesture::horizontalDrag },
                          Case { "CAM", 600, false, false, Gesture::horizontalDrag },
                          Case { "CA", 600, false, false, Gesture::idle },
                          Case { "CS", 600, false, false, Gesture::idle },
                          Case { "CSM", 600, false, false, Gesture::horizontalDrag },
                          Case { "C", 600, false, false, Gesture::idle },
                          Case { "ASL", 600, false, false, Gesture::horizontalDrag },
                          Case { "A", 600, false, false, Gesture::idle },
                          Case { "SL", 600, false, false, Gesture::idle },             // no playback region to drag
                          Case { "SL", 600, false, true, Gesture::armedDrag },
                          Case { "SL", 350, true, true, Gesture::armedDrag },
                          Case { "L", 203, false, true, Gesture::armedDrag },          // on the start marker's handle...
                          Case { "L", 203, false, false, Gesture::selecting } })       // ...which only works with a region
    {
        SetUp();

        if (c.onSelection)
            select();

        if (c.playback)
            playbackRegion();

        const int y = c.x == 203 ? 10 : 40;
        press (c.x, y, c.keys);
        EXPECT_EQ (view->getGesture(), c.gesture) << c.keys << " at " << c.x;
        EXPECT_EQ ((*p)->frozen.load(), c.freezes) << c.keys << " at " << c.x;
        release (c.x, y);
        EXPECT_EQ (view->getGesture(), Gesture::idle);
    }
}

TEST_F (StandaloneView, CtrlAltDragMovesTheWindowAndShiftNeverArmsAPlaybackDrag)
{
    press (600, 40, "CAL");
    EXPECT_EQ (view->getGesture(), Gesture::windowDrag);
    release (600, 40);

    (*p)->takeStart = 0.2;
    (*p)->takeEnd = 0.4;   // "Capture Playback" stays off in the standalone program
    press (600, 40, "SL");
    EXPECT_EQ (view->getGesture(), Gesture::idle);
}

TEST_F (StandaloneView, AfterTwoDeepZoomsTheUnsetMarkersAreNotUnderThePointer)
{
    // Two zooms into selections a pixel wide leave a window of about 1e-6 of the ring, which
    // puts the standalone program's unset markers (-2) some 2.7e9 pixels to the left.
    for (const float start : { 0.8f, 0.5f })
    {
        (*p)->selectionStart = start;
        (*p)->selectionLength = 1.01f / 990.0f;
        view->doZoom (true);
        runAudio (1);
    }

    ASSERT_LT ((*p)->zoom.width.load(), 1.1e-6);
    ASSERT_EQ ((*p)->takeStart.load(), -2.0);

    for (const int x : { 0, 5, 500 })
    {
        moveTo (x, 0);   // an idle tick asks what lies under the pointer
        EXPECT_EQ (view->mouseHitTest(), varrow::ViewGeometry::nothing) << x;
    }
}

TEST_F (PlugInView, SelectingLeftwardsGivesANegativeLengthUntilRelease)
{
    press (500, 40, "L");
    EXPECT_NEAR ((*p)->selectionStart, 0.5f, 1.0e-6f);

    moveTo (302, 40);
    EXPECT_NEAR ((*p)->selectionLength, -0.2f, 1.0e-6f);

    release (302, 40);
    EXPECT_NEAR ((*p)->selectionStart, 0.3f, 1.0e-6f);
    EXPECT_NEAR ((*p)->selectionLength, 0.2f, 1.0e-6f);
}

TEST_F (PlugInView, SelectionsAreClampedToTheArea)
{
    press (-20, 40, "L");
    EXPECT_EQ ((*p)->selectionStart, 0.0f);
    moveTo (2000, 40);
    EXPECT_EQ ((*p)->selectionLength, 1.0f);
}

TEST_F (PlugInView, CtrlClickFreezesWithTheParameterOffAndUnfreezesItFromOn)
{
    press (600, 40, "CL");
    EXPECT_TRUE ((*p)->frozen.load());
    EXPECT_EQ (freezeParameter(), 0.0f);   // a freeze from the view leaves the parameter Off
    release (600, 40);

    press (600, 40, "CL");
    EXPECT_FALSE ((*p)->frozen.load());
    release (600, 40);

    // The host automates "Freeze" On; the next block freezes; a ctrl + click unfreezes and
    // switches the parameter Off.
    (*p)->parameters.getParameter ("Freeze")->setValueNotifyingHost (1.0f);
    runAudio (1);
    ASSERT_TRUE ((*p)->frozen.load());
    press (600, 40, "CL");
    EXPECT_FALSE ((*p)->frozen.load());
    EXPECT_EQ (freezeParameter(), 0.0f);
    runAudio (1);
    EXPECT_FALSE ((*p)->frozen.load());
}

TEST_F (PlugInView, AltClickPreviewsFromThePointerUntilRelease)
{
    runAudio (100);
    press (5 + 495, 40, "AL");
    EXPECT_TRUE ((*p)->previewPlaying.load());
    EXPECT_EQ ((*p)->previewFade->getTarget(), 1.0);
    EXPECT_EQ (view->getGesture(), Gesture::idle);   // the next paint hands the start over

    paintView();
    EXPECT_EQ (view->getGesture(), Gesture::preview);
    EXPECT_NEAR ((*p)->previewFraction.load(), 0.5, 1.0e-6);
    runAudio (1);
    EXPECT_NEAR ((*p)->previewFraction.load(), 0.5 + 512.0 / 1440000.0, 1.0e-6);

    release (600, 40);
    EXPECT_FALSE ((*p)->previewPlaying.load());
    EXPECT_EQ ((*p)->previewFade->getTarget(), 0.0);
    EXPECT_EQ (view->getGesture(), Gesture::idle);
}

TEST_F (PlugInView, AnAltTapReleasedBeforeThePaintDoesNotLeaveThePreviewPlaying)
{
    runAudio (100);
    press (500, 40, "AL");
    release (500, 40);
    EXPECT_FALSE ((*p)->previewPlaying.load());
    EXPECT_EQ ((*p)->previewFade->getTarget(), 0.0);

    paintView();
    EXPECT_EQ (view->getGesture(), Gesture::idle);
    press (600, 40, "L");   // the next press is not swallowed by a stale preview
    EXPECT_EQ (view->getGesture(), Gesture::selecting);
}

TEST_F (PlugInView, AViewWithoutAWaveformAreaSelectsAndPreviewsAtItsLeftEdge)
{
    for (const bool laidOut : { true, false })
    {
        SetUp();

        if (laidOut)
        {
            // A window 10 pixels wide (a stored size that small is restored as it is).
            view->setBounds (0, 0, 10, 89);
            paintView();
            runAudio (1);
            paintView();
        }
        else
        {
            // A view that has not painted yet.
            view = std::make_unique<varrow::TestComponent> (**p, pauseButton, settingsButton);
            view->setPointerSource (pointer);
            view->setClock (clock);
            view->setBounds (0, 0, 1000, 89);
        }

        ASSERT_EQ (view->getArea().width, 0) << laidOut;
        const int left = view->getArea().x;

        press (left, 40, "L");
        EXPECT_EQ ((*p)->selectionStart, 0.0f) << laidOut;
        moveTo (left + 3, 40);
        EXPECT_EQ ((*p)->selectionLength, 0.0f) << laidOut;
        release (left + 3, 40);

        (*p)->requestPreviewSeek (0.5);
        runAudio (1);
        press (left, 40, "AL");
        paintView();
        EXPECT_EQ (view->getGesture(), Gesture::preview) << laidOut;
        EXPECT_EQ ((*p)->previewFraction.load(), 0.0) << laidOut;   // the ring's end, where it begins
        runAudio (1);
        EXPECT_NEAR ((*p)->previewFraction.load(), 512.0 / 1440000.0, 1.0e-12) << laidOut;
        release (left, 40);
    }
}

TEST_F (PlugInView, GainDragsFollowThePointerUpwards)
{
    press (600, 40, "CSL");
    moveTo (600, 30);   // ten pixels up
    EXPECT_DOUBLE_EQ ((*p)->displayGain, 1.125);
    moveTo (600, 200);
    EXPECT_EQ ((*p)->displayGain, 0.0);   // never below zero
    release (600, 200);
}

TEST_F (PlugInView, HorizontalDragsRotateTheUnzoomedPictureAndWrap)
{
    press (600, 40, "M");
    moveTo (700, 40);   // right by a tenth of the width: the rotation falls below 0 and wraps
    EXPECT_NEAR ((*p)->displayRotation.load(), 0.9f, 1.0e-6f);
    moveTo (500, 40);
    EXPECT_NEAR ((*p)->displayRotation.load(), 0.1f, 1.0e-6f);
    moveTo (400, 40);
    EXPECT_NEAR ((*p)->displayRotation.load(), 0.2f, 1.0e-6f);
    release (400, 40);
    EXPECT_EQ ((*p)->scrollRequest.load(), -2.0);
}

TEST_F (PlugInView, HorizontalDragsFartherThanTheViewInOneTickStayWithinOneTurn)
{
    press (600, 40, "M");
    moveTo (3100, 40);   // 2.5 widths right in one tick
    ASSERT_NEAR ((*p)->displayRotation.load(), 0.5f, 1.0e-6f);
    moveTo (-1100, 40);  // 4.2 widths left
    ASSERT_NEAR ((*p)->displayRotation.load(), 0.7f, 1.0e-5f);
    release (-1100, 40);

    // A zoom into a selection then asks for a window starting below 2 (0.9 + 0.7).
    (*p)->selectionStart = 0.9f;
    (*p)->selectionLength = 0.05f;
    view->doZoom (true);
    EXPECT_NEAR ((*p)->requestedZoomOffset.load(), 1.6, 1.0e-6);
}

TEST_F (PlugInView, ZoomedHorizontalDragsShowTheRubberBandAndScrollOnRelease)
{
    select();
    view->doZoom (true);
    runAudio (1);
    ASSERT_TRUE ((*p)->zoomed.load());

    press (600, 40, "ASL");
    moveTo (500, 40);
    EXPECT_EQ ((*p)->displayRotation.load(), 0.0f);
    EXPECT_EQ ((*p)->scrollRequest.load(), -2.0);   // nothing moves before the release

    release (500, 40);
    EXPECT_DOUBLE_EQ ((*p)->scrollRequest.load(), 100.0 / 990.0);
    EXPECT_TRUE ((*p)->columnsResetRequested.load());
}

TEST_F (PlugInView, ARightPressOpensTheTrimMenuOnTheSelectionAndTheSettingsMenuElsewhere)
{
    select();
    press (350, 40, "R");
    release (350, 40, "R");
    press (600, 40, "R");
    release (600, 40, "R");
    press (350, 40, "SR");   // whatever the keys
    release (350, 40, "SR");

    EXPECT_EQ (menus.shown, (std::vector<Menu> { Menu::trim, Menu::settings, Menu::trim }));
    EXPECT_EQ (view->getGesture(), Gesture::idle);
    EXPECT_NEAR ((*p)->selectionLength, 100.0f / 990.0f, 1.0e-6f);   // the selection stays
}

TEST_F (PlugInView, PressesDuringAGestureAreIgnored)
{
    press (600, 40, "L");
    press (300, 40, "R");
    press (300, 40, "M");
    press (300, 40, "CL");
    EXPECT_EQ (view->getGesture(), Gesture::selecting);
    EXPECT_NEAR ((*p)->selectionStart, 595.0f / 990.0f, 1.0e-6f);
    EXPECT_TRUE (menus.shown.empty());
    EXPECT_FALSE ((*p)->frozen.load());
}

TEST_F (PlugInView, TheWheelIsIgnoredDuringAGesture)
{
    select();
    press (600, 40, "M");

    juce::MouseWheelDetails details {};
    details.deltaY = 1.0f;
    view->mouseWheelMove (mouseAt (*view, 600, 40, keys ("M")), details);

    EXPECT_FALSE ((*p)->zoomRequestPending.load());
    EXPECT_GT ((*p)->selectionLength, 0.0f);
}

TEST_F (PlugInView, AShortClickOnTheSelectionRemovesIt)
{
    select();
    press (350, 40, "L");
    tick();
    release (350, 40);
    EXPECT_EQ ((*p)->selectionLength, 0.0f);
    EXPECT_TRUE (drag.draggedFiles.isEmpty());
}

TEST_F (PlugInView, AnArmedDragFiresAfterThirtyOnePixelsOrASecond)
{
    writePreferences ({ { "Recording Path", "None" } });

    struct Case { int dx, dy; juce::int64 heldMs; bool fires; };

    // (30, 7) is 30.8 px away in a straight line.
    for (const auto c : { Case { 30, 0, 0, false }, Case { 31, 0, 0, true }, Case { 30, 7, 0, true },
                          Case { 0, 0, 1000, false }, Case { 0, 0, 1001, true } })
    {
        select();
        press (350, 40, "L");
        clock.steadyMs += c.heldMs;
        moveTo (350 + c.dx, 40 + c.dy);

        // Nothing can be written without a recording folder: the drag ends on the same tick.
        EXPECT_EQ ((*p)->selectionLength == 0.0f, c.fires) << c.dx << "," << c.dy << " px, " << c.heldMs << " ms";
        EXPECT_EQ (view->getGesture(), c.fires ? Gesture::idle : Gesture::armedDrag);
        release (350 + c.dx, 40 + c.dy);
    }
}

TEST_F (PlugInView, AFileWrittenForTheDragLeavesAtTheNextDragEvent)
{
    holdOnTheSelectionUntilItsFileIsWritten();
    ASSERT_EQ (view->getGesture(), Gesture::fileDrag);
    ASSERT_EQ (snippetsWritten(), 1);

    view->mouseDrag (mouseAt (*view, 360, 40, keys ("L")));
    ASSERT_EQ (drag.draggedFiles, juce::StringArray ((*p)->lastWrittenFile));
    EXPECT_TRUE (juce::File ((*p)->lastWrittenFile).existsAsFile());
    EXPECT_FALSE ((*p)->dragPending);
    view->mouseDrag (mouseAt (*view, 380, 40, keys ("L")));
    EXPECT_EQ (drag.draggedFiles.size(), 1);   // one drag per file

    drag.finish();   // dropped
    EXPECT_FALSE ((*p)->fileReadyForDrag);
    EXPECT_EQ ((*p)->selectionLength, 0.0f);
    release (380, 40);
    EXPECT_EQ (view->getGesture(), Gesture::idle);
    EXPECT_EQ (snippetsWritten(), 1);
}

TEST_F (PlugInView, ReleasingDuringAFileDragKeepsTheFileWaitingForTheNextDrag)
{
    holdOnTheSelectionUntilItsFileIsWritten();
    ASSERT_EQ (view->getGesture(), Gesture::fileDrag);

    release (350, 40);   // before the pointer moved: nothing to drag yet
    EXPECT_EQ (view->getGesture(), Gesture::fileDrag);
    tick();
    EXPECT_EQ (view->getGesture(), Gesture::fileDrag);
    EXPECT_GT ((*p)->selectionLength, 0.0f);
    EXPECT_TRUE ((*p)->dragPending);
    EXPECT_TRUE (drag.draggedFiles.isEmpty());

    // The next press is ignored as a gesture; its drag takes the waiting file out.
    press (500, 40, "L");
    EXPECT_EQ (view->getGesture(), Gesture::fileDrag);
    view->mouseDrag (mouseAt (*view, 510, 40, keys ("L")));
    ASSERT_EQ (drag.draggedFiles, juce::StringArray ((*p)->lastWrittenFile));

    drag.finish();
    release (510, 40);
    tick();
    EXPECT_EQ (view->getGesture(), Gesture::idle);
    EXPECT_EQ ((*p)->selectionLength, 0.0f);
    EXPECT_EQ (snippetsWritten(), 1);
}

TEST_F (PlugInView, ARefusedExternalDragEndsAtOnce)
{
    drag.accepts = false;
    (*p)->lastWrittenFile = "/tmp/VA_take.wav";
    (*p)->fileReadyForDrag = (*p)->dragPending = true;
    select();

    view->mouseDrag (mouseAt (*view, 360, 40, keys ("L")));
    EXPECT_FALSE ((*p)->fileReadyForDrag);
    EXPECT_EQ ((*p)->selectionLength, 0.0f);
}

TEST_F (PlugInView, TheWheelZoomsInToTheSelectionAndOutToTheWholeRing)
{
    const auto wheel = [this] (float dy)
    {
        juce::MouseWheelDetails details {};
        details.deltaY = dy;
        view->mouseWheelMove (mouseAt (*view, 500, 40, {}), details);
    };

    wheel (1.0f);
    EXPECT_FALSE ((*p)->zoomRequestPending.load());   // no selection
    wheel (-1.0f);
    EXPECT_FALSE ((*p)->zoomRequestPending.load());   // not zoomed

    select();
    wheel (1.0f);
    ASSERT_TRUE ((*p)->zoomRequestPending.load());
    EXPECT_NEAR ((*p)->requestedZoomOffset.load(), 295.0 / 990.0, 1.0e-6);
    EXPECT_NEAR ((*p)->requestedZoomWidth.load(), 100.0 / 990.0, 1.0e-6);
    EXPECT_EQ ((*p)->selectionLength, 0.0f);
    EXPECT_FALSE ((*p)->displayReady.load());
    EXPECT_EQ (view->zoomBand.getTarget(), 1.0);

    runAudio (1);
    wheel (-1.0f);
    EXPECT_TRUE ((*p)->zoomRequestPending.load());
    EXPECT_EQ ((*p)->requestedZoomOffset.load(), 0.0);
    EXPECT_EQ ((*p)->requestedZoomWidth.load(), 1.0);
    EXPECT_EQ (view->zoomBand.getTarget(), 0.0);
}

TEST_F (PlugInView, TheZKeyZoomsInOnlyWhenTheSelectionIsWiderThanAPixel)
{
    (*p)->selectionStart = 0.5f;
    (*p)->selectionLength = 1.0f / 990.0f;   // exactly one pixel
    EXPECT_TRUE (view->keyPressed (juce::KeyPress ('z')));
    EXPECT_FALSE ((*p)->zoomRequestPending.load());   // zoomed out... of nothing

    (*p)->selectionLength = 2.0f / 990.0f;
    EXPECT_TRUE (view->keyPressed (juce::KeyPress ('z')));
    EXPECT_TRUE ((*p)->zoomRequestPending.load());
}

TEST_F (PlugInView, TheSKeyExportsTheSelectionAndLetsTheKeyPassOn)
{
    writePreferences ({ { "Recording Path", "None" } });

    EXPECT_FALSE (view->keyPressed (juce::KeyPress ('s')));
    EXPECT_TRUE ((*p)->recordingPathSet);   // nothing was attempted without a selection

    select();
    EXPECT_FALSE (view->keyPressed (juce::KeyPress ('s')));
    EXPECT_FALSE ((*p)->recordingPathSet);   // the export found no folder
    EXPECT_EQ ((*p)->selectionLength, 0.0f);

    EXPECT_FALSE (view->keyPressed (juce::KeyPress ('x')));
}

TEST_F (PlugInView, KeysAreIgnoredDuringAGesture)
{
    select();
    press (600, 40, "M");
    EXPECT_FALSE (view->keyPressed (juce::KeyPress ('z')));
    EXPECT_FALSE ((*p)->zoomRequestPending.load());
}

TEST_F (PlugInView, TheIdleCursorShowsWhatAPressWouldDo)
{
    using Cursor = juce::MouseCursor;
    select();
    playbackRegion();

    struct Case { const char* keys; int x, y; Cursor::StandardCursorType cursor; double highlight; };

    for (const auto c : { Case { "", 600, 40, Cursor::IBeamCursor, 0.0 },
                          Case { "", 350, 40, Cursor::PointingHandCursor, 0.0 },
                          Case { "", 203, 10, Cursor::PointingHandCursor, 1.0 },
                          Case { "C", 600, 40, Cursor::CrosshairCursor, 0.0 },
                          Case { "CS", 600, 40, Cursor::UpDownResizeCursor, 0.0 },
                          Case { "SA", 600, 40, Cursor::LeftRightResizeCursor, 0.0 },
                          Case { "S", 600, 40, Cursor::PointingHandCursor, 1.0 } })
    {
        pointer.keys = keys (c.keys);
        moveTo (c.x, c.y);
        EXPECT_TRUE (view->getMouseCursor() == Cursor (c.cursor)) << c.keys << " at " << c.x;
        EXPECT_EQ (view->captureHighlight.getTarget(), c.highlight) << c.keys << " at " << c.x;
    }

    // Each query is a round trip to the X server: over the view the tick asks for the
    // position and the modifiers once each; elsewhere there is no cursor to choose.
    int before = pointer.queries;
    moveTo (600, 40);
    EXPECT_EQ (pointer.queries - before, 2);
    before = pointer.queries;
    moveTo (1200, 40);
    EXPECT_EQ (pointer.queries - before, 1);
    EXPECT_EQ (view->captureHighlight.getTarget(), 0.0);
}
