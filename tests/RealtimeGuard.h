#pragma once

#include <string>

namespace quorvel::test
{

/** While a guard is alive on a thread, every call that thread makes to the heap, to a lock or
    wait, or to the file system is counted as a violation of the real-time rules. The calls
    are caught by interposing the C library functions in this test program. */
class RealtimeGuard
{
public:
    RealtimeGuard() noexcept;
    ~RealtimeGuard();

    static int violations() noexcept;
    static std::string firstViolation();
    static void reset() noexcept;
};

} // namespace quorvel::test
