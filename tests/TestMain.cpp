#include "TestEnvironment.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

int main (int argc, char** argv)
{
    // The home folder (and with it the preferences file) must be a private one before the
    // framework first looks it up.
    quorvel::test::useTemporaryHome();
    quorvel::test::ignoreXErrors();

    ::testing::InitGoogleTest (&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    const int result = RUN_ALL_TESTS();
    quorvel::test::removeTemporaryHome();
    return result;
}
