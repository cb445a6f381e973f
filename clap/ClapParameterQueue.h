#pragma once

#include <clap/events.h>
#include <juce_core/juce_core.h>
#include <array>

/** Parameter changes made in the plug-in (its editor, mostly) on their way to the host.

    One thread pushes (the message thread, where the editor changes parameters) and one thread
    pops (the audio thread in process, or the main thread in a parameter flush; the host never
    runs both at once). The queue is a fixed ring, so neither side allocates or locks.
*/
class ClapParameterQueue
{
public:
    enum class Kind : uint16_t { gestureBegin, value, gestureEnd };

    struct Change
    {
        Kind kind = Kind::value;
        clap_id paramId = 0;
        double value = 0.0;   // the host's plain value; unused for gestures
    };

    /** False when the queue is full; the change is then lost, which only an editor sending
        thousands of changes between two process calls could cause. */
    bool push (const Change& change) noexcept;

    /** Sends every queued change to the host's output list, in order, at sample 0. A change the
        host's list refuses stays queued for the next call. */
    void sendTo (const clap_output_events_t& out) noexcept;

    bool isEmpty() const noexcept   { return fifo.getNumReady() == 0; }

    static constexpr int capacity = 512;

private:
    juce::AbstractFifo fifo { capacity };
    std::array<Change, (size_t) capacity> changes {};
};
