// A host with no display (a plug-in scanner, a validator, a build step) creates instances too.
// This program runs with no X display at all.

#include "TestEnvironment.h"

#include <gtest/gtest.h>
#include <cstdlib>

TEST (Headless, AnInstanceWithNoFolderStoredComesAndGoesWithoutAScreen)
{
    quorvel::test::clearHome();   // no recording folder: the instance asks for one

    for (int i = 0; i < 2; ++i)
    {
        std::unique_ptr<juce::AudioProcessor> processor (createPluginFilter());
        ASSERT_NE (processor, nullptr);
        quorvel::test::dispatchMessagesFor (50);
    }

    EXPECT_EQ (juce::Desktop::getInstance().getNumComponents(), 0);
}

int main (int argc, char** argv)
{
    unsetenv ("DISPLAY");
    quorvel::test::useTemporaryHome();

    ::testing::InitGoogleTest (&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    const int result = RUN_ALL_TESTS();
    quorvel::test::removeTemporaryHome();
    return result;
}
