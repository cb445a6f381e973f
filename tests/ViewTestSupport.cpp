#include "ViewTestSupport.h"

namespace quorvel::test
{

RenderCounter& countRenders (juce::Component& component)
{
    auto* counter = new RenderCounter();
    component.setCachedComponentImage (counter);
    return *counter;
}

juce::ModifierKeys keys (const char* spelling)
{
    int flags = 0;

    for (const char* c = spelling; *c != 0; ++c)
    {
        switch (*c)
        {
            case 'L': flags |= juce::ModifierKeys::leftButtonModifier; break;
            case 'M': flags |= juce::ModifierKeys::middleButtonModifier; break;
            case 'R': flags |= juce::ModifierKeys::rightButtonModifier; break;
            case 'S': flags |= juce::ModifierKeys::shiftModifier; break;
            case 'C': flags |= juce::ModifierKeys::ctrlModifier; break;
            case 'A': flags |= juce::ModifierKeys::altModifier; break;
            default:  break;
        }
    }

    return juce::ModifierKeys (flags);
}

juce::MouseEvent mouseAt (juce::Component& component, int x, int y, juce::ModifierKeys mods)
{
    const auto position = juce::Point<float> ((float) x, (float) y);
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, mods,
                             1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &component, &component, juce::Time::getCurrentTime(),
                             position, juce::Time::getCurrentTime(), 1, false);
}

juce::Image paintAlone (juce::Component& component)
{
    juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g (image);
    component.paint (g);
    return image;
}

ViewFixture::ViewFixture (bool isStandalone) : standalone (isStandalone) {}

void ViewFixture::SetUp()
{
    view.reset();   // a view works on its processor until it is gone
    clearHome();
    writePreferences ({ { "Recording Path", recordingFolder() }, { "OpenGL", "0" } });
    p = std::make_unique<ProcessorUnderTest> (standalone);
    (*p)->prepareToPlay (48000.0, 512);

    view = std::make_unique<varrow::TestComponent> (**p, pauseButton, settingsButton);
    view->setPointerSource (pointer);
    view->setClock (clock);
    view->setExternalDrag (drag);
    view->setMenuPresenter (menus);
    view->setBounds (0, 0, 1000, 89);
    paintView();
    runAudio (1);
    paintView();
}

int ViewFixture::snippetsWritten()
{
    return juce::File (recordingFolder()).getNumberOfChildFiles (juce::File::findFiles, "VA_*.wav");
}

void ViewFixture::runAudio (int blocks, float value, int blockSize)
{
    for (int b = 0; b < blocks; ++b)
    {
        auto block = makeBlock (2, blockSize, [value] (int, int) { return value; });
        processBlock (**p, block);
    }
}

void ViewFixture::paintView()
{
    paintAlone (*view);
}

void ViewFixture::press (int x, int y, const char* spelling)
{
    // The editor's tick runs all the time, so it has seen the pointer arrive here.
    pointer.position = { x, y };
    tick();
    pointer.keys = keys (spelling);
    view->mouseDown (mouseAt (*view, x, y, pointer.keys));
}

void ViewFixture::release (int x, int y, const char* spelling)
{
    pointer.position = { x, y };
    view->mouseUp (mouseAt (*view, x, y, keys (spelling)));
    pointer.keys = {};
}

void ViewFixture::moveTo (int x, int y)
{
    pointer.position = { x, y };
    tick();
}

void ViewFixture::tick()
{
    view->timerTasks();
}

} // namespace quorvel::test
