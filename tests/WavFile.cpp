#include "WavFile.h"

#include <sndfile.h>

namespace quorvel::test
{

WavFile WavFile::read (const juce::File& file)
{
    WavFile wav;
    SF_INFO info {};
    SNDFILE* handle = sf_open (file.getFullPathName().toRawUTF8(), SFM_READ, &info);

    if (handle == nullptr)
        return wav;

    wav.opened = true;
    wav.sampleRate = info.samplerate;
    wav.channels = info.channels;
    wav.format = info.format;
    wav.frames = info.frames;

    std::vector<float> interleaved ((size_t) (info.frames * info.channels));
    const auto read = sf_readf_float (handle, interleaved.data(), info.frames);
    sf_close (handle);

    wav.samples.assign ((size_t) info.channels, std::vector<float> ((size_t) read));

    for (sf_count_t i = 0; i < read; ++i)
        for (int c = 0; c < info.channels; ++c)
            wav.samples[(size_t) c][(size_t) i] = interleaved[(size_t) (i * info.channels + c)];

    return wav;
}

bool WavFile::isFloat() const   { return (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && (format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT; }
bool WavFile::isPcm24() const   { return (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24; }

juce::StringArray riffChunkIds (const juce::File& file)
{
    juce::MemoryBlock bytes;
    juce::StringArray ids;

    if (! file.loadFileAsData (bytes) || bytes.getSize() < 12)
        return ids;

    const auto* data = static_cast<const char*> (bytes.getData());

    if (juce::String (data, 4) != "RIFF" || juce::String (data + 8, 4) != "WAVE")
        return ids;

    for (size_t at = 12; at + 8 <= bytes.getSize();)
    {
        ids.add (juce::String (data + at, 4));
        const auto size = (size_t) juce::ByteOrder::littleEndianInt (data + at + 4);
        at += 8 + size + (size & 1);
    }

    return ids;
}

} // namespace quorvel::test
