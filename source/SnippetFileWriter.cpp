#include "SnippetFileWriter.h"
#include "SnippetFileName.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{

juce::String describeErrno (int error)
{
    return juce::String (std::strerror (error));
}

/** Creates a new, empty file that no one else has: the temporary file's name is random, and
    the creation fails rather than open an existing file. */
juce::String createExclusively (const juce::File& file)
{
    const int fd = ::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);

    if (fd < 0)
        return describeErrno (errno);

    ::close (fd);
    return {};
}

/** Renames without ever replacing an existing file. Returns 0, or the errno of the failure. */
int renameWithoutReplacing (const juce::File& from, const juce::File& to)
{
    const auto* source = from.getFullPathName().toRawUTF8();
    const auto* target = to.getFullPathName().toRawUTF8();

    if (::renameat2 (AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE) == 0)
        return 0;

    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;

    // File systems without an atomic no-replace rename: a hard link fails on an existing name.
    if (::link (source, target) == 0)
    {
        ::unlink (source);
        return 0;
    }

    if (errno == EEXIST)
        return EEXIST;

    // Neither (FAT file systems): look first, then rename.
    if (to.exists())
        return EEXIST;

    return std::rename (source, target) == 0 ? 0 : errno;
}

/** A buffered output stream on a file descriptor that keeps the cause of the first failure:
    the framework's stream loses it when the disk fills part way through a write. */
class FileDescriptorStream final : public juce::OutputStream
{
public:
    explicit FileDescriptorStream (const juce::File& file)
        : fd (::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CLOEXEC))
    {
        if (fd < 0)
            error = errno;
    }

    ~FileDescriptorStream() override
    {
        flush();

        if (fd >= 0 && ::close (fd) != 0 && error == 0)
            error = errno;
    }

    bool failed() const noexcept         { return error != 0; }
    juce::String cause() const           { return describeErrno (error); }

    void flush() override
    {
        if (error != 0 || used == 0)
            return;

        if (writeAt (bufferStart, buffer.data(), used))
            bufferStart += (juce::int64) used;

        used = 0;
    }

    bool setPosition (juce::int64 newPosition) override
    {
        flush();
        bufferStart = newPosition;
        return error == 0;
    }

    juce::int64 getPosition() override   { return bufferStart + (juce::int64) used; }

    bool write (const void* data, size_t numBytes) override
    {
        const auto* bytes = static_cast<const char*> (data);

        // Large blocks go straight to the file, as the framework's stream does.
        if (numBytes >= buffer.size())
        {
            flush();

            if (error == 0 && writeAt (bufferStart, bytes, numBytes))
                bufferStart += (juce::int64) numBytes;

            return error == 0;
        }

        while (numBytes > 0 && error == 0)
        {
            const auto n = std::min (numBytes, buffer.size() - used);
            std::memcpy (buffer.data() + used, bytes, n);
            used += n;
            bytes += n;
            numBytes -= n;

            if (used == buffer.size())
                flush();
        }

        return error == 0;
    }

private:
    bool writeAt (juce::int64 position, const char* bytes, size_t numBytes)
    {
        for (size_t done = 0; done < numBytes;)
        {
            const auto n = ::pwrite (fd, bytes + done, numBytes - done, (off_t) (position + (juce::int64) done));

            if (n < 0)
            {
                if (errno == EINTR)
                    continue;

                error = errno;
                return false;
            }

            done += (size_t) n;   // a short write is followed by one that tells the cause
        }

        return true;
    }

    int fd = -1;
    int error = 0;
    std::vector<char> buffer = std::vector<char> (16384);
    size_t used = 0;
    juce::int64 bufferStart = 0;
};

} // namespace

SnippetFileWriter::Result SnippetFileWriter::write (const juce::File& folder, const juce::String& baseName,
                                                    const float* const* channels, int numSamples, int padding,
                                                    const Format& format)
{
    jassert (format.numChannels == 1 || format.numChannels == 2);
    jassert (format.bitsPerSample == 32 || format.bitsPerSample == 24);

    const auto temporary = folder.getChildFile ("." + baseName + ".part-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));

    if (auto error = createExclusively (temporary); error.isNotEmpty())
        return { {}, error };

    auto error = writeSamples (temporary, channels, numSamples, padding, format);

    if (error.isEmpty())
        error = checkWrittenFile (temporary, (juce::int64) numSamples + padding, format);

    if (error.isNotEmpty())
    {
        temporary.deleteFile();
        return { {}, error };
    }

    auto result = giveFinalName (temporary, folder, baseName);

    if (! result.succeeded())
        temporary.deleteFile();

    return result;
}

juce::String SnippetFileWriter::writeSamples (const juce::File& file, const float* const* channels,
                                              int numSamples, int padding, const Format& format)
{
    auto stream = std::make_unique<FileDescriptorStream> (file);

    if (stream->failed())
        return stream->cause();

    auto* output = stream.get();   // still ours to ask for its state; the writer owns it
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (output, format.sampleRate,
                                                                          (unsigned int) format.numChannels,
                                                                          format.bitsPerSample, {}, 0));

    if (writer == nullptr)
        return "the WAV writer could not be created";

    stream.release();

    const auto failure = [output]
    {
        return output->failed() ? output->cause() : juce::String ("the file could not be written");
    };

    for (int done = 0; done < numSamples;)
    {
        const int n = std::min (samplesPerWrite, numSamples - done);
        const float* block[] { channels[0] + done, format.numChannels > 1 ? channels[1] + done : nullptr, nullptr };

        if (! writer->writeFromFloatArrays (block, format.numChannels, n))
            return failure();

        done += n;
    }

    if (padding > 0)
    {
        const std::vector<float> silence ((size_t) std::min (padding, samplesPerWrite), 0.0f);
        const float* block[] { silence.data(), silence.data(), nullptr };

        for (int done = 0; done < padding;)
        {
            const int n = std::min ((int) silence.size(), padding - done);

            if (! writer->writeFromFloatArrays (block, format.numChannels, n))
                return failure();

            done += n;
        }
    }

    // The header is completed and everything handed to the file system here, while the
    // stream can still be asked; closing afterwards writes the same header once more.
    writer->flush();
    output->flush();

    if (output->failed())
        return failure();

    writer.reset();
    return {};
}

juce::String SnippetFileWriter::checkWrittenFile (const juce::File& file, juce::int64 numFrames, const Format& format)
{
    // Read back what the file system holds: a header that did not reach it shows here.
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));

    if (reader == nullptr || reader->lengthInSamples != numFrames || (int) reader->numChannels != format.numChannels
        || (int) reader->bitsPerSample != format.bitsPerSample)
        return "the written file could not be read back complete";

    // The samples the header announces must all be there: the file ends after them.
    const auto dataBytes = numFrames * format.numChannels * (format.bitsPerSample / 8);

    if (file.getSize() < dataBytes + 44)
        return "the written file could not be read back complete";

    return {};
}

SnippetFileWriter::Result SnippetFileWriter::giveFinalName (const juce::File& temporary, const juce::File& folder,
                                                            const juce::String& baseName)
{
    for (int attempt = 1; attempt <= 1000; ++attempt)
    {
        const auto target = folder.getChildFile (SnippetFileName::withAttempt (baseName, attempt));
        const int error = renameWithoutReplacing (temporary, target);

        if (error == 0)
            return { target, {} };

        if (error != EEXIST)
            return { {}, describeErrno (error) };
    }

    return { {}, "every name for it is taken" };
}
