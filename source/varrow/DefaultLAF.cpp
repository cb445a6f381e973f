#include "DefaultLAF.h"

namespace varrow
{

void DefaultLAF::drawCornerResizer (juce::Graphics&, int, int, bool, bool) {}

} // namespace varrow
