#include "ValueTreeStreamCheck.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace
{

class StreamWalker
{
public:
    StreamWalker (const void* data, std::size_t size) noexcept
        : next (static_cast<const std::uint8_t*> (data)), end (next + size) {}

    bool tree (int depth) noexcept
    {
        int count = 0;

        if (depth > ValueTreeStreamCheck::maxDepth || ! nonEmptyString() || ! countThatFits (count))
            return false;

        for (int i = 0; i < count; ++i)
            if (! nonEmptyString() || ! value (depth))
                return false;

        if (! countThatFits (count))
            return false;

        for (int i = 0; i < count; ++i)
            if (! tree (depth + 1))
                return false;

        return true;
    }

    bool finished() const noexcept   { return next == end; }

private:
    std::size_t remaining() const noexcept   { return (std::size_t) (end - next); }

    bool skip (std::size_t n) noexcept
    {
        if (n > remaining())
            return false;

        next += n;
        return true;
    }

    bool compressedInt (int& result) noexcept
    {
        if (remaining() < 1)
            return false;

        const auto sizeByte = *next++;
        const auto numBytes = (std::size_t) (sizeByte & 0x7f);

        if (numBytes > 4 || numBytes > remaining())
            return false;

        std::uint32_t magnitude = 0;

        for (std::size_t i = 0; i < numBytes; ++i)
            magnitude |= (std::uint32_t) next[i] << (8 * i);

        next += numBytes;

        // Larger magnitudes are never written, and negating the smallest int is undefined.
        if (magnitude > (std::uint32_t) std::numeric_limits<int>::max())
            return false;

        result = (sizeByte & 0x80) != 0 ? -(int) magnitude : (int) magnitude;
        return true;
    }

    /** A count of items that each take at least one byte. */
    bool countThatFits (int& count) noexcept
    {
        return compressedInt (count) && count >= 0 && (std::size_t) count <= remaining();
    }

    bool nonEmptyString() noexcept
    {
        const auto* nul = static_cast<const std::uint8_t*> (std::memchr (next, 0, remaining()));

        if (nul == nullptr || nul == next || ! isText (next, (std::size_t) (nul - next)))
            return false;

        next = nul + 1;
        return true;
    }

    static bool isText (const std::uint8_t* text, std::size_t n) noexcept
    {
        return n <= (std::size_t) std::numeric_limits<int>::max()
            && juce::CharPointer_UTF8::isValidString (reinterpret_cast<const char*> (text), (int) n);
    }

    bool value (int depth) noexcept
    {
        int numBytes = 0;

        if (depth > ValueTreeStreamCheck::maxDepth || ! compressedInt (numBytes))
            return false;

        if (numBytes <= 0)
            return true;   // an empty value: nothing follows

        if (remaining() < 1)
            return false;

        const auto payload = (std::size_t) numBytes - 1;

        switch (*next++)
        {
            case 1:  return skip (4);                           // int
            case 2:  case 3: case 9:  return true;              // true, false, undefined
            case 4:  case 6:  return skip (8);                  // double, int64
            case 8:  return skip (payload);                     // binary

            case 5:                                             // string, with its terminating zero
            {
                if (payload > remaining())
                    return false;

                const auto* nul = static_cast<const std::uint8_t*> (std::memchr (next, 0, payload));
                const auto length = nul != nullptr ? (std::size_t) (nul - next) : payload;

                return isText (next, length) && skip (payload);
            }

            case 7:                                             // array
            {
                int count = 0;

                if (! countThatFits (count))
                    return false;

                for (int i = 0; i < count; ++i)
                    if (! value (depth + 1))
                        return false;

                return true;
            }

            default: return false;
        }
    }

    const std::uint8_t* next;
    const std::uint8_t* const end;
};

} // namespace

bool ValueTreeStreamCheck::isWellFormed (const void* data, std::size_t size) noexcept
{
    if (data == nullptr || size == 0)
        return false;

    StreamWalker walker (data, size);
    return walker.tree (0) && walker.finished();
}
