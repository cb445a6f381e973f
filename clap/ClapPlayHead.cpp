#include "ClapPlayHead.h"

#include <clap/fixedpoint.h>

void ClapPlayHead::update (const clap_event_transport_t* transport) noexcept
{
    hasTransport = transport != nullptr;

    if (! hasTransport)
        return;

    PositionInfo info;
    const auto flags = transport->flags;

    if ((flags & CLAP_TRANSPORT_HAS_TEMPO) != 0)
        info.setBpm (transport->tempo);

    if ((flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) != 0)
        info.setTimeSignature (TimeSignature { transport->tsig_num, transport->tsig_denom });

    if ((flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) != 0)
    {
        info.setPpqPosition ((double) transport->song_pos_beats / (double) CLAP_BEATTIME_FACTOR);
        info.setPpqPositionOfLastBarStart ((double) transport->bar_start / (double) CLAP_BEATTIME_FACTOR);
        info.setBarCount (transport->bar_number);
        info.setLoopPoints (LoopPoints { (double) transport->loop_start_beats / (double) CLAP_BEATTIME_FACTOR,
                                         (double) transport->loop_end_beats / (double) CLAP_BEATTIME_FACTOR });
    }

    if ((flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE) != 0)
        info.setTimeInSeconds ((double) transport->song_pos_seconds / (double) CLAP_SECTIME_FACTOR);

    info.setIsPlaying ((flags & CLAP_TRANSPORT_IS_PLAYING) != 0);
    info.setIsRecording ((flags & CLAP_TRANSPORT_IS_RECORDING) != 0);
    info.setIsLooping ((flags & CLAP_TRANSPORT_IS_LOOP_ACTIVE) != 0);

    position = info;
}

juce::Optional<juce::AudioPlayHead::PositionInfo> ClapPlayHead::getPosition() const
{
    if (! hasTransport)
        return {};

    return position;
}
