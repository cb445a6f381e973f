#pragma once

#include <cstddef>

/** Checks that bytes form one complete value tree in the framework's binary stream format
    before the framework's reader sees them.

    That reader trusts the counts it reads: a damaged or hostile state can make it reserve
    gigabytes, loop for billions of elements, recurse until the stack runs out, or negate the
    smallest int. The check walks the stream without allocating, and accepts it only when
    every count fits in the bytes that remain, every string is UTF-8 text, the nesting stays
    shallow and nothing follows the tree.
*/
class ValueTreeStreamCheck
{
public:
    static bool isWellFormed (const void* data, std::size_t size) noexcept;

    static constexpr int maxDepth = 32;
};
