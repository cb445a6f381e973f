#include "XmlTextCheck.h"

#include <gtest/gtest.h>
#include <juce_data_structures/juce_data_structures.h>

namespace
{

bool check (const juce::String& text)
{
    return XmlTextCheck::isPlainXml (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

} // namespace

TEST (XmlTextCheck, AcceptsWhatThePropertiesFileWrites)
{
    const auto file = juce::File::createTempFile (".settings");
    juce::PropertiesFile::Options options;
    options.storageFormat = juce::PropertiesFile::storeAsXML;

    {
        juce::PropertiesFile props (file, options);
        props.setValue ("Recording Path", "/home/me/\"takes\" & <more> \xc3\xa9t\xc3\xa9\nline");
        props.setValue ("Noise Threshold", -90.5);
        props.setValue ("Pin", true);
        props.setValue ("audioSetup", "<DEVICESETUP deviceType=\"ALSA\" audioDeviceRate=\"48000.0\"/>");
        props.save();
    }

    EXPECT_TRUE (check (file.loadFileAsString()));
    file.deleteFile();

    EXPECT_TRUE (check ("<PROPERTIES/>"));
    EXPECT_TRUE (check ("<!-- a note -->\n<PROPERTIES>\n  <VALUE name='a' val=\"&#10;&#x41;\"/>\n</PROPERTIES>\n"));
    EXPECT_TRUE (check ("<a><![CDATA[ <not> & markup ]]>text &amp; more</a>"));
}

TEST (XmlTextCheck, RejectsWhatCouldStallOrConfuseTheReader)
{
    for (const char* text : {
             "<PROPERTIES><?x?>text</PROPERTIES>",           // a processing instruction inside content
             "<PROPERTIES></VALUES>",                          // mismatched tags
             "<PROPERTIES><VALUE name=\"a\" val=\"1\"/>",      // unclosed
             "<PROPERTIES/>junk",                               // something after the document
             "<!-- unterminated <PROPERTIES/>",
             "<!DOCTYPE p [<!ENTITY e \"<x>\">]><p>&e;</p>",   // entities from a document type
             "<p>a & b</p>", "<p>&#;</p>", "<p a=\"x<y\"/>", "<p a=1/>", "<pa=\"1\"/>",
             "PROP\x01\x00\x00\x00", "", "   " })
    {
        EXPECT_FALSE (XmlTextCheck::isPlainXml (text, std::strlen (text))) << text;
    }

    juce::String deep;

    for (int i = 0; i <= XmlTextCheck::maxDepth + 1; ++i)
        deep << "<a>";

    for (int i = 0; i <= XmlTextCheck::maxDepth + 1; ++i)
        deep << "</a>";

    EXPECT_FALSE (check (deep));

    const char notUtf8[] = "<p a=\"\xc3\x28\"/>";
    EXPECT_FALSE (XmlTextCheck::isPlainXml (notUtf8, sizeof (notUtf8) - 1));
}
