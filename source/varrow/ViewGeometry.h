#pragma once

#include <juce_graphics/juce_graphics.h>

#include <optional>

namespace varrow
{

/** The rectangle the waveform is drawn in, inside the view's margin. */
struct WaveformArea
{
    int x = 0, y = 0, width = 0, height = 0;
};

/** The horizontal model of the picture at one moment: the zoom window over the ring (in ring
    fractions) and the rotation of the unzoomed picture. */
struct ViewWindow
{
    double offset = 0.0, width = 1.0;
    bool zoomed = false;
    float rotation = 0.0f;
};

/** A zoom window to ask the audio thread for. */
struct ZoomRequest
{
    double offset, width;
};

/** The mappings between pixels, view fractions and ring positions, the zoom and scroll
    requests and the hit test of the waveform view, as pure functions. */
class ViewGeometry
{
public:
    enum class Mark
    {
        writeHead,      // a fraction just below 0 wraps to just below 1
        line            // preview line and take markers: 0 itself wraps to 1 (the right edge)
    };

    enum Zone
    {
        nothing = 0,
        onSelection = 1,
        onMarkerHandle = 2
    };

    static constexpr int handleReach = 17;

    static WaveformArea areaFor (int viewWidth, int viewHeight, int columnCount, int margin) noexcept;

    /** The view fraction at which ring position p is drawn; nothing when a zoomed window does
        not show it. */
    static std::optional<double> viewFractionOf (double p, const ViewWindow& window, Mark mark) noexcept;

    /** The pixel of a view fraction, rounded in single precision (write head, selection, preview). */
    static int pixelOf (const WaveformArea& area, double fraction) noexcept;

    /** The view fraction of a pixel column, in single precision (not clamped); 0 while the
        area has no width. */
    static float viewFractionOfPixel (int x, int margin, int areaWidth) noexcept;

    /** The ring position under a pixel column (where a preview starts). */
    static double ringPositionOfPixel (int x, const WaveformArea& area, const ViewWindow& window) noexcept;

    /** How far above the centre line a column value is drawn, for a display of the given half height. */
    static int verticalOffset (float value, double gain, float halfHeight) noexcept;

    /** The window that zooming into the selection asks for; nothing when the selection is
        narrower than a pixel or covers the whole view. */
    static std::optional<ZoomRequest> zoomIn (float selectionStart, float selectionLength, int displayWidth,
                                              const ViewWindow& window) noexcept;

    /** How far, in window widths, a horizontal drag from pressX to releaseX scrolls; not at
        all in a view without inner width. */
    static double scrollFor (int pressX, int releaseX, int viewWidth) noexcept;

    /** What lies under the pointer: the selection, a take marker's handle, or nothing. */
    static Zone hitTest (juce::Point<int> pointer, bool pointerOverView, const WaveformArea& area,
                         float selectionStart, float selectionLength,
                         double takeStart, double takeEnd, const ViewWindow& window) noexcept;

    /** The ring fraction of a write index, with the index held below the capacity: read
        apart from the capacity, it may belong to a ring restarted at another length. */
    static double ringFractionOfIndex (int index, int capacity) noexcept;

    /** A rotation brought into [0, 1), however many turns it is away (a pointer can move
        farther than the view in one tick); anything not finite is no rotation. */
    static float wrapRotation (float rotation) noexcept;

    /** Rounds to the nearest integer, halves away from zero. */
    static int roundHalfAway (float v) noexcept;
};

} // namespace varrow
