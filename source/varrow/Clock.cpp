#include "Clock.h"

#include <chrono>

namespace varrow
{

namespace
{

class SystemClock final : public Clock
{
public:
    juce::int64 steadyMilliseconds() const override
    {
        using namespace std::chrono;
        return (juce::int64) duration_cast<milliseconds> (steady_clock::now().time_since_epoch()).count();
    }

    juce::Time now() const override   { return juce::Time::getCurrentTime(); }
};

} // namespace

Clock& Clock::system()
{
    static SystemClock clock;
    return clock;
}

} // namespace varrow
