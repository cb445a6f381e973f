#include "AudioPluginAudioProcessorEditor.h"
#include "ViewTestSupport.h"

using namespace quorvel::test;

namespace
{

class Editor : public ::testing::Test
{
protected:
    void SetUp() override   { clearHome(); }

    static void storeSize (const char* width, const char* height, std::map<juce::String, juce::String> more = {})
    {
        more["Recording Path"] = recordingFolder();
        more.emplace ("OpenGL", "0");
        more["Display Width"] = width;
        more["Display Height"] = height;
        writePreferences (more);
    }
};

RenderCounter& countWaveformRenders (AudioPluginAudioProcessorEditor& editor)
{
    return countRenders (editor.testComponent.waveformDisplay);
}

/** Counts how often the editor re-rendered the waveform over some 16 ms ticks. */
int waveformRendersOver (AudioPluginAudioProcessorEditor& editor, RenderCounter& counter, FakeClock& clock, int ticks)
{
    const int before = counter.renders;

    for (int t = 0; t < ticks; ++t)
    {
        clock.wallMs += 16;
        editor.timerCallback();
    }

    return counter.renders - before;
}

} // namespace

TEST_F (Editor, TheStoredSizeIsRestoredExactlyEvenBelowTheLimits)
{
    for (const auto& [w, h] : { std::pair ("1000", "89"), std::pair ("100", "40"), std::pair ("2560", "400") })
    {
        storeSize (w, h);
        ProcessorUnderTest p;
        AudioPluginAudioProcessorEditor editor (*p);
        EXPECT_EQ (editor.getWidth(), juce::String (w).getIntValue());
        EXPECT_EQ (editor.getHeight(), juce::String (h).getIntValue());
    }
}

TEST_F (Editor, ResizingIsByTheCornerWithinTheLimits)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    AudioPluginAudioProcessorEditor editor (*p);

    EXPECT_FALSE (editor.isResizable());   // not by the host
    ASSERT_NE (editor.resizableCorner, nullptr);
    EXPECT_EQ (&editor.resizableCorner->getLookAndFeel(), &editor.defaultLAF);

    const auto* limits = editor.getConstrainer();
    ASSERT_NE (limits, nullptr);
    EXPECT_EQ (limits->getMinimumWidth(), 134);
    EXPECT_EQ (limits->getMinimumHeight(), 54);
    EXPECT_EQ (limits->getMaximumWidth(), 10000);

    // The corner draws nothing but still drags.
    const auto corner = editor.resizableCorner->createComponentSnapshot (editor.resizableCorner->getLocalBounds());
    juce::Image blank (juce::Image::ARGB, corner.getWidth(), corner.getHeight(), true);

    for (int y = 0; y < corner.getHeight(); ++y)
        for (int x = 0; x < corner.getWidth(); ++x)
            ASSERT_EQ (corner.getPixelAt (x, y).getAlpha(), 0);

    EXPECT_TRUE (editor.resizableCorner->isVisible());
}

TEST_F (Editor, ClosingStoresTheSizeOnlyWhenItChanged)
{
    storeSize ("1000", "89", { { "Standalone Display Width", "640" } });
    ProcessorUnderTest p;

    {
        AudioPluginAudioProcessorEditor editor (*p);
        preferencesFile().deleteFile();
    }
    EXPECT_FALSE (preferencesFile().exists());   // unchanged: nothing written

    storeSize ("1000", "89", { { "Standalone Display Width", "640" } });
    {
        AudioPluginAudioProcessorEditor editor (*p);
        editor.setSize (800, 120);
    }
    EXPECT_EQ (storedPreference ("Display Width"), "800");
    EXPECT_EQ (storedPreference ("Display Height"), "120");
    EXPECT_EQ (storedPreference ("Standalone Display Width"), "640");

    {
        AudioPluginAudioProcessorEditor editor (*p);   // a new editor reproduces it
        EXPECT_EQ (editor.getWidth(), 800);
        EXPECT_EQ (editor.getHeight(), 120);
    }
}

