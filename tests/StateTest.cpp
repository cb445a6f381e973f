#include "TestEnvironment.h"
#include "ValueTreeStreamCheck.h"

#include <gtest/gtest.h>

using namespace quorvel::test;

namespace
{

class State : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearHome();
        writePreferences ({ { "Recording Path", recordingFolder() } });
    }

    static juce::MemoryBlock saveState (AudioPluginAudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block;
    }

    static void restore (AudioPluginAudioProcessor& p, const juce::MemoryBlock& block)
    {
        p.setStateInformation (block.getData(), (int) block.getSize());
    }

    static juce::MemoryBlock streamOf (const juce::ValueTree& tree)
    {
        juce::MemoryBlock block;
        juce::MemoryOutputStream out (block, false);
        tree.writeToStream (out);
        return block;
    }
};

} // namespace

TEST_F (State, RoundTripRestoresEveryPerInstanceValue)
{
    ProcessorUnderTest saved;
    saved->displayGain = 2.0;
    saved->frozen = true;
    saved->noiseThresholdDb = -90.0;
    saved->channelMode = 2;
    saved->previewOnly = true;

    ProcessorUnderTest restored;
    restore (*restored, saveState (*saved));

    EXPECT_EQ (restored->displayGain, 2.0);
    EXPECT_TRUE (restored->frozen.load());
    EXPECT_EQ (restored->noiseThresholdDb, -90.0);
    EXPECT_EQ (restored->channelMode, 2);
    EXPECT_TRUE (restored->previewOnly);
    EXPECT_EQ (restored->recordDurationSeconds.load(), 30);
    EXPECT_EQ (restored->outputGain.getTarget(), 0.0);
}

TEST_F (State, TheTreeHasTheParameterAndTheSamplerChildInOrder)
{
    ProcessorUnderTest p;
    const auto tree = juce::ValueTree::readFromData (saveState (*p).getData(), saveState (*p).getSize());

    ASSERT_TRUE (tree.hasType ("Parameters"));
    ASSERT_EQ (tree.getNumChildren(), 2);
    EXPECT_EQ (tree.getChild (0).getType().toString(), "PARAM");
    EXPECT_EQ (tree.getChild (0)["id"].toString(), "Freeze");

    const auto sampler = tree.getChild (1);
    EXPECT_TRUE (sampler.hasType ("sampler"));
    const char* names[] { "waveform-zoom", "pause", "record-duration", "noise-threshold", "channel-mode", "preview-only" };

    ASSERT_EQ (sampler.getNumProperties(), 6);

    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (sampler.getPropertyName (i).toString(), names[i]);
}

TEST_F (State, SavingTwiceGivesIdenticalBytesThatReplaceTheBlock)
{
    ProcessorUnderTest p;
    const auto first = saveState (*p);

    juce::MemoryBlock second (10000, true);   // previous content is replaced, not appended to
    p->getStateInformation (second);
    EXPECT_EQ (first, second);
}

TEST_F (State, DataThatIsNotOurTreeChangesNothing)
{
    ProcessorUnderTest p;
    p->displayGain = 1.5;
    p->channelMode = 1;
    const auto before = saveState (*p);

    const auto valid = saveState (*p);
    const juce::MemoryBlock truncated (valid.getData(), valid.getSize() / 2);
    const juce::MemoryBlock foreign ("not a value tree at all", 23);
    const auto otherTree = streamOf (juce::ValueTree ("SomethingElse", { { "waveform-zoom", 9.0 } }));

    p->setStateInformation (nullptr, 0);
    p->setStateInformation (valid.getData(), 0);

    for (const auto* block : { &truncated, &foreign, &otherTree })
        restore (*p, *block);

    EXPECT_EQ (p->displayGain, 1.5);
    EXPECT_EQ (p->channelMode, 1);
    EXPECT_EQ (saveState (*p), before);
}

