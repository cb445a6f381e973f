#include "ClapEditorHost.h"

ClapEditorHost::ClapEditorHost (juce::AudioProcessor& processorToUse, ResizeRequest request)
    : processor (processorToUse), requestHostResize (std::move (request))
{
    setOpaque (true);
    editor.reset (processor.createEditorIfNeeded());
    jassert (editor != nullptr);

    if (editor != nullptr)
    {
        addAndMakeVisible (*editor);
        setSize (editor->getWidth(), editor->getHeight());
    }
}

ClapEditorHost::~ClapEditorHost()
{
    if (editor != nullptr)
    {
        processor.editorBeingDeleted (editor.get());
        removeChildComponent (editor.get());
        editor.reset();
    }

    if (isOnDesktop())
        removeFromDesktop();

    // The host may already have destroyed the window ours lived in: the errors of our teardown
    // arrive now, while the filter still keeps them from the host.
    X11ErrorFilter::synchronise();
}

void ClapEditorHost::attachTo (unsigned long parentWindow)
{
    if (isOnDesktop())
        removeFromDesktop();

    addToDesktop (0, reinterpret_cast<void*> (parentWindow));
    setVisible (true);
}

juce::Rectangle<int> ClapEditorHost::adjustedSize (int width, int height) const
{
    if (editor == nullptr)
        return { width, height };

    auto* constrainer = editor->getConstrainer();

    if (! isEditorResizable() || constrainer == nullptr)
        return editor->getLocalBounds();

    const auto limit = [] (int value, int minimum, int maximum) { return juce::jlimit (minimum, juce::jmax (minimum, maximum), value); };
    return { limit (width, constrainer->getMinimumWidth(), constrainer->getMaximumWidth()),
             limit (height, constrainer->getMinimumHeight(), constrainer->getMaximumHeight()) };
}

bool ClapEditorHost::isEditorResizable() const
{
    // An editor that sizes itself from its own corner has limits, and the host's window frame
    // may use the same freedom.
    return editor != nullptr && (editor->isResizable() || editor->getConstrainer() != nullptr);
}

void ClapEditorHost::resized()
{
    if (editor == nullptr)
        return;

    const juce::ScopedValueSetter<bool> settingSize (resizingEditor, true);
    editor->setBounds (getLocalBounds());
}

void ClapEditorHost::childBoundsChanged (juce::Component* child)
{
    if (resizingEditor || child != editor.get() || editor == nullptr)
        return;

    const auto wanted = editor->getLocalBounds();

    if (wanted.getWidth() == getWidth() && wanted.getHeight() == getHeight())
        return;

    if (requestHostResize != nullptr && requestHostResize (wanted.getWidth(), wanted.getHeight()))
    {
        setSize (wanted.getWidth(), wanted.getHeight());
        return;
    }

    // Refused: the editor goes back to the size the host gives us.
    resized();
}
