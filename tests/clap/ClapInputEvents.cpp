#include "ClapInputEvents.h"

#include <algorithm>

namespace quorvel::clap_test
{

ClapInputEvents::ClapInputEvents()
    : events { this, sizeOf, get }
{
}

void ClapInputEvents::addParamValue (uint32_t time, clap_id param, double value, uint16_t space)
{
    clap_event_param_value e {};
    e.header = { sizeof (e), time, space, CLAP_EVENT_PARAM_VALUE, 0 };
    e.param_id = param;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
    values.push_back (e);
    add (&values.back().header);
}

void ClapInputEvents::addGesture (uint32_t time, clap_id param, bool begin)
{
    clap_event_param_gesture e {};
    e.header = { sizeof (e), time, CLAP_CORE_EVENT_SPACE_ID,
                 (uint16_t) (begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END), 0 };
    e.param_id = param;
    gestures.push_back (e);
    add (&gestures.back().header);
}

void ClapInputEvents::addTransport (uint32_t time, const clap_event_transport& transport)
{
    transports.push_back (transport);
    auto& e = transports.back();
    e.header = { sizeof (e), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0 };
    add (&e.header);
}

void ClapInputEvents::clear()
{
    ordered.clear();
    values.clear();
    gestures.clear();
    transports.clear();
}

void ClapInputEvents::add (const clap_event_header* header)
{
    // Later events of the same time stay after earlier ones.
    const auto at = std::upper_bound (ordered.begin(), ordered.end(), header,
                                      [] (const auto* a, const auto* b) { return a->time < b->time; });
    ordered.insert (at, header);
}

uint32_t ClapInputEvents::sizeOf (const clap_input_events* list)
{
    return static_cast<const ClapInputEvents*> (list->ctx)->size();
}

const clap_event_header* ClapInputEvents::get (const clap_input_events* list, uint32_t index)
{
    const auto& self = *static_cast<const ClapInputEvents*> (list->ctx);
    return index < self.ordered.size() ? self.ordered[index] : nullptr;
}

} // namespace quorvel::clap_test
