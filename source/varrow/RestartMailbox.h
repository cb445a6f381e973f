#pragma once

#include "CircularBuffer.h"

#include <atomic>
#include <memory>

namespace varrow
{

/** Carries ring storage for a restart from the message thread to the audio thread, and the
    storage it replaced back again, without locks and without the audio thread allocating
    or freeing memory.

    The message thread posts a parcel (zeroed channels for the new capacity plus a tag); the
    audio thread claims it, swaps the channels into its ring and gives the parcel back, now
    holding the old channels, which the message thread frees later.
*/
class RestartMailbox
{
public:
    struct Parcel
    {
        Parcel (int capacity, int tag);

        const int capacity;
        const int tag;
        CircularBuffer::Channels channels;
        Parcel* next = nullptr;
    };

    RestartMailbox() = default;
    ~RestartMailbox();

    /** Posts a parcel, replacing one the audio thread has not claimed yet. Message thread. */
    void post (std::unique_ptr<Parcel> parcel);

    /** Takes back a parcel the audio thread has not claimed yet. Message thread. */
    void withdraw();

    /** Frees every parcel the audio thread has given back. Message thread. */
    void releaseReturned();

    /** True while a posted or returned parcel still holds memory. Message thread. */
    bool isHoldingMemory() const noexcept;

    /** Claims the posted parcel, or returns nullptr. Audio thread. */
    Parcel* claim() noexcept;

    /** Hands a claimed parcel back for release. Audio thread; lock-free. */
    void giveBack (Parcel* parcel) noexcept;

private:
    std::atomic<Parcel*> posted { nullptr };
    std::atomic<Parcel*> returned { nullptr };

    JUCE_DECLARE_NON_COPYABLE (RestartMailbox)
};

} // namespace varrow