TEST_F (Editor, LayoutAndZOrder)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    AudioPluginAudioProcessorEditor editor (*p);

    EXPECT_EQ (editor.background.getBounds(), juce::Rectangle<int> (0, 0, 1000, 89));
    EXPECT_EQ (editor.testComponent.waveformDisplay.getBounds(), juce::Rectangle<int> (5, 5, 990, 79));
    EXPECT_EQ (editor.testComponent.getBounds(), juce::Rectangle<int> (0, 0, 1000, 89));
    EXPECT_EQ (editor.playButton.getBounds(), juce::Rectangle<int> (5, 5, 20, 20));
    EXPECT_EQ (editor.contextMenuButton.getBounds(), juce::Rectangle<int> (975, 5, 20, 20));

    const juce::Component* order[] { &editor.background, &editor.testComponent.waveformDisplay, &editor.testComponent,
                                     &editor.playButton, &editor.contextMenuButton };

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ (editor.getChildComponent (i), order[i]) << i;

    EXPECT_TRUE (editor.isOpaque());
    EXPECT_TRUE (editor.background.isOpaque());
    EXPECT_EQ (editor.openGLContext.getTargetComponent(), nullptr);   // "OpenGL" is off here
}

TEST_F (Editor, ButtonsFollowTheirPreferences)
{
    struct Case { const char* pause; const char* context; bool pauseShown, contextShown; };

    for (const auto c : { Case { "0", "1", false, true }, Case { "1", "0", true, false } })
    {
        storeSize ("1000", "89", { { "Pause Button", c.pause }, { "Context Button", c.context } });
        ProcessorUnderTest p;
        AudioPluginAudioProcessorEditor editor (*p);
        EXPECT_EQ (editor.playButton.isVisible(), c.pauseShown);
        EXPECT_EQ (editor.contextMenuButton.isVisible(), c.contextShown);
    }
}

TEST_F (Editor, WhileHiddenTheTickRunsTheViewButRepaintsNothing)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    p->prepareToPlay (48000.0, 512);
    AudioPluginAudioProcessorEditor editor (*p);
    FakeClock clock;
    FakePointer pointer;
    editor.testComponent.setClock (clock);
    editor.testComponent.setPointerSource (pointer);

    ASSERT_FALSE (editor.isShowing());
    editor.createComponentSnapshot (editor.getLocalBounds());   // lays the view out
    pointer.position = { 300, 40 };
    editor.timerCallback();
    editor.testComponent.mouseDown (mouseAt (editor.testComponent, 300, 40, keys ("L")));
    pointer.position = { 500, 40 };

    auto& counter = countWaveformRenders (editor);
    EXPECT_EQ (waveformRendersOver (editor, counter, clock, 10), 0);
    EXPECT_EQ (editor.lastWaveformRepaintMs, 0);
    EXPECT_GT (p->selectionLength, 0.19f);   // the gesture went on
}

TEST_F (Editor, TheWaveformIsRenderedAtTheTargetFrameRateOnTheTicksGrid)
{
    struct Case { const char* fps; juce::int64 clockShiftMs; int renders; };

    // 52 ticks hold a whole number of frame periods at each rate; a wall clock set back an
    // hour must not hold the waveform still.
    for (const auto c : { Case { "20", 0, 13 }, Case { "60", 0, 26 }, Case { "5", 0, 4 }, Case { "20", -3600 * 1000, 13 } })
    {
        storeSize ("1000", "89", { { "Target FPS", c.fps } });
        ProcessorUnderTest p;
        AudioPluginAudioProcessorEditor editor (*p);
        FakeClock clock;
        editor.testComponent.setClock (clock);
        auto& counter = countWaveformRenders (editor);
        editor.addToDesktop (0);
        editor.setVisible (true);
        ASSERT_TRUE (editor.isShowing());

        waveformRendersOver (editor, counter, clock, 10);   // settle onto the grid
        clock.wallMs += c.clockShiftMs;
        EXPECT_EQ (waveformRendersOver (editor, counter, clock, 52), c.renders) << c.fps << " fps, clock moved " << c.clockShiftMs;
        editor.removeFromDesktop();
    }
}

TEST_F (Editor, ChoosingAThemeRepaintsEverythingThroughTheHook)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    AudioPluginAudioProcessorEditor editor (*p);

    // The background is cached as an image: painted once in Carbon, it stays so until the
    // hook invalidates it.
    EXPECT_EQ (editor.createComponentSnapshot (editor.getLocalBounds()).getPixelAt (2, 40).getARGB(), 0xff282828u);

    ASSERT_TRUE (editor.testComponent.onThemeChanged != nullptr);
    editor.testComponent.selectTheme (3);
    editor.testComponent.onThemeChanged();

    const auto image = editor.createComponentSnapshot (editor.getLocalBounds());
    EXPECT_EQ (image.getPixelAt (2, 40).getARGB(), 0xffeceadfu);    // Bright's (236, 234, 223)
    EXPECT_EQ (image.getPixelAt (500, 5).getARGB(), 0xff787878u);   // and its frame
}

