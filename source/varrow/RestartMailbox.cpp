#include "RestartMailbox.h"

namespace varrow
{

RestartMailbox::Parcel::Parcel (int newCapacity, int newTag)
    : capacity (newCapacity), tag (newTag), channels (newCapacity)
{
}

RestartMailbox::~RestartMailbox()
{
    withdraw();
    releaseReturned();
}

void RestartMailbox::post (std::unique_ptr<Parcel> parcel)
{
    releaseReturned();
    // A parcel we get back from the exchange was never claimed, so it is ours to free.
    std::unique_ptr<Parcel> unclaimed (posted.exchange (parcel.release(), std::memory_order_acq_rel));
}

void RestartMailbox::withdraw()
{
    std::unique_ptr<Parcel> unclaimed (posted.exchange (nullptr, std::memory_order_acq_rel));
}

void RestartMailbox::releaseReturned()
{
    for (auto* p = returned.exchange (nullptr, std::memory_order_acquire); p != nullptr;)
        std::unique_ptr<Parcel> (std::exchange (p, p->next));
}

bool RestartMailbox::isHoldingMemory() const noexcept
{
    return posted.load() != nullptr || returned.load() != nullptr;
}

RestartMailbox::Parcel* RestartMailbox::claim() noexcept
{
    if (posted.load (std::memory_order_relaxed) == nullptr)
        return nullptr;

    return posted.exchange (nullptr, std::memory_order_acq_rel);
}

void RestartMailbox::giveBack (Parcel* parcel) noexcept
{
    // Single producer pushing onto a list the consumer only ever takes whole: no ABA.
    auto* head = returned.load (std::memory_order_relaxed);

    do
        parcel->next = head;
    while (! returned.compare_exchange_weak (head, parcel, std::memory_order_release, std::memory_order_relaxed));
}

} // namespace varrow
