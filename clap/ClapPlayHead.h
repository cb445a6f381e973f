#pragma once

#include <clap/events.h>
#include <juce_audio_processors/juce_audio_processors.h>

/** The host's CLAP transport, as the framework's play head presents it to the processor.

    `update` is called on the audio thread at the start of each process call and only copies
    plain values, so the processor reads them back in the same block without locks or heap.
*/
class ClapPlayHead final : public juce::AudioPlayHead
{
public:
    /** Takes the block's transport; nullptr means the host sent none (a free-running host). */
    void update (const clap_event_transport_t* transport) noexcept;

    juce::Optional<PositionInfo> getPosition() const override;

private:
    PositionInfo position;
    bool hasTransport = false;
};
