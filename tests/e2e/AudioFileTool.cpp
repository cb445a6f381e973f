// quorvel_e2e_audio: the audio side of the standalone program's end-to-end tests.
//
// The tests play a generated signal into the real program through ALSA's "file" plug-in and
// read back what the program played. Every file it writes is raw, interleaved stereo, 32-bit
// little-endian float: the format JUCE's ALSA code picks first, so no sample is converted. The
// snippets the program writes are WAV files, read here through libsndfile.
//
//   quorvel_e2e_audio write-input FILE SILENT_FRAMES SIGNAL_FRAMES
//       Writes SILENT_FRAMES of silence, then SIGNAL_FRAMES of a pseudo-random signal that is
//       never zero and differs between the channels.
//
//   quorvel_e2e_audio write-demo FILE SECONDS
//       Writes a short musical loop at 48 kHz (plucked notes over a kick, 120 BPM): something
//       worth looking at in screenshots and worth drawing in the rendering benchmark.
//
//   quorvel_e2e_audio write-indexed FILE FRAMES
//       Writes FRAMES of a signal that tells each frame's index n: the left sample is
//       +-(0.25 + (n mod 2^23) / 2^25), the right one -+(0.5 + m / 2^24) with
//       m = (40503 n + 12345 + 77777 floor (n / 2^23)) mod 2^23. Both are exact in single
//       precision; the signs alternate, so the signal is never silent and swings both ways, and
//       the channels always differ. The left sample tells n mod 2^23 (174 s at 48 kHz), the right
//       one which stretch of 2^23 frames n lies in, up to 2^31 frames (12 hours).
//
//   quorvel_e2e_audio first-passed OUTPUT
//       For an input written by write-indexed: prints "FIRST COUNT", the index of the first
//       input frame the program passed through (the first frame of OUTPUT that is not silent)
//       and how many frames of OUTPUT there are from that one on. Exits with 3 while OUTPUT is
//       still silent.
//
//   quorvel_e2e_audio check-snippet INPUT WAV
//       Reads WAV with libsndfile and requires a 48 kHz, two-channel, 32-bit float file whose
//       frames are a contiguous run of INPUT's frames, bit for bit. Prints "START FRAMES": the
//       INPUT frame the run starts at and its length. INPUT "-" stands for the indexed signal
//       as long as it goes, without a file.
//
//   quorvel_e2e_audio check-passed OUTPUT
//       For an output recorded while the indexed signal played: requires every frame of OUTPUT
//       from the first one that is not silent to the end to be the next frame of the signal.
//       Prints "FIRST COUNT" as first-passed does.
//
//   quorvel_e2e_audio jack NAME OUTPUT [STORED_SECONDS]
//       A sound card on a JACK server (the one JACK_DEFAULT_SERVER names): client NAME_source
//       plays the indexed signal on out_1 and out_2, from frame 0 on from the first cycle in
//       which both are connected (silence before); client NAME_sink records in_1 and in_2
//       into OUTPUT, raw as the sink below writes it, the first STORED_SECONDS only when given.
//       The sink checks as it goes that what it hears is the signal passed through unchanged.
//       Writes "ready" to standard output once both clients run; on SIGTERM or SIGINT it stops
//       and prints "frames N passed P first F breaks B xruns X": frames heard, frames of them
//       that were the signal, the first index heard, the frames where the signal did not go on
//       from the frame before (silence at the end left out), and the xruns the server reported.
//
//   quorvel_e2e_audio sink FILE BYTES_PER_SECOND
//       Copies standard input to FILE no faster than BYTES_PER_SECOND. ALSA's null device has
//       no clock, so the program's audio thread would otherwise run as fast as the CPU allows;
//       the pipe into this sink paces it at the real sample rate.
//
//   quorvel_e2e_audio check INPUT OUTPUT
//       Finds the signal part of INPUT in OUTPUT (at any offset) and requires every one of its
//       samples, on both channels, to be there bit for bit.

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <atomic>
#include <csignal>

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <sndfile.h>
#include <unistd.h>

namespace
{

struct Frame
{
    std::uint32_t left, right;   // sample bits, compared exactly

