#pragma once

#include <cstddef>

/** Checks that text is a plain XML document of the kind the framework's properties file
    writes, before the framework's XML reader sees it.

    That reader can loop forever on some malformed documents (a processing instruction
    followed by text inside an element is one) and recurses once per nesting level. The
    check accepts only UTF-8 text (a byte-order mark allowed) holding an optional XML
    declaration and an optional document type declaration, then one element tree (elements,
    quoted attributes, text with well-formed predefined entities, comments, CDATA) no deeper
    than maxDepth, with only white space and comments around it.
*/
class XmlTextCheck
{
public:
    static bool isPlainXml (const char* text, std::size_t size) noexcept;

    static constexpr int maxDepth = 16;
};
