#pragma once

#include <clap/events.h>

#include <deque>
#include <vector>

namespace quorvel::clap_test
{

/** The events a host hands to one process or flush call, kept in time order. Built before the
    call; reading it during the call allocates nothing. */
class ClapInputEvents
{
public:
    ClapInputEvents();
    ClapInputEvents (const ClapInputEvents&) = delete;
    ClapInputEvents& operator= (const ClapInputEvents&) = delete;

    void addParamValue (uint32_t time, clap_id param, double value, uint16_t space = CLAP_CORE_EVENT_SPACE_ID);
    void addGesture (uint32_t time, clap_id param, bool begin);
    void addTransport (uint32_t time, const clap_event_transport& transport);

    void clear();
    uint32_t size() const noexcept   { return (uint32_t) ordered.size(); }

    const clap_input_events* list() const noexcept   { return &events; }

private:
    void add (const clap_event_header* header);

    static uint32_t sizeOf (const clap_input_events* list);
    static const clap_event_header* get (const clap_input_events* list, uint32_t index);

    // Deques keep every event where it is as more are added.
    std::deque<clap_event_param_value> values;
    std::deque<clap_event_param_gesture> gestures;
    std::deque<clap_event_transport> transports;
    std::vector<const clap_event_header*> ordered;
    clap_input_events events;
};

} // namespace quorvel::clap_test
