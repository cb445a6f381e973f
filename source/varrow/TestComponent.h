#pragma once

#include "Clock.h"
#include "ExternalDrag.h"
#include "MenuPresenter.h"
#include "PointerSource.h"
#include "StandaloneShell.h"
#include "Theme.h"
#include "ViewGeometry.h"
#include "../Smoother.h"
#include "../WaveformDisplay.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <functional>
#include <optional>

class AudioPluginAudioProcessor;

namespace varrow
{

/** The interactive layer of the waveform: a transparent component over the whole editor that
    draws the fast-moving overlays (write head, selection, markers, tints) and turns mouse
    buttons, modifier keys, pointer motion and two letter keys into selections, zooms,
    scrolls, gain changes, freezes, previews, file drags and window drags.

    Mouse events start and end a gesture; the editor's 16 ms tick calls timerTasks(), which
    follows the pointer, sets the cursor and advances the running gesture. Results are written
    into the processor or handed to the exporter.
*/
class TestComponent final : public juce::Component
{
public:
    enum class Gesture
    {
        idle = 0,
        selecting = 1,
        fileDrag = 2,
        armedDrag = 3,
        horizontalDrag = 4,
        gainDrag = 5,
        preview = 6,
        windowDrag = 7
    };

    TestComponent (AudioPluginAudioProcessor& processor, juce::Component& pauseButton, juce::Component& settingsButton);
    ~TestComponent() override;

    //==============================================================================
    void paint (juce::Graphics& g) override;
    void mouseDown (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void mouseEnter (const juce::MouseEvent& e) override;
    void mouseExit (const juce::MouseEvent& e) override;
    void mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel) override;
    bool keyPressed (const juce::KeyPress& key) override;

    /** Follows the pointer and advances the running gesture; called on every editor tick. */
    void timerTasks();

    /** Toggles freezing from the user interface (ctrl + click, the pause button). */
    void pause();

    /** Asks for a zoom into the selection, or back out to the whole ring. */
    void doZoom (bool zoomIn);

    /** What lies under the pointer now: 0 nothing, 1 the selection, 2 a take marker's handle. */
    int mouseHitTest();

    /** What of the view's picture can differ from the previous tick's. */
    struct Changes
    {
        bool everything = true;
        juce::Rectangle<int> writeHead;   // the band the head swept, with its trail and fade
        juce::Rectangle<int> grip;        // the resize grip, while its colour is animated
        bool waveform = true;             // the waveform's own look (theme, gain, shape) changed
    };

    /** Called once per tick: all of the view, unless the write head's move is the only change
        since the last call. Painting just that keeps the picture exactly as a full repaint
        would, for a fraction of the cost. */
    Changes changesSinceLastTick();

    /** The settings menu, and the settings button's own menu. */
    void showContextMenu();
    void showTrimMenu();
    void showHideContextButtonMenu();

    //==============================================================================
    /** Makes a stored theme number (1 to 5; others mean 1) the current theme. */
    void selectTheme (int number);
    const Theme& getTheme() const noexcept      { return *theme; }
    int getThemeNumber() const noexcept;

    /** Seconds within the current minute, the clock of every colour animation. */
    float animationTime() const;

    Gesture getGesture() const noexcept         { return gesture; }
    bool isFrozen() const noexcept;
    const WaveformArea& getArea() const noexcept   { return area; }
    ViewWindow currentWindow() const noexcept;

    void setPointerSource (PointerSource& source) noexcept   { pointer = &source; }
    void setClock (Clock& newClock) noexcept                  { clock = &newClock; }
    void setExternalDrag (ExternalDrag& drag) noexcept        { externalDrag = &drag; }
    void setMenuPresenter (MenuPresenter& presenter) noexcept { menuPresenter = &presenter; }
    void setStandaloneShell (StandaloneShell& newShell) noexcept { shell = &newShell; }
    Clock& getClock() const noexcept                          { return *clock; }

    //==============================================================================
    const int margin = 5;

    /** Repaints everything that shows the theme; the editor installs it. */
    std::function<void()> onThemeChanged;