TEST_F (Editor, AStoredThemeIsSelectedWhenTheViewIsMade)
{
    for (const auto& [stored, name] : { std::pair ("4", "Vintage"), std::pair ("0", "Carbon"), std::pair ("7", "Carbon") })
    {
        storeSize ("1000", "89", { { "Selected Theme", stored } });
        ProcessorUnderTest p;
        AudioPluginAudioProcessorEditor editor (*p);
        EXPECT_STREQ (editor.testComponent.getTheme().name, name);
    }
}

TEST_F (Editor, ThePlayButtonTogglesFreezeAndShowsIt)
{
    storeSize ("1000", "89", { { "Pause Button", "1" } });
    ProcessorUnderTest p;
    AudioPluginAudioProcessorEditor editor (*p);
    auto& button = editor.playButton;

    const auto dotAt = [&button] { return button.createComponentSnapshot (button.getLocalBounds()).getPixelAt (10, 10); };
    EXPECT_EQ (dotAt().getARGB(), 0xff873234u);

    button.mouseDown (mouseAt (button, 10, 10, keys ("L")));
    EXPECT_TRUE (p->frozen.load());
    EXPECT_EQ (dotAt().getARGB(), juce::Colour (50, 50, 50).getARGB());   // Carbon's background, 10 lighter

    button.mouseDown (mouseAt (button, 10, 10, keys ("L")));
    EXPECT_FALSE (p->frozen.load());

    // On the light theme the frozen dot is darker than the face.
    const auto& bright = varrow::Theme::all()[2];
    EXPECT_LT (PlayButton::dotColour (bright, true).getBrightness(), bright.background.toJuceColor().getBrightness());

    for (const auto& theme : varrow::Theme::all())
    {
        if (! theme.light)
        {
            EXPECT_GT (PlayButton::dotColour (theme, true).getBrightness(), theme.background.toJuceColor().getBrightness());
        }
    }
}

TEST_F (Editor, ClosingStopsAPreviewAndNoEditorTakesOverAPendingDrag)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    p->prepareToPlay (48000.0, 512);
    FakePointer pointer;

    {
        AudioPluginAudioProcessorEditor editor (*p);
        auto& view = editor.testComponent;
        view.setPointerSource (pointer);
        editor.createComponentSnapshot (editor.getLocalBounds());   // lays the view out

        pointer.position = { 500, 40 };
        view.mouseDown (mouseAt (view, 500, 40, keys ("AL")));
        editor.createComponentSnapshot (editor.getLocalBounds());
        ASSERT_EQ (view.getGesture(), varrow::TestComponent::Gesture::preview);
        ASSERT_TRUE (p->previewPlaying.load());

        p->fileReadyForDrag = p->dragPending = true;   // a drag's file written, the drag not started
    }   // closed with the button still down: no mouse-up ever comes

    EXPECT_FALSE (p->previewPlaying.load());
    EXPECT_EQ (p->previewFade->getTarget(), 0.0);
    EXPECT_FALSE (p->fileReadyForDrag);
    EXPECT_FALSE (p->dragPending);

    // A drag's file that was written after its editor closed is not dragged by the next one.
    p->fileReadyForDrag = p->dragPending = true;
    AudioPluginAudioProcessorEditor next (*p);
    EXPECT_FALSE (p->fileReadyForDrag);
    EXPECT_FALSE (p->dragPending);
}

