#include "ManualOpener.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

/** A folder tree of the test's own, removed afterwards. */
struct TemporaryTree
{
    TemporaryTree()    { root.createDirectory(); }
    ~TemporaryTree()   { root.deleteRecursively(); }

    juce::File file (const juce::String& path, const juce::String& content = "x") const
    {
        const auto f = root.getChildFile (path);
        f.getParentDirectory().createDirectory();
        f.replaceWithText (content);
        return f;
    }

    const juce::File root = juce::File::createTempFile ("manual-tree");
};

TEST (ManualOpener, PlugInsInstalledForOneUserFindTheManualInTheUsersDataFolder)
{
    quorvel::test::clearHome();
    const auto plugIn = juce::File ("~/.clap/Quorvel.clap");
    const auto forUser = juce::File ("~/.local/share/doc/quorvel/manual.html");
    ASSERT_TRUE (plugIn.create().wasOk());
    ASSERT_TRUE (forUser.create().wasOk());

    EXPECT_EQ (ManualOpener::findPageFrom (plugIn), forUser);
    EXPECT_EQ (ManualOpener::findPageFrom (juce::File ("~/.vst3/Quorvel.vst3/Contents/x86_64-linux/Quorvel.so")), forUser);
    quorvel::test::clearHome();
}

TEST (ManualOpener, FindsTheManualBesideTheProgramOrUnderItsInstallationPrefix)
{
    const TemporaryTree tree;
    const auto program = tree.file ("build/Standalone/Quorvel");
    const auto clap = tree.file ("prefix/lib/clap/Quorvel.clap");
    const auto vst3 = tree.file ("prefix/lib/vst3/Quorvel.vst3/Contents/x86_64-linux/Quorvel.so");
    const auto installed = tree.file ("prefix/share/doc/quorvel/manual.html");
    const auto stray = tree.file ("build/manual.html");   // not beside the program: never taken

    EXPECT_EQ (ManualOpener::findPageFrom (clap), installed);
    EXPECT_EQ (ManualOpener::findPageFrom (vst3), installed);

    const auto found = ManualOpener::findPageFrom (program);
    EXPECT_NE (found, stray);

    if (! juce::File ("/usr/share/doc/quorvel/manual.html").existsAsFile()
        && ! juce::File ("/usr/local/share/doc/quorvel/manual.html").existsAsFile())
    {
        EXPECT_FALSE (found.existsAsFile()) << found.getFullPathName();
    }

    const auto beside = tree.file ("build/Standalone/manual.html");
    EXPECT_EQ (ManualOpener::findPageFrom (program), beside);
}

/** The real opener with a stand-in xdg-open first on the search path. */
class XdgOpenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedPath = juce::SystemStats::getEnvironmentVariable ("PATH", {});
        bin = tree.root.getChildFile ("bin");
        bin.createDirectory();
        ::setenv ("PATH", bin.getFullPathName().toRawUTF8(), 1);
    }

    void TearDown() override
    {
        ::setenv ("PATH", savedPath.toRawUTF8(), 1);
    }

    /** An xdg-open that records its argument and ends with the given code. */
    void fakeXdgOpen (int exitCode) const
    {
        const auto script = bin.getChildFile ("xdg-open");
        script.replaceWithText ("#!/bin/sh\nprintf '%s' \"$1\" > '" + tree.root.getChildFile ("opened").getFullPathName()
                                + "'\nexit " + juce::String (exitCode) + "\n", false, false, "\n");
        script.setExecutePermission (true);
    }

    /** Opens the page and runs the message loop until the opener has had time to decide. */
    juce::StringArray openAndWait (ManualOpener& opener, const juce::File& page)
    {
        juce::StringArray failures;
        opener.open (page, [&failures] (const juce::String& cause) { failures.add (cause); });

        for (int i = 0; i < 40 && failures.isEmpty(); ++i)
            quorvel::test::dispatchMessagesFor (50);

        return failures;
    }

    TemporaryTree tree;
    juce::File bin;
    juce::String savedPath;
};

TEST_F (XdgOpenTest, OpensThePageAndStaysQuietWhenXdgOpenSucceeds)
{
    fakeXdgOpen (0);
    const auto page = tree.file ("manual.html");
    const auto opener = ManualOpener::createDefault();

    EXPECT_TRUE (openAndWait (*opener, page).isEmpty());
    EXPECT_EQ (tree.root.getChildFile ("opened").loadFileAsString(), page.getFullPathName());
}

TEST_F (XdgOpenTest, ReportsWhyThePageCouldNotBeOpened)
{
    const auto page = tree.file ("manual.html");

    {
        fakeXdgOpen (3);
        const auto opener = ManualOpener::createDefault();
        const auto failures = openAndWait (*opener, page);
        ASSERT_EQ (failures.size(), 1);
        EXPECT_EQ (failures[0], "xdg-open ended with code 3 (no program to open web pages with was found)");
    }

    {
        bin.getChildFile ("xdg-open").deleteFile();
        const auto opener = ManualOpener::createDefault();
        const auto failures = openAndWait (*opener, page);
        ASSERT_EQ (failures.size(), 1);
        EXPECT_EQ (failures[0], "xdg-open could not be started");
    }
}

} // namespace