    /** Writes the selection (or the playback region) as a snippet file, for a drag or for the
        's' key: the processor's exporter unless a test stands in for it. */
    std::function<void (bool usePlaybackRegion, bool forDrag)> writeSnippet;

    const Theme* theme = &Theme::all()[0];

    // The three animations, stepped once per paint of this view.
    Smoother freezeTint { 0.3788548423845485, 0.0, 0.0 };
    Smoother zoomBand { 0.21187237225468902, 0.0, 0.0 };
    Smoother captureHighlight { 0.3788548423845485, 0.0, 0.0 };

    WaveformDisplay waveformDisplay;

    static constexpr int numMenus = 13;

private:
    /** Everything but the write head and the clock that the overlays are drawn from. */
    struct FrameKey
    {
        juce::Rectangle<int> bounds;
        int areaX, areaWidth, areaHeight;
        Gesture gesture;
        float selectionStart, selectionLength, rotation;
        bool rubberBand, frozen, zoomed, capturePlayback, recordingPathSet, prepared;
        juce::Point<int> press, pointer;
        double takeStart, takeEnd, offset, width, previewStart;
        const Theme* theme;

        bool operator== (const FrameKey& other) const noexcept;
    };

    /** What the waveform image is drawn from besides the columns and the zoom. */
    struct WaveformKey
    {
        const Theme* theme;
        double displayGain;
        bool legacyDisplay;

        bool operator== (const WaveformKey& other) const noexcept;
    };

    FrameKey currentFrameKey() const noexcept;
    std::optional<double> writeHeadPosition() const noexcept;   // as a ring fraction; nothing without a ring
    juce::Rectangle<int> writeHeadBand() const noexcept;
    bool isAnimating() const noexcept;

    int hitTestAt (juce::Point<int> where) const;   // mouseHitTest at a position already polled
    void handlePress (const juce::MouseEvent& e);
    void startPreview (int x);
    void stopPreview();
    void clearPendingDrag();
    void armDrag (bool playbackRegion);
    void updateIdleCursor (const juce::ModifierKeys& mods, juce::Point<int> where);
    void showMenu (MenuPresenter::Menu which, juce::PopupMenu& menu, std::function<void (int)> onChosen);
    void layOut();

    void paintWriteHead (juce::Graphics& g, const ViewWindow& window);
    void paintPreviewLine (juce::Graphics& g, const ViewWindow& window, float t);
    void paintTakeMarkers (juce::Graphics& g, const ViewWindow& window);
    void paintSelection (juce::Graphics& g);
    void paintRubberBand (juce::Graphics& g);
    void paintResizeGrip (juce::Graphics& g, float t);
    void paintReminder (juce::Graphics& g);
    void verticalLine (juce::Graphics& g, int x, float top, float bottom, juce::Colour colour);

    AudioPluginAudioProcessor& processor;
    juce::Component& pauseButton;      // both shown and hidden from the settings menu
    juce::Component& settingsButton;

    PointerSource* pointer = &PointerSource::desktop();
    Clock* clock = &Clock::system();
    ExternalDrag* externalDrag = &ExternalDrag::platform();
    MenuPresenter* menuPresenter = &MenuPresenter::popup();
    StandaloneShell* shell = &StandaloneShell::current();

    Gesture gesture = Gesture::idle;
    WaveformArea area;
    juce::Point<int> pressPosition, lastPointer, pointerDelta;
    juce::int64 pressTimeMs = 0;
    bool dragPlaybackRegion = false;
    bool rubberBand = false;
    double pendingPreviewStart = noPreviewStart;

    std::optional<FrameKey> lastFrame;
    std::optional<WaveformKey> lastWaveform;
    juce::Rectangle<int> lastWriteHeadBand;

    std::array<juce::PopupMenu, numMenus> menus;
    juce::ComponentDragger windowDragger;
    juce::ColourGradient bandGradient;
    juce::Path scratch;

    static constexpr double noPreviewStart = -10.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TestComponent)
};

} // namespace varrow
