#pragma once

#include "X11ErrorFilter.h"
#include <juce_audio_processors/juce_audio_processors.h>
#include <functional>

/** The processor's editor embedded in a host's X11 window.

    The editor lives inside this component, which becomes a child window of the host's window.
    Sizes pass both ways: the host sets ours (and so the editor's), and when the editor resizes
    itself (its resize corner) the new size is put to the host, and taken back if the host
    refuses it.
*/
class ClapEditorHost final : public juce::Component
{
public:
    using ResizeRequest = std::function<bool (int width, int height)>;

    ClapEditorHost (juce::AudioProcessor& processor, ResizeRequest requestHostResize);
    ~ClapEditorHost() override;

    /** Makes this a child window of the host's X window. */
    void attachTo (unsigned long parentWindow);

    /** The nearest size the editor accepts; the same answer for the same question. */
    juce::Rectangle<int> adjustedSize (int width, int height) const;

    bool isEditorResizable() const;

    void resized() override;
    void childBoundsChanged (juce::Component* child) override;

private:
    X11ErrorFilter errorFilter;   // outlives the editor and our window
    juce::AudioProcessor& processor;
    ResizeRequest requestHostResize;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
    bool resizingEditor = false;
};
