#include "DisplayBuffer.h"

#include <algorithm>

namespace varrow
{

// Readers tolerate a column caught between two stores, so each element is published on its
// own; relaxed stores keep the per-sample cost of the live feed to plain moves.
static constexpr auto columnOrder = std::memory_order_relaxed;

DisplayBuffer::DisplayBuffer() noexcept
{
    pushBack (maxColumns);
    pushBack (10);
}

void DisplayBuffer::pushBack (int n) noexcept
{
    n = std::clamp (n, 0, maxColumns);

    for (int j = 0; j < n; ++j)
    {
        columnMax[(size_t) j].store (emptyMax, columnOrder);
        columnMin[(size_t) j].store (emptyMin, columnOrder);
        columnStamp[(size_t) j].store (-1, columnOrder);
    }

    columnCount = n;
    columnCountShared.store (n, std::memory_order_release);
}

void DisplayBuffer::updateColumn (int c, float v, int s) noexcept
{
    mergeRun (c, v, v, s);
}

void DisplayBuffer::mergeRun (int c, float lo, float hi, int s) noexcept
{
    const auto i = (size_t) c;

    if (columnStamp[i].load (columnOrder) < s)
    {
        columnMax[i].store (hi, columnOrder);
        columnMin[i].store (lo, columnOrder);
        columnStamp[i].store (s, columnOrder);
        return;
    }

    if (hi > columnMax[i].load (columnOrder))
    {
        columnMax[i].store (hi, columnOrder);
        columnStamp[i].store (s, columnOrder);
    }

    if (lo < columnMin[i].load (columnOrder))
    {
        columnMin[i].store (lo, columnOrder);
        columnStamp[i].store (s, columnOrder);
    }
}

} // namespace varrow