TEST_F (Editor, LookAndFeelColoursAreSetForMenusAndDialogs)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    AudioPluginAudioProcessorEditor editor (*p);
    auto& laf = juce::LookAndFeel::getDefaultLookAndFeel();

    struct Case { int id; juce::uint32 argb; };

    for (const auto c : { Case { juce::PopupMenu::backgroundColourId, 0xff242424 },
                          Case { juce::PopupMenu::textColourId, 0xfff0f0f0 },
                          Case { juce::PopupMenu::headerTextColourId, 0xfff0f0f0 },
                          Case { juce::PopupMenu::highlightedBackgroundColourId, 0xff3c3c3c },
                          Case { juce::AlertWindow::backgroundColourId, 0xff242424 },
                          Case { juce::TextEditor::backgroundColourId, 0xff373737 },
                          Case { juce::TextButton::buttonColourId, 0xff2d2d2d },
                          Case { juce::TextButton::buttonOnColourId, 0xff373737 },
                          Case { juce::ComboBox::backgroundColourId, 0xff232323 },
                          Case { juce::ComboBox::buttonColourId, 0xff232323 },
                          Case { juce::ListBox::backgroundColourId, 0xff262626 },
                          Case { juce::ResizableWindow::backgroundColourId, 0xff232323 } })
    {
        EXPECT_EQ (laf.findColour (c.id).getARGB(), c.argb) << std::hex << c.id;
    }
}

TEST_F (Editor, TheStandaloneWindowTakesTheDarkBackground)
{
    storeSize ("1000", "89");
    auto* v4 = dynamic_cast<juce::LookAndFeel_V4*> (&juce::LookAndFeel::getDefaultLookAndFeel());
    ASSERT_NE (v4, nullptr);
    using Scheme = juce::LookAndFeel_V4::ColourScheme;
    const auto original = v4->getCurrentColourScheme();

    {
        ProcessorUnderTest plugIn (false);
        AudioPluginAudioProcessorEditor editor (*plugIn);
        EXPECT_EQ (v4->getCurrentColourScheme().getUIColour (Scheme::windowBackground), original.getUIColour (Scheme::windowBackground));
    }

    ProcessorUnderTest standalone (true);
    AudioPluginAudioProcessorEditor editor (*standalone);
    EXPECT_EQ (v4->getCurrentColourScheme().getUIColour (Scheme::windowBackground).getARGB(), 0xff242424u);
    v4->setColourScheme (original);
}

TEST_F (Editor, TheSettingsButtonDrawsAChevronAndOpensItsMenus)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    AudioPluginAudioProcessorEditor editor (*p);
    FakeMenus menus;
    editor.testComponent.setMenuPresenter (menus);
    auto& button = editor.contextMenuButton;

    // Carbon: the accent (80, 150, 240) at 0.75 over the face (40, 40, 40) is (70, 122, 190);
    // the chevron runs from (7, 8) through (10, 12) to (13, 8).
    const auto image = button.createComponentSnapshot (button.getLocalBounds());
    int chevron = 0;

    for (int y = 1; y < 19; ++y)
    {
        for (int x = 1; x < 19; ++x)
        {
            const auto pixel = image.getPixelAt (x, y);
            const bool strong = std::abs (pixel.getRed() - 70) + std::abs (pixel.getGreen() - 122) + std::abs (pixel.getBlue() - 190) < 40;
            const bool face = pixel.getARGB() == 0xff282828u;
            const bool near = x >= 6 && x <= 14 && y >= 7 && y <= 13;

            EXPECT_TRUE (near || face) << x << "," << y;
            chevron += strong ? 1 : 0;
        }
    }

    EXPECT_GE (chevron, 6);
    EXPECT_EQ (image.getPixelAt (0, 10).getARGB(), 0xff505050u);   // the frame
    EXPECT_EQ (image.getPixelAt (10, 16).getARGB(), 0xff282828u);  // below the tip

    // Left and middle clicks open the settings menu; a right click only the "Hide" menu.
    button.mouseDown (mouseAt (button, 10, 10, keys ("L")));
    button.mouseDown (mouseAt (button, 10, 10, keys ("M")));
    button.mouseDown (mouseAt (button, 10, 10, keys ("R")));

    using Menu = varrow::MenuPresenter::Menu;
    ASSERT_EQ (menus.shown, (std::vector<Menu> { Menu::settings, Menu::settings, Menu::hideButton }));
    ASSERT_EQ (menus.lastMenu.getNumItems(), 1);
    juce::PopupMenu::MenuItemIterator item (menus.lastMenu);
    ASSERT_TRUE (item.next());
    EXPECT_EQ (item.getItem().itemID, 1);
    EXPECT_EQ (item.getItem().text, "Hide");
    EXPECT_TRUE (item.getItem().isEnabled);
    EXPECT_FALSE (item.getItem().isTicked);

    menus.choose (1);
    EXPECT_FALSE (button.isVisible());
    EXPECT_FALSE (p->showContextButton);
    EXPECT_EQ (storedPreference ("Context Button"), "0");
}

