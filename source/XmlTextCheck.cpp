#include "XmlTextCheck.h"

#include <juce_core/juce_core.h>

#include <cstring>
#include <limits>

namespace
{

class XmlWalker
{
public:
    XmlWalker (const char* text, std::size_t size) noexcept : next (text), end (text + size) {}

    bool document() noexcept
    {
        // The framework's file reader skips a UTF-8 byte-order mark, and its parser white
        // space before the declaration.
        if (startsWith ("\xef\xbb\xbf"))
            next += 3;

        skipSpace();

        if (startsWith ("<?xml") && ! skipPast ("?>"))
            return false;

        if (! misc())
            return false;

        if (startsWith ("<!DOCTYPE") && ! documentType())
            return false;

        if (! misc() || ! element (0) || ! misc())
            return false;

        return next == end;
    }

private:
    bool atEnd() const noexcept                 { return next == end; }
    char peek (std::size_t ahead = 0) const noexcept   { return (std::size_t) (end - next) > ahead ? next[ahead] : '\0'; }

    bool startsWith (const char* s) const noexcept
    {
        const auto n = std::strlen (s);
        return (std::size_t) (end - next) >= n && std::memcmp (next, s, n) == 0;
    }

    bool skipPast (const char* s) noexcept
    {
        const auto n = std::strlen (s);

        for (auto* p = next; (std::size_t) (end - p) >= n; ++p)
        {
            if (std::memcmp (p, s, n) == 0)
            {
                next = p + n;
                return true;
            }
        }

        return false;
    }

    static bool isSpace (char c) noexcept       { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isNameStart (char c) noexcept   { return juce::CharacterFunctions::isLetter (c) || c == '_' || c == ':'; }
    static bool isNameChar (char c) noexcept    { return isNameStart (c) || juce::CharacterFunctions::isDigit (c) || c == '-' || c == '.'; }

    void skipSpace() noexcept
    {
        while (! atEnd() && isSpace (*next))
            ++next;
    }

    /** White space and comments. */
    bool misc() noexcept
    {
        for (;;)
        {
            skipSpace();

            if (! startsWith ("<!--"))
                return true;

            next += 4;

            if (! skipPast ("-->"))
                return false;
        }
    }

    /** A document type declaration, ended as the framework's parser ends it: at the '>'
        that balances every '<' since its own. The framework only looks inside it for
        entities, and the document may only use the predefined ones. */
    bool documentType() noexcept
    {
        next += 9;   // "<!DOCTYPE"

        for (std::size_t open = 1; ! atEnd(); ++next)
        {
            if (*next == '<')
            {
                ++open;
            }
            else if (*next == '>' && --open == 0)
            {
                ++next;
                return true;
            }
        }

        return false;
    }

    bool name (const char*& start, std::size_t& length) noexcept
    {
        if (! isNameStart (peek()))
            return false;

        start = next;

        while (! atEnd() && isNameChar (*next))
            ++next;

        length = (std::size_t) (next - start);
        return true;
    }

    bool entity() noexcept
    {
        ++next;   // '&'

        if (peek() == '#')
        {
            ++next;
            const bool hex = peek() == 'x';
            next += hex ? 1 : 0;
            int digits = 0;

            while (! atEnd() && (hex ? juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) *next) >= 0
                                     : juce::CharacterFunctions::isDigit (*next)))
            {
                ++next;
                ++digits;
            }

            if (digits == 0 || digits > 8 || peek() != ';')
                return false;

            ++next;
            return true;
        }

        // Only the predefined entities: others would need a document type definition.
        for (const char* predefined : { "amp;", "lt;", "gt;", "quot;", "apos;" })
        {
            if (startsWith (predefined))
            {
                next += std::strlen (predefined);
                return true;
            }
        }

        return false;
    }

    bool attributeValue() noexcept
    {
        const char quote = peek();

        if (quote != '"' && quote != '\'')
            return false;

        for (++next; ! atEnd(); )
        {
            const char c = *next;

            if (c == quote)
            {
                ++next;
                return true;
            }

            if (c == '<')
                return false;

            if (c != '&')
                ++next;
            else if (! entity())
                return false;
        }

        return false;
    }

    bool element (int depth) noexcept
    {
        const char* tag = nullptr;
        std::size_t tagLength = 0;

        if (depth > XmlTextCheck::maxDepth || peek() != '<')
            return false;

        ++next;

        if (! name (tag, tagLength))
            return false;

        for (;;)
        {
            const bool spaced = isSpace (peek());
            skipSpace();

            if (startsWith ("/>"))
            {
                next += 2;
                return true;
            }

            if (peek() == '>')
            {
                ++next;
                break;
            }

            const char* attribute = nullptr;
            std::size_t attributeLength = 0;

            if (! spaced || ! name (attribute, attributeLength))
                return false;

            skipSpace();

            if (peek() != '=')
                return false;

            ++next;
            skipSpace();

            if (! attributeValue())
                return false;
        }

        return content (depth) && closingTag (tag, tagLength);
    }

    bool content (int depth) noexcept
    {
        for (;;)
        {
            if (atEnd())
                return false;

            if (startsWith ("</"))
                return true;

            if (startsWith ("<!--"))
            {
                next += 4;

                if (! skipPast ("-->"))
                    return false;
            }
            else if (startsWith ("<![CDATA["))
            {
                next += 9;

                if (! skipPast ("]]>"))
                    return false;
            }
            else if (peek() == '<')
            {
                if (! element (depth + 1))
                    return false;
            }
            else if (peek() == '&')
            {
                if (! entity())
                    return false;
            }
            else
            {
                ++next;
            }
        }
    }

    bool closingTag (const char* tag, std::size_t length) noexcept
    {
        next += 2;   // "</"

        if ((std::size_t) (end - next) < length || std::memcmp (next, tag, length) != 0)
            return false;

        next += length;
        skipSpace();

        if (peek() != '>')
            return false;

        ++next;
        return true;
    }

    const char* next;
    const char* const end;
};

} // namespace

bool XmlTextCheck::isPlainXml (const char* text, std::size_t size) noexcept
{
    if (text == nullptr || size > (std::size_t) std::numeric_limits<int>::max()
        || std::memchr (text, 0, size) != nullptr || ! juce::CharPointer_UTF8::isValidString (text, (int) size))
        return false;

    return XmlWalker (text, size).document();
}