TEST_F (State, AMissingOrSparseSamplerChildRestoresDefaults)
{
    ProcessorUnderTest p;
    p->displayGain = 3.0;
    p->noiseThresholdDb = -60.0;
    p->channelMode = 1;
    p->previewOnly = true;

    juce::ValueTree tree ("Parameters");
    tree.appendChild (juce::ValueTree ("sampler", { { "pause", true } }), nullptr);
    restore (*p, streamOf (tree));

    EXPECT_TRUE (p->frozen.load());
    EXPECT_EQ (p->displayGain, 1.0);
    EXPECT_EQ (p->noiseThresholdDb, -150.0);
    EXPECT_EQ (p->channelMode, 0);
    EXPECT_FALSE (p->previewOnly);
    EXPECT_EQ (p->outputGain.getTarget(), 1.0);

    p->noiseThresholdDb = -60.0;
    restore (*p, streamOf (juce::ValueTree ("Parameters")));
    EXPECT_EQ (p->noiseThresholdDb, -150.0);
    EXPECT_FALSE (p->frozen.load());
}

TEST_F (State, PropertiesOfOtherTypesAreConvertedAndOutOfRangeValuesRejected)
{
    ProcessorUnderTest p;

    juce::ValueTree tree ("Parameters");
    tree.appendChild (juce::ValueTree ("sampler", { { "pause", 1 },
                                                    { "preview-only", "1" },
                                                    { "waveform-zoom", "0.5" },
                                                    { "channel-mode", 1e300 },
                                                    { "noise-threshold", std::numeric_limits<double>::quiet_NaN() } }), nullptr);
    restore (*p, streamOf (tree));

    EXPECT_TRUE (p->frozen.load());
    EXPECT_TRUE (p->previewOnly);
    EXPECT_EQ (p->displayGain, 0.5);
    EXPECT_EQ (p->channelMode, 0);
    EXPECT_EQ (p->noiseThresholdDb, -150.0);
}

TEST_F (State, TheStoredRecordDurationComesBackWhenItIsOneOfTheChoices)
{
    struct Case { juce::var stored; int expected; };

    for (const auto& c : { Case { 120, 120 }, Case { 600, 600 }, Case { 77, 30 }, Case { -5, 30 }, Case { "abc", 30 } })
    {
        ProcessorUnderTest p;
        p->prepareToPlay (48000.0, 64);

        juce::ValueTree tree ("Parameters");
        tree.appendChild (juce::ValueTree ("sampler", { { "record-duration", c.stored } }), nullptr);
        restore (*p, streamOf (tree));

        // It takes effect through the audio thread, like a duration chosen in the menu.
        juce::AudioBuffer<float> block (2, 64);
        block.clear();
        processBlock (*p, block);

        EXPECT_EQ (p->recordDurationSeconds.load(), c.expected) << c.stored.toString();
        EXPECT_EQ (p->captureBuffer->capacity, 48000 * c.expected);
        EXPECT_EQ ((int) juce::ValueTree::readFromData (saveState (*p).getData(), saveState (*p).getSize())
                             .getChildWithName ("sampler")["record-duration"], c.expected);
    }
}

TEST_F (State, RestoringTheSameDurationKeepsTheCapture)
{
    ProcessorUnderTest p;
    p->prepareToPlay (48000.0, 64);
    auto block = makeBlock (2, 64, [] (int, int) { return 0.5f; });
    processBlock (*p, block);

    restore (*p, saveState (*p));
    processBlock (*p, block);
    EXPECT_EQ (p->captureBuffer->writeIndexShared.load(), 128);
}

TEST_F (State, TheFreezeParameterTravelsInItsParamChild)
{
    ProcessorUnderTest p;

    juce::ValueTree tree ("Parameters");
    tree.appendChild (juce::ValueTree ("PARAM", { { "id", "Freeze" }, { "value", 1.0 } }), nullptr);
    restore (*p, streamOf (tree));

    EXPECT_EQ (p->parameters.getRawParameterValue ("Freeze")->load(), 1.0f);
}