TEST_F (Editor, BetweenChangesOnlyWhatTheWriteHeadSweptIsRepainted)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    p->prepareToPlay (48000.0, 512);
    AudioPluginAudioProcessorEditor editor (*p);
    auto& view = editor.testComponent;
    editor.createComponentSnapshot (editor.getLocalBounds());   // lays the view out

    const auto audio = [&p] (int blocks)
    {
        for (int b = 0; b < blocks; ++b)
        {
            auto block = makeBlock (2, 512, [] (int, int) { return 0.1f; });
            processBlock (*p, block);
        }
    };

    audio (200);
    EXPECT_TRUE (view.changesSinceLastTick().everything);   // the first tick

    // The head moves from 102400 / 1440000 of the ring (990 * 0.0711 + 5 = 75.4: column 75) to
    // 153600 / 1440000 (990 * 0.1067 + 5 = 110.6: column 111).
    audio (100);
    const auto steady = view.changesSinceLastTick();

    ASSERT_FALSE (steady.everything);
    EXPECT_EQ (steady.writeHead, juce::Rectangle<int> (75 - 30, 5, 111 - 75 + 52, 79));   // old and new, trail and fade
    EXPECT_TRUE (steady.grip.isEmpty());   // Carbon's grip does not change colour
    EXPECT_TRUE (view.changesSinceLastTick().writeHead.isEmpty());   // the head stayed on its column

    p->selectionStart = 0.2f;
    p->selectionLength = 0.1f;
    EXPECT_TRUE (view.changesSinceLastTick().everything);
    EXPECT_FALSE (view.changesSinceLastTick().everything);

    p->frozen = true;   // the tint fades in over the next frames
    EXPECT_TRUE (view.changesSinceLastTick().everything);
    editor.createComponentSnapshot (editor.getLocalBounds());
    EXPECT_TRUE (view.changesSinceLastTick().everything);

    view.selectTheme (2);   // a palette theme animates the grip's colour
    view.freezeTint.current = view.freezeTint.getTarget();
    view.changesSinceLastTick();
    const auto palette = view.changesSinceLastTick();
    EXPECT_FALSE (palette.everything);
    EXPECT_EQ (palette.grip, juce::Rectangle<int> (984, 73, 16, 16));

    // A capture highlight left mid-fade when "Capture Playback" goes off never steps again:
    // it must not count as moving.
    p->capturePlayback = false;
    view.captureHighlight.current = 0.5;
    EXPECT_FALSE (view.changesSinceLastTick().everything);
}

TEST_F (Editor, APartialRepaintLeavesThePictureAsAFullOneWould)
{
    storeSize ("1000", "89");
    ProcessorUnderTest p;
    p->prepareToPlay (48000.0, 512);
    AudioPluginAudioProcessorEditor editor (*p);
    editor.createComponentSnapshot (editor.getLocalBounds());

    for (int b = 0; b < 300; ++b)
    {
        auto block = makeBlock (2, 512, [b] (int, int i) { return 0.3f * std::sin ((float) (b * 512 + i) * 0.01f); });
        processBlock (*p, block);
    }

    // A window image painted in full, then moved on by repainting only the changed band...
    juce::Image window (juce::Image::ARGB, 1000, 89, true);
    {
        juce::Graphics g (window);
        editor.paintEntireComponent (g, true);
    }

    editor.testComponent.changesSinceLastTick();
    auto block = makeBlock (2, 4096, [] (int, int) { return 0.0f; });
    processBlock (*p, block);
    const auto changes = editor.testComponent.changesSinceLastTick();
    ASSERT_FALSE (changes.everything);

    {
        juce::Graphics g (window);
        g.reduceClipRegion (changes.writeHead);
        editor.paintEntireComponent (g, true);
    }

    // ...equals a fresh full paint.
    juce::Image full (juce::Image::ARGB, 1000, 89, true);
    {
        juce::Graphics g (full);
        editor.paintEntireComponent (g, true);
    }

    for (int y = 0; y < 89; ++y)
        for (int x = 0; x < 1000; ++x)
            ASSERT_EQ (window.getPixelAt (x, y).getARGB(), full.getPixelAt (x, y).getARGB()) << x << "," << y;
}
