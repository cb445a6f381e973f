#pragma once

#include "AudioPluginAudioProcessor.h"

/** Discards the processor's messages to the user (such as the first-run dialog). */
class SilentMessages final : public UserMessages
{
public:
    void show (juce::MessageBoxIconType, const juce::String&, const juce::String&, std::function<void()>) override {}
};

/** Asks for a zoom as the view does; the audio thread applies it at its next block. */
inline void requestZoom (AudioPluginAudioProcessor& p, double offset, double width)
{
    p.requestedZoomOffset = offset;
    p.requestedZoomWidth = width;
    p.zoomRequestPending = true;
}
