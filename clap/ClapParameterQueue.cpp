#include "ClapParameterQueue.h"

bool ClapParameterQueue::push (const Change& change) noexcept
{
    const auto scope = fifo.write (1);

    if (scope.blockSize1 + scope.blockSize2 != 1)
        return false;

    changes[(size_t) (scope.blockSize1 == 1 ? scope.startIndex1 : scope.startIndex2)] = change;
    return true;
}

void ClapParameterQueue::sendTo (const clap_output_events_t& out) noexcept
{
    if (out.try_push == nullptr)
        return;

    while (fifo.getNumReady() > 0)
    {
        int start1 = 0, size1 = 0, start2 = 0, size2 = 0;
        fifo.prepareToRead (1, start1, size1, start2, size2);
        const auto& change = changes[(size_t) (size1 == 1 ? start1 : start2)];
        bool sent = false;

        if (change.kind == Kind::value)
        {
            clap_event_param_value_t event {};
            event.header = { sizeof (event), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0 };
            event.param_id = change.paramId;
            event.note_id = -1;
            event.port_index = -1;
            event.channel = -1;
            event.key = -1;
            event.value = change.value;
            sent = out.try_push (&out, &event.header);
        }
        else
        {
            clap_event_param_gesture_t event {};
            const uint16_t type = change.kind == Kind::gestureBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN
                                                                    : CLAP_EVENT_PARAM_GESTURE_END;
            event.header = { sizeof (event), 0, CLAP_CORE_EVENT_SPACE_ID, type, 0 };
            event.param_id = change.paramId;
            sent = out.try_push (&out, &event.header);
        }

        if (! sent)
            return;

        fifo.finishedRead (1);
    }
}
