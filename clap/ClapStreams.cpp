#include "ClapStreams.h"

bool ClapStreams::readAll (const clap_istream_t& stream, juce::MemoryBlock& destination, size_t maxBytes)
{
    destination.reset();

    if (stream.read == nullptr)
        return false;

    char chunk[4096];

    for (;;)
    {
        const auto numRead = stream.read (&stream, chunk, sizeof (chunk));

        if (numRead == 0)
            return true;

        if (numRead < 0 || (uint64_t) numRead > sizeof (chunk)
            || destination.getSize() + (size_t) numRead > maxBytes)
        {
            destination.reset();
            return false;
        }

        destination.append (chunk, (size_t) numRead);
    }
}

bool ClapStreams::writeAll (const clap_ostream_t& stream, const void* data, size_t numBytes)
{
    if (stream.write == nullptr)
        return false;

    auto* bytes = static_cast<const char*> (data);
    size_t written = 0;

    while (written < numBytes)
    {
        const auto result = stream.write (&stream, bytes + written, numBytes - written);

        if (result <= 0 || (uint64_t) result > numBytes - written)
            return false;

        written += (size_t) result;
    }

    return true;
}
