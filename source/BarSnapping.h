#pragma once

/** Pads a snippet to a whole power-of-two number of bars (1, 2, 4, 8, ... bars of four beats),
    for hosts that loop clips best at such lengths. Snippets of a minute or more, and snippets
    without a known tempo, keep their length. */
class BarSnapping
{
public:
    /** Whether snapping is asked for and can apply: the option is on, inside Ableton Live,
        not in the standalone program. */
    static bool applies (bool snapFileLength, bool isStandalone, bool hostIsAbletonLive) noexcept;

    /** The snapped length of numSamples samples at the given rate and tempo (beats per minute);
        numSamples itself when no snapping applies. */
    static int snappedLength (int numSamples, int sampleRate, double bpm) noexcept;
};
