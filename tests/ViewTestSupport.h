#pragma once

#include "TestEnvironment.h"
#include "varrow/TestComponent.h"

#include <gtest/gtest.h>

namespace quorvel::test
{

/** A mouse pointer and modifier keys the test moves and presses. */
class FakePointer final : public varrow::PointerSource
{
public:
    juce::Point<int> positionRelativeTo (const juce::Component&) const override   { ++queries; return position; }
    juce::ModifierKeys modifiers() const override                                 { ++queries; return keys; }

    juce::Point<int> position;
    juce::ModifierKeys keys;
    mutable int queries = 0;   // each one a round trip to the X server in the real program
};

/** A clock the test advances. */
class FakeClock final : public varrow::Clock
{
public:
    juce::int64 steadyMilliseconds() const override   { return steadyMs; }
    juce::Time now() const override                   { return juce::Time (wallMs); }

    juce::int64 steadyMs = 1000000;
    juce::int64 wallMs = juce::Time (2026, 11, 9, 12, 0, 0, 0).toMilliseconds();
};

/** Records external drags; the test finishes the drop itself. */
class FakeDrag final : public varrow::ExternalDrag
{
public:
    bool start (const juce::StringArray& files, std::function<void()> onFinished) override
    {
        draggedFiles.add (files.joinIntoString ("|"));
        finish = std::move (onFinished);
        return accepts;
    }

    bool accepts = true;
    juce::StringArray draggedFiles;
    std::function<void()> finish;
};

/** Records the menus the view asks to show; the test picks an item itself. */
class FakeMenus final : public varrow::MenuPresenter
{
public:
    void show (Menu which, juce::PopupMenu& menu, std::function<void (int)> onChosen) override
    {
        shown.push_back (which);
        lastMenu = menu;
        choose = std::move (onChosen);
    }

    std::vector<Menu> shown;
    juce::PopupMenu lastMenu;
    std::function<void (int)> choose;
};

/** Takes the place of the waveform's image cache and counts its invalidations: each one is a
    re-render of the waveform at the next paint. */
class RenderCounter final : public juce::CachedComponentImage
{
public:
    void paint (juce::Graphics&) override {}
    bool invalidateAll() override                         { ++renders; return true; }
    bool invalidate (const juce::Rectangle<int>&) override { ++renders; return true; }
    void releaseResources() override {}

    int renders = 0;
};

/** Puts a RenderCounter in place of the component's image cache; the component owns it. */
RenderCounter& countRenders (juce::Component& component);

/** Modifier flags from a short spelling: L M R for the buttons, S C A for shift, ctrl and alt. */
juce::ModifierKeys keys (const char* spelling);

/** A mouse event on a component at (x, y) with the given buttons and keys held. */
juce::MouseEvent mouseAt (juce::Component& component, int x, int y, juce::ModifierKeys mods);

/** Paints a component (alone, without its children) into a fresh image. */
juce::Image paintAlone (juce::Component& component);

/** A prepared processor (plug-in or standalone) with a view of 1000 x 89 over it, whose
    pointer, clock and external drag belong to the test. */
class ViewFixture : public ::testing::Test
{
protected:
    explicit ViewFixture (bool standalone = false);

    void SetUp() override;

    /** The snippets the exporter has written into the recording folder so far. */
    static int snippetsWritten();

    /** Runs blocks of a constant input through the processor, as the audio thread would. */
    void runAudio (int blocks, float value = 0.5f, int blockSize = 512);

    /** Lays the view out (and publishes its width) by painting it once. */
    void paintView();

    /** Moves the pointer to (x, y), lets a tick see it there, then presses. */
    void press (int x, int y, const char* spelling);
    void release (int x, int y, const char* spelling = "L");
    void moveTo (int x, int y);   // and one tick
    void tick();

    std::unique_ptr<ProcessorUnderTest> p;
    juce::Component pauseButton, settingsButton;
    std::unique_ptr<varrow::TestComponent> view;
    FakePointer pointer;
    FakeClock clock;
    FakeDrag drag;
    FakeMenus menus;

private:
    bool standalone;
};

} // namespace quorvel::test