TEST_F (State, AFreezeSetJustBeforeSavingIsInTheState)
{
    // The parameter tree catches up with parameter values on a timer; a host saving right
    // after a change (no message loop in between) must still get the new value.
    ProcessorUnderTest saved;
    saved->parameters.getParameter ("Freeze")->setValueNotifyingHost (1.0f);

    ProcessorUnderTest restored;
    restore (*restored, saveState (*saved));

    EXPECT_EQ (restored->parameters.getParameter ("Freeze")->getValue(), 1.0f);
}

TEST (ValueTreeStreamCheck, AcceptsWhatTheFrameworkWritesAndNothingDamaged)
{
    juce::MemoryBlock binary ("\x01\x02\x03", 3);
    juce::ValueTree child ("child", { { "list", juce::Array<juce::var> { 1, "two", 3.5, juce::var (binary) } },
                                      { "big", (juce::int64) 1 << 40 }, { "none", juce::var() }, { "text", juce::String (juce::CharPointer_UTF8 ("\xc3\xa9t\xc3\xa9")) } });
    juce::ValueTree root ("Parameters", { { "flag", true } });
    root.appendChild (child, nullptr);
    root.appendChild (juce::ValueTree ("empty"), nullptr);

    juce::MemoryOutputStream out;
    root.writeToStream (out);
    const auto* bytes = static_cast<const juce::uint8*> (out.getData());
    const auto size = out.getDataSize();

    ASSERT_TRUE (ValueTreeStreamCheck::isWellFormed (bytes, size));

    for (size_t n = 0; n < size; ++n)
        ASSERT_FALSE (ValueTreeStreamCheck::isWellFormed (bytes, n)) << "truncated to " << n;

    juce::MemoryBlock longer (bytes, size);
    longer.append ("x", 1);
    EXPECT_FALSE (ValueTreeStreamCheck::isWellFormed (longer.getData(), longer.getSize()));
}

TEST (ValueTreeStreamCheck, RejectsCountsTheBytesCannotHoldAndDeepNesting)
{
    const auto check = [] (std::initializer_list<int> bytes)
    {
        std::vector<juce::uint8> data;

        for (auto b : bytes)
            data.push_back ((juce::uint8) b);

        return ValueTreeStreamCheck::isWellFormed (data.data(), data.size());
    };

    EXPECT_TRUE (check ({ 'T', 0, 0, 0 }));                                      // a tree "T", no properties, no children
    EXPECT_FALSE (check ({ 'T', 0, 0, 4, 0xff, 0xff, 0xff, 0x7f }));               // two billion children
    EXPECT_FALSE (check ({ 'T', 0, 0x84, 0, 0, 0, 0x80, 0 }));                     // a count of minus the smallest int
    EXPECT_FALSE (check ({ 'T', 0, 1, 'p', 0, 1, 0xff, 8, 0 }));                   // 254 bytes of binary that are not there
    EXPECT_FALSE (check ({ 'T', 0, 1, 'p', 0, 1, 2, 7, 4, 0xff, 0xff, 0xff, 0x7f, 0 }));   // an array of two billion
    EXPECT_FALSE (check ({ 'T', 0, 1, 'p', 0, 1, 2, 42, 0 }));                     // an unknown value type
    EXPECT_FALSE (check ({ 0xc3, 0x28, 0, 0, 0 }));                                // a type that is not UTF-8
    EXPECT_FALSE (check ({ 0, 0, 0 }));                                            // no type

    std::vector<juce::uint8> deep;

    for (int i = 0; i <= ValueTreeStreamCheck::maxDepth + 1; ++i)
        deep.insert (deep.end(), { 'T', 0, 0, 1 });

    deep.back() = 0;
    EXPECT_FALSE (ValueTreeStreamCheck::isWellFormed (deep.data(), deep.size()));
}
