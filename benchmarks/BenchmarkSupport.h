#pragma once

#include "AudioPluginAudioProcessor.h"

/** Discards the processor's messages to the user (such as the first-run dialog). */
class SilentMessages final : public UserMessages
{
public:
    void show (juce::MessageBoxIconType, const juce::String&, const juce::String&, std::function<void()>) override {}
};