    bool operator== (const Frame& o) const { return left == o.left && right == o.right; }
    bool isSilent() const                  { return left == 0 && right == 0; }
};

std::uint32_t bitsOf (float f)
{
    std::uint32_t u;
    std::memcpy (&u, &f, sizeof u);
    return u;
}

float floatOf (std::uint32_t u)
{
    float f;
    std::memcpy (&f, &u, sizeof f);
    return f;
}

// Raw files are little-endian; so is every machine this project builds on.
static_assert (sizeof (float) == 4 && sizeof (Frame) == 8);

bool readFrames (const char* path, std::vector<Frame>& frames)
{
    std::ifstream in (path, std::ios::binary | std::ios::ate);

    if (! in)
        return false;

    // Whole frames only: a file another process is still writing may end in part of one.
    frames.resize ((size_t) in.tellg() / sizeof (Frame));
    in.seekg (0);
    in.read (reinterpret_cast<char*> (frames.data()), (std::streamsize) (frames.size() * sizeof (Frame)));
    return (bool) in;
}

int writeInput (const char* path, long silentFrames, long signalFrames)
{
    std::vector<Frame> frames ((size_t) (silentFrames + signalFrames), Frame { 0, 0 });
    std::uint32_t state = 0x51f15eedu;

    // A sample in +-[0.05, 0.5): never zero (so the signal's start is found) and no denormals.
    auto nextSample = [&state]
    {
        state = state * 1664525u + 1013904223u;
        const float magnitude = 0.05f + 0.45f * (float) (state >> 9) / (float) (1u << 23);
        return (state & 0x100u) != 0 ? -magnitude : magnitude;
    };

    for (long i = silentFrames; i < silentFrames + signalFrames; ++i)
    {
        frames[(size_t) i].left = bitsOf (nextSample());
        frames[(size_t) i].right = bitsOf (nextSample());
    }

    std::ofstream out (path, std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (frames.data()), (std::streamsize) (frames.size() * sizeof (Frame)));
    return out ? 0 : 1;
}

//==============================================================================
// The indexed signal: every frame says where in the input it came from.
constexpr std::uint32_t stretchLength = 1u << 23;   // frames the left sample tells apart
constexpr std::uint32_t numStretches = 1u << 8;
constexpr long indexLimit = (long) stretchLength * numStretches;

// Unsigned arithmetic wraps modulo 2^32, a multiple of 2^23, so m comes out as documented.
Frame indexedFrame (std::uint32_t n)
{
    const std::uint32_t low = n % stretchLength, stretch = n / stretchLength;
    const std::uint32_t m = (n * 40503u + 12345u + stretch * 77777u) % stretchLength;
    const float left = 0.25f + std::ldexp ((float) low, -25);
    const float right = 0.5f + std::ldexp ((float) m, -24);
    const bool odd = (n & 1u) != 0;
    return { bitsOf (odd ? -left : left), bitsOf (odd ? right : -right) };
}

// The index a frame of the indexed signal tells, or -1 when it is not one of its frames.
long indexOf (const Frame& frame)
{
    const float magnitude = std::fabs (floatOf (frame.left));

    if (! (magnitude >= 0.25f && magnitude < 0.5f))
        return -1;

    const auto low = (std::uint32_t) std::ldexp (magnitude - 0.25f, 25);   // exact within one binade

    for (std::uint32_t stretch = 0; stretch < numStretches; ++stretch)
        if (const auto n = stretch * stretchLength + low; indexedFrame (n) == frame)
            return (long) n;

    return -1;
}

int writeIndexed (const char* path, long numFrames)
{
    if (numFrames < 0 || numFrames > (long) stretchLength)
    {
        std::fprintf (stderr, "write-indexed: at most %u frames\n", stretchLength);
        return 1;
    }

    std::vector<Frame> frames ((size_t) numFrames);

    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = indexedFrame ((std::uint32_t) i);

    std::ofstream out (path, std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (frames.data()), (std::streamsize) (frames.size() * sizeof (Frame)));
    return out ? 0 : 1;
}

int firstPassed (const char* outputPath)
{
    std::vector<Frame> output;

    if (! readFrames (outputPath, output))
    {
        std::fprintf (stderr, "first-passed: cannot read %s\n", outputPath);
        return 1;
    }

    size_t at = 0;

    while (at < output.size() && output[at].isSilent())
        ++at;

    if (at == output.size())
        return 3;

    const long first = indexOf (output[at]);

    if (first < 0)
    {
        std::fprintf (stderr, "first-passed: output frame %zu (%.9g, %.9g) is no frame of the indexed signal\n", at,
                      (double) floatOf (output[at].left), (double) floatOf (output[at].right));
        return 1;
    }

    std::printf ("%ld %zu\n", first, output.size() - at);
    return 0;
}

int checkPassed (const char* outputPath)
{
    std::vector<Frame> output;

    if (! readFrames (outputPath, output))
    {
        std::fprintf (stderr, "check-passed: cannot read %s\n", outputPath);
        return 1;
    }

    size_t at = 0;

    while (at < output.size() && output[at].isSilent())
        ++at;

    if (at == output.size())
    {
        std::fprintf (stderr, "check-passed: %s is silent\n", outputPath);
        return 1;
    }

    const long first = indexOf (output[at]);

    for (size_t i = at; i < output.size(); ++i)
    {
        if (first < 0 || ! (output[i] == indexedFrame ((std::uint32_t) (first + (long) (i - at)))))
        {
            const long found = indexOf (output[i]);
            std::fprintf (stderr, "check-passed: output frame %zu should be input frame %ld but is (%.9g, %.9g)%s%ld\n",
                          i, first + (long) (i - at), (double) floatOf (output[i].left), (double) floatOf (output[i].right),
                          found >= 0 ? ", input frame " : ", no frame of the signal ", found);
            return 1;
        }
    }

    std::printf ("%ld %zu\n", first, output.size() - at);
    return 0;
}

//==============================================================================
// A sound card on a JACK server: a source client plays the indexed signal, a sink client
// records what comes back and checks it on the way. The callbacks only copy, count and compare;
// a thread of the tool's own moves the recording from a lock-free ring into the file.
std::atomic<bool> stopRequested { false };

extern "C" void requestStop (int) { stopRequested = true; }

class JackLoop
{
public:
    bool open (const std::string& name, const char* outputPath, double storedSeconds)
    {
        source = jack_client_open ((name + "_source").c_str(), JackNoStartServer, nullptr);
        sink = jack_client_open ((name + "_sink").c_str(), JackNoStartServer, nullptr);

        if (source == nullptr || sink == nullptr)
        {
            std::fprintf (stderr, "jack: cannot open clients %s_source and %s_sink (is the server running?)\n",
                          name.c_str(), name.c_str());
            return false;
        }

        for (int channel = 0; channel < 2; ++channel)
        {
            const auto suffix = std::to_string (channel + 1);
            outs[channel] = jack_port_register (source, ("out_" + suffix).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
            ins[channel] = jack_port_register (sink, ("in_" + suffix).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);

            if (outs[channel] == nullptr || ins[channel] == nullptr)
                return false;
        }

        file = std::fopen (outputPath, "wb");

        if (file == nullptr)
        {
            std::fprintf (stderr, "jack: cannot open %s\n", outputPath);
            return false;
        }

        const auto rate = (double) jack_get_sample_rate (sink);
        framesToStore = storedSeconds > 0 ? (unsigned long) (storedSeconds * rate) : ~0ul;
        ring = jack_ringbuffer_create ((size_t) rate * sizeof (Frame));   // a second of frames
        jack_set_process_callback (source, [] (jack_nframes_t n, void* self) { return ((JackLoop*) self)->play (n); }, this);
        jack_set_process_callback (sink, [] (jack_nframes_t n, void* self) { return ((JackLoop*) self)->record (n); }, this);
        jack_set_xrun_callback (sink, [] (void* self) { ((JackLoop*) self)->xruns++; return 0; }, this);
        return jack_activate (source) == 0 && jack_activate (sink) == 0;
    }

    // Moves recorded frames into the file until asked to stop.
    void run()
    {
        std::printf ("ready\n");
        std::fflush (stdout);

        while (! stopRequested)
        {
            drain();
            std::this_thread::sleep_for (std::chrono::milliseconds (20));
        }

        jack_deactivate (sink);           // first, so that it hears no silence from a stopped source
        jack_deactivate (source);
        drain();
        std::printf ("frames %lu passed %lu first %ld breaks %lu xruns %d\n", heard.load(), passed.load(),
                     firstIndex.load(), breaks.load(), xruns.load());
    }

    ~JackLoop()
    {
        if (source != nullptr) jack_client_close (source);
        if (sink != nullptr)   jack_client_close (sink);
        if (ring != nullptr)   jack_ringbuffer_free (ring);
        if (file != nullptr)   std::fclose (file);
    }

private:
    int play (jack_nframes_t numFrames)
    {
        float* left = (float*) jack_port_get_buffer (outs[0], numFrames);
        float* right = (float*) jack_port_get_buffer (outs[1], numFrames);

        if (! playing)
            playing = jack_port_connected (outs[0]) > 0 && jack_port_connected (outs[1]) > 0;

        for (jack_nframes_t i = 0; i < numFrames; ++i)
        {
            const auto frame = playing ? indexedFrame (nextIndex++) : Frame { 0, 0 };
            left[i] = floatOf (frame.left);
            right[i] = floatOf (frame.right);
        }

        return 0;
    }

    int record (jack_nframes_t numFrames)
    {
        const float* left = (const float*) jack_port_get_buffer (ins[0], numFrames);
        const float* right = (const float*) jack_port_get_buffer (ins[1], numFrames);

        for (jack_nframes_t i = 0; i < numFrames; ++i)
        {
            const Frame frame { bitsOf (left[i]), bitsOf (right[i]) };
            check (frame);

            if (stored < framesToStore && jack_ringbuffer_write_space (ring) >= sizeof frame)
            {
                jack_ringbuffer_write (ring, (const char*) &frame, sizeof frame);
                ++stored;
            }
        }

        heard += numFrames;
        return 0;
    }

    // Once the signal arrived, every frame must be the one after the frame before.
    // Silence after the signal counts once the signal comes back: silence at the end only means
    // that the program stopped first.
    void check (const Frame& frame)
    {
        if (frame.isSilent())
        {
            silentRun += started ? 1 : 0;
            return;
        }

        if (! started)
        {
            started = true;
            expected = indexOf (frame);
            firstIndex = expected;
        }

        breaks += silentRun;
        silentRun = 0;

        if (expected >= 0 && frame == indexedFrame ((std::uint32_t) expected))
        {
            ++passed;
            ++expected;
            return;
        }

        ++breaks;
        const long found = indexOf (frame);
        expected = found >= 0 ? found + 1 : -1;
    }

    void drain()
    {
        while (const auto available = jack_ringbuffer_read_space (ring) / sizeof (Frame))
        {
            Frame frames[1024];
            const auto n = std::min<size_t> (available, std::size (frames));
            jack_ringbuffer_read (ring, (char*) frames, n * sizeof (Frame));
            std::fwrite (frames, sizeof (Frame), n, file);
        }

        std::fflush (file);
    }

    jack_client_t* source = nullptr;
    jack_client_t* sink = nullptr;
    jack_port_t* outs[2] {};
    jack_port_t* ins[2] {};
    jack_ringbuffer_t* ring = nullptr;
    std::FILE* file = nullptr;
    unsigned long framesToStore = 0, stored = 0;

    bool playing = false;                  // the source's thread only
    std::uint32_t nextIndex = 0;
    bool started = false;                  // the sink's thread only
    long expected = -1;
    unsigned long silentRun = 0;

    std::atomic<unsigned long> heard { 0 }, passed { 0 }, breaks { 0 };
    std::atomic<long> firstIndex { -1 };
    std::atomic<int> xruns { 0 };
};

int jackLoop (const char* name, const char* outputPath, double storedSeconds)
{
    std::signal (SIGTERM, requestStop);
    std::signal (SIGINT, requestStop);

    JackLoop loop;

    if (! loop.open (name, outputPath, storedSeconds))
        return 1;

    loop.run();
    return 0;
}

int checkSnippet (const char* inputPath, const char* wavPath)
{
    const bool generated = std::strcmp (inputPath, "-") == 0;
    std::vector<Frame> input;

    if (! generated && ! readFrames (inputPath, input))
    {
        std::fprintf (stderr, "check-snippet: cannot read %s\n", inputPath);
        return 1;
    }

    const auto inputLength = generated ? (size_t) indexLimit : input.size();
    const auto inputFrame = [&] (size_t i) { return generated ? indexedFrame ((std::uint32_t) i) : input[i]; };

    SF_INFO info {};
    SNDFILE* file = sf_open (wavPath, SFM_READ, &info);

    if (file == nullptr)
    {
        std::fprintf (stderr, "check-snippet: libsndfile cannot open %s: %s\n", wavPath, sf_strerror (nullptr));
        return 1;
    }

    const int container = info.format & SF_FORMAT_TYPEMASK, encoding = info.format & SF_FORMAT_SUBMASK;
    std::vector<float> samples ((size_t) std::max<sf_count_t> (0, info.frames) * 2);
    const sf_count_t read = info.channels == 2 ? sf_readf_float (file, samples.data(), info.frames) : 0;
    sf_close (file);

    std::printf ("%s: %s, %d Hz, %d channels, %s, %lld frames\n", wavPath,
                 container == SF_FORMAT_WAV ? "WAV" : container == SF_FORMAT_WAVEX ? "WAVE_FORMAT_EXTENSIBLE" : "not WAV",
                 info.samplerate, info.channels, encoding == SF_FORMAT_FLOAT ? "32-bit float" : "not 32-bit float",
                 (long long) info.frames);

    if ((container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX) || encoding != SF_FORMAT_FLOAT
        || info.samplerate != 48000 || info.channels != 2 || info.frames < 1)
    {
        std::fprintf (stderr, "check-snippet: expected a 48 kHz, two-channel, 32-bit float WAV file with audio in it\n");
        return 1;
    }

    if (read != info.frames)
    {
        std::fprintf (stderr, "check-snippet: read %lld of %lld frames\n", (long long) read, (long long) info.frames);
        return 1;
    }

    const auto frameAt = [&samples] (size_t i) { return Frame { bitsOf (samples[2 * i]), bitsOf (samples[2 * i + 1]) }; };
    const auto numFrames = (size_t) info.frames;
    const long start = indexOf (frameAt (0));

    if (start < 0 || (size_t) start + numFrames > inputLength)
    {
        std::fprintf (stderr, "check-snippet: the file's first frame (%.9g, %.9g) %s\n",
                      (double) samples[0], (double) samples[1],
                      start < 0 ? "is not a frame of the input" : "starts a run longer than the input");
        return 1;
    }

    for (size_t i = 0; i < numFrames; ++i)
    {
        const auto frame = frameAt (i);

        if (! (frame == inputFrame ((size_t) start + i)))
        {
            std::fprintf (stderr, "check-snippet: the file's frame %zu should be input frame %zu but is (%.9g, %.9g)",
                          i, (size_t) start + i, (double) samples[2 * i], (double) samples[2 * i + 1]);

            if (const long found = indexOf (frame); found >= 0)
                std::fprintf (stderr, ", input frame %ld", found);

            std::fprintf (stderr, "\n");
            return 1;
        }
    }

    std::printf ("%ld %zu\n", start, numFrames);
    return 0;
}

int writeDemo (const char* path, double seconds)
{
    constexpr double rate = 48000.0, beat = 0.5, twoPi = 6.283185307179586;
    const double notes[] { 220.0, 277.18, 329.63, 440.0, 329.63, 277.18, 246.94, 293.66 };
    const auto length = (size_t) (seconds * rate);
    std::vector<Frame> frames (length);

    for (size_t i = 0; i < length; ++i)
    {
        const double t = (double) i / rate;
        const auto beatIndex = (size_t) (t / beat);
        const double sinceBeat = t - (double) beatIndex * beat;
        const double f = notes[beatIndex % 8];

        // A plucked note: a few harmonics under a fast decay, a little wider on the right.
        const double envelope = std::exp (-sinceBeat * 6.0);
        double left = 0.0, right = 0.0;

        for (int h = 1; h <= 4; ++h)
        {
            left += std::sin (twoPi * f * h * t) * envelope / (h * 1.7);
            right += std::sin (twoPi * f * 1.003 * h * t) * envelope / (h * 1.7);
        }

        // A kick on every other beat: a falling sine with a quick decay.
        const double sinceKick = t - (double) (beatIndex / 2 * 2) * beat;
        const double kick = std::sin (twoPi * (50.0 + 90.0 * std::exp (-sinceKick * 30.0)) * sinceKick)
                          * std::exp (-sinceKick * 9.0);

        frames[i].left = bitsOf ((float) (0.35 * left + 0.45 * kick));
        frames[i].right = bitsOf ((float) (0.35 * right + 0.45 * kick));
    }

    std::ofstream out (path, std::ios::binary | std::ios::trunc);
    out.write (reinterpret_cast<const char*> (frames.data()), (std::streamsize) (frames.size() * sizeof (Frame)));
    return out ? 0 : 1;
}

int sink (const char* path, double bytesPerSecond)
{
    const int fd = ::open (path, O_WRONLY | O_CREAT | O_TRUNC, 0644);

    if (fd < 0)
    {
        std::fprintf (stderr, "sink: cannot open %s: %s\n", path, std::strerror (errno));
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    std::vector<char> buffer (4096);
    double total = 0;

    for (;;)
    {
        const auto n = ::read (STDIN_FILENO, buffer.data(), buffer.size());

        if (n < 0 && errno == EINTR)
            continue;

        if (n <= 0)
            break;

        for (ssize_t done = 0; done < n;)
        {
            const auto w = ::write (fd, buffer.data() + done, (size_t) (n - done));

            if (w < 0 && errno == EINTR)
                continue;

            if (w < 0)
            {
                std::fprintf (stderr, "sink: write failed: %s\n", std::strerror (errno));
                return 1;
            }

            done += w;
        }

        total += (double) n;
        std::this_thread::sleep_until (start + std::chrono::duration<double> (total / bytesPerSecond));
    }

    return ::close (fd) == 0 ? 0 : 1;
}

int check (const char* inputPath, const char* outputPath)
{
    std::vector<Frame> input, output;

    if (! readFrames (inputPath, input) || ! readFrames (outputPath, output))
    {
        std::fprintf (stderr, "check: cannot read %s or %s\n", inputPath, outputPath);
        return 1;
    }

    size_t signalStart = 0;

    while (signalStart < input.size() && input[signalStart].isSilent())
        ++signalStart;

    const size_t signalLength = input.size() - signalStart;

    if (signalLength == 0)
    {
        std::fprintf (stderr, "check: the input holds no signal\n");
        return 1;
    }

    size_t nonSilent = 0;

    for (const auto& f : output)
        nonSilent += f.isSilent() ? 0u : 1u;

    std::printf ("output: %zu frames, %zu of them not silent\n", output.size(), nonSilent);

    // The program may have dropped the first blocks while it started: look for the signal's
    // first frame, then require the rest of the signal to follow it unchanged.
    for (size_t at = 0; at + signalLength <= output.size(); ++at)
    {
        if (! (output[at] == input[signalStart]))
            continue;

        for (size_t i = 0; i < signalLength; ++i)
        {
            if (! (output[at + i] == input[signalStart + i]))
            {
                std::fprintf (stderr, "check: signal found at output frame %zu, but its frame %zu differs: "
                                      "expected (%.9g, %.9g), got (%.9g, %.9g)\n",
                              at, i,
                              (double) floatOf (input[signalStart + i].left), (double) floatOf (input[signalStart + i].right),
                              (double) floatOf (output[at + i].left), (double) floatOf (output[at + i].right));
                return 1;
            }
        }

        std::printf ("passed through unchanged: %zu signal frames (input frame %zu) at output frame %zu, "
                     "offset %lld frames\n",
                     signalLength, signalStart, at, (long long) at - (long long) signalStart);
        return 0;
    }

    std::fprintf (stderr, "check: the output does not contain the input signal (%zu frames)%s\n", signalLength,
                  nonSilent == 0 ? "; the output is silent (was the input muted?)" : "");
    return 1;
}

int usage()
{
    std::fprintf (stderr, "usage: quorvel_e2e_audio write-input FILE SILENT_FRAMES SIGNAL_FRAMES\n"
                          "       quorvel_e2e_audio write-demo FILE SECONDS\n"
                          "       quorvel_e2e_audio write-indexed FILE FRAMES\n"
                          "       quorvel_e2e_audio first-passed OUTPUT\n"
                          "       quorvel_e2e_audio check-snippet INPUT|- WAV\n"
                          "       quorvel_e2e_audio check-passed OUTPUT\n"
                          "       quorvel_e2e_audio jack NAME OUTPUT [STORED_SECONDS]\n"
                          "       quorvel_e2e_audio sink FILE BYTES_PER_SECOND\n"
                          "       quorvel_e2e_audio check INPUT OUTPUT\n");
    return 2;
}

} // namespace

int main (int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";

    if (command == "write-input" && argc == 5)
        return writeInput (argv[2], std::atol (argv[3]), std::atol (argv[4]));

    if (command == "write-demo" && argc == 4)
        return writeDemo (argv[2], std::atof (argv[3]));

    if (command == "write-indexed" && argc == 4)
        return writeIndexed (argv[2], std::atol (argv[3]));

    if (command == "first-passed" && argc == 3)
        return firstPassed (argv[2]);

    if (command == "check-snippet" && argc == 4)
        return checkSnippet (argv[2], argv[3]);

    if (command == "check-passed" && argc == 3)
        return checkPassed (argv[2]);

    if (command == "jack" && (argc == 4 || argc == 5))
        return jackLoop (argv[2], argv[3], argc == 5 ? std::atof (argv[4]) : 0.0);

    if (command == "sink" && argc == 4)
        return sink (argv[2], std::atof (argv[3]));

    if (command == "check" && argc == 4)
        return check (argv[2], argv[3]);

    return usage();
}
