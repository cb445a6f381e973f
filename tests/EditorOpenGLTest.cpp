#include "AudioPluginAudioProcessorEditor.h"
#include "TestEnvironment.h"

#include <atomic>
#include <memory>

using namespace quorvel::test;

TEST (EditorOpenGL, TheEditorRendersThroughAGlContext)
{
    clearHome();
    writePreferences ({ { "Recording Path", recordingFolder() }, { "OpenGL", "1" } });
    ProcessorUnderTest p;
    p->prepareToPlay (48000.0, 512);
    AudioPluginAudioProcessorEditor editor (*p);
    ASSERT_EQ (editor.openGLContext.getTargetComponent(), &editor);

    editor.addToDesktop (0);
    editor.setVisible (true);
    EXPECT_TRUE (editor.openGLContext.isAttached());   // a native context, now that it shows

    // The context starts rendering on its own thread once the window is on screen; that thread
    // names the renderer (Mesa's software one on a virtual display).
    auto renderer = std::make_shared<juce::String>();
    auto named = std::make_shared<std::atomic<bool>> (false);
    editor.openGLContext.executeOnGLThread ([renderer, named] (juce::OpenGLContext&)
    {
        if (const auto* name = juce::gl::glGetString (juce::gl::GL_RENDERER))
            *renderer = reinterpret_cast<const char*> (name);

        *named = true;
    }, false);

    for (int waited = 0; waited < 10000 && ! named->load(); waited += 20)
        dispatchMessagesFor (20);

    ASSERT_TRUE (named->load());
    EXPECT_FALSE (renderer->isEmpty());
    RecordProperty ("renderer", renderer->toStdString());
    editor.removeFromDesktop();
}
