#include "AudioPluginAudioProcessor.h"
#include "AudioPluginAudioProcessorEditor.h"
#include "BarSnapping.h"
#include "NumberText.h"
#include "ValueParsing.h"
#include "ValueTreeStreamCheck.h"
#include "XmlTextCheck.h"
#include "varrow/DisplayFeed.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace
{

constexpr double previewSilence = 1.0e-5;
constexpr int maxRefillPositionsPerBlock = 44100;
constexpr int refillPositionsPerSample = 256;

constexpr int allowedRecordDurations[] { 15, 30, 45, 60, 90, 120, 240, 600 };

/** The ring positions one block may refill. Small blocks refill in proportion to their length:
    44100 positions fit a 512-sample block easily but would take up a large share of a
    64-sample block's period. */
int refillBudget (int numSamples) noexcept
{
    return (int) std::clamp ((juce::int64) numSamples * refillPositionsPerSample,
                             (juce::int64) 1, (juce::int64) maxRefillPositionsPerBlock);
}

bool readBool (const juce::PropertiesFile& file, juce::StringRef key, bool fallback)
{
    return file.containsKey (key) ? ValueParsing::parseInt (file.getValue (key)) != 0 : fallback;
}

int readInt (const juce::PropertiesFile& file, juce::StringRef key, int fallback)
{
    return file.containsKey (key) ? ValueParsing::parseInt (file.getValue (key)) : fallback;
}

double readDouble (const juce::PropertiesFile& file, juce::StringRef key, double fallback)
{
    return file.containsKey (key) ? ValueParsing::parseFiniteDouble (file.getValue (key), fallback) : fallback;
}

/** The value tree the bytes hold, or an invalid tree unless they hold exactly one complete
    tree. The bytes are walked before the framework's reader trusts their counts, and checked
    by writing the result back, since that reader returns whatever it parsed before damaged
    or truncated data ends. */
juce::ValueTree readWholeTree (const void* data, size_t size)
{
    if (! ValueTreeStreamCheck::isWellFormed (data, size))
        return {};

    auto tree = juce::ValueTree::readFromData (data, size);

    if (! tree.isValid())
        return {};

    juce::MemoryOutputStream written (size);
    tree.writeToStream (written);

    if (written.getDataSize() != size || std::memcmp (written.getData(), data, size) != 0)
        return {};

    return tree;
}

/** The framework's XML reader can hang on some damaged documents, so a preferences file that
    is not a plain XML document counts as unreadable: it is set aside (kept for the user,
    renamed) and the preferences start from their defaults. Returns false when it could not
    be moved: the user's file is then left exactly as it is, never deleted. */
bool setAsideIfUnreadable (const juce::File& file)
{
    juce::MemoryBlock bytes;

    if (! file.existsAsFile() || ! file.loadFileAsData (bytes) || bytes.isEmpty())
        return true;

    if (XmlTextCheck::isPlainXml (static_cast<const char*> (bytes.getData()), bytes.getSize()))
        return true;

    return file.moveFileTo (file.getSiblingFile (file.getFileName() + ".damaged"));
}

bool isAppleHost()
{
    const juce::PluginHostType host;
    return host.isGarageBand() || host.isLogic();
}

} // namespace

//==============================================================================
/** Frees the ring storage the audio thread has swapped out, soon after it did. */
class AudioPluginAudioProcessor::StorageReleaser final : private juce::Timer
{
public:
    explicit StorageReleaser (varrow::RestartMailbox& mailboxToWatch) : mailbox (mailboxToWatch) {}
    ~StorageReleaser() override { stopTimer(); }

    void watch() { startTimer (500); }

private:
    void timerCallback() override
    {
        mailbox.releaseReturned();

        if (! mailbox.isHoldingMemory())
            stopTimer();
    }

    varrow::RestartMailbox& mailbox;
};

//==============================================================================
AudioPluginAudioProcessor::AudioPluginAudioProcessor (std::unique_ptr<UserMessages> messages)
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, "Parameters", createParameterLayout()),
      isStandalone (wrapperType == wrapperType_Standalone),
      hostIsAbletonLive (juce::PluginHostType().isAbletonLive()),
      hostIsAppleHost (isAppleHost()),
      userMessages (messages != nullptr ? std::move (messages) : UserMessages::createDefault()),
      freezeParameter (parameters.getParameter ("Freeze")),
      storageReleaser (std::make_unique<StorageReleaser> (restartMailbox))
{
    jassert (freezeParameter != nullptr);

    propertiesOptions = std::make_unique<juce::PropertiesFile::Options> (preferencesFileOptions());

    auto& laf = juce::LookAndFeel::getDefaultLookAndFeel();
    laf.setColour (juce::AlertWindow::backgroundColourId, juce::Colour (0xff242424));
    laf.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0xff373737));
    laf.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff2d2d2d));
    laf.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff373737));
    laf.setColour (juce::ComboBox::backgroundColourId, juce::Colour (0xff232323));
    laf.setColour (juce::ComboBox::buttonColourId, juce::Colour (0xff232323));
    laf.setColour (juce::ListBox::backgroundColourId, juce::Colour (0xff262626));
    laf.setColour (juce::ResizableWindow::backgroundColourId, juce::Colour (0xff232323));

    readPreferences();

    if (! recordingPathSet && ! hostIsAppleHost)
        launchRecordPathDialogue();

    captureBuffer = std::make_unique<varrow::CircularBuffer> (capacityFor (44100.0, recordDurationSeconds));
    displayBuffer.pushBack (storedDisplayWidth);
    refillProgress = 0.0;
    previewFade = std::make_unique<Smoother> (Smoother::coefficientFor (0.015, 44100.0), 0.0, 0.0);
}

AudioPluginAudioProcessor::~AudioPluginAudioProcessor() = default;

juce::AudioProcessorValueTreeState::ParameterLayout AudioPluginAudioProcessor::createParameterLayout()
{
    return { std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { "Freeze", 1 }, "Freeze",
                                                           juce::StringArray { "Off", "On" }, 0) };
}

//==============================================================================
const juce::String AudioPluginAudioProcessor::getName() const   { return "Quorvel"; }
bool AudioPluginAudioProcessor::acceptsMidi() const              { return false; }
bool AudioPluginAudioProcessor::producesMidi() const             { return false; }
bool AudioPluginAudioProcessor::isMidiEffect() const             { return false; }
bool AudioPluginAudioProcessor::hasEditor() const                { return true; }
int AudioPluginAudioProcessor::getNumPrograms()                  { return 1; }
int AudioPluginAudioProcessor::getCurrentProgram()               { return 0; }
void AudioPluginAudioProcessor::setCurrentProgram (int)          {}
const juce::String AudioPluginAudioProcessor::getProgramName (int)   { return {}; }
void AudioPluginAudioProcessor::changeProgramName (int, const juce::String&) {}
void AudioPluginAudioProcessor::releaseResources()               {}

double AudioPluginAudioProcessor::getTailLengthSeconds() const
{
    // Answered from a flag found once: hosts may ask from their audio thread.
    return hostIsAppleHost ? std::numeric_limits<double>::infinity() : 0.0;
}

bool AudioPluginAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();

    if (output != juce::AudioChannelSet::mono() && output != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == output;
}

juce::AudioProcessorEditor* AudioPluginAudioProcessor::createEditor()
{
    return new AudioPluginAudioProcessorEditor (*this);
}

//==============================================================================
bool AudioPluginAudioProcessor::isAllowedRecordDuration (int seconds) noexcept
{
    return std::find (std::begin (allowedRecordDurations), std::end (allowedRecordDurations), seconds)
               != std::end (allowedRecordDurations);
}

int AudioPluginAudioProcessor::capacityFor (double sampleRate, int seconds) noexcept
{
    // The rate is truncated to whole samples per second before scaling, so 44100.9 Hz and
    // 44100 Hz give the same ring; the result always holds at least one sample.
    const auto samples = (juce::int64) juce::jlimit (1.0, 1.0e9, sampleRate) * (juce::int64) std::max (1, seconds);
    return (int) std::min<juce::int64> (samples, std::numeric_limits<int>::max());
}

void AudioPluginAudioProcessor::prepareToPlay (double sampleRate, int)
{
    captureBuffer.reset();
    previewFade.reset();

    // A duration asked for before the host prepared us takes effect with this new ring.
    if (const int pending = pendingRecordDuration.exchange (-1); pending != -1)
        recordDurationSeconds = pending;

    restartMailbox.withdraw();
    restartMailbox.releaseReturned();

    // Without the memory for a ring, audio passes through unrecorded until a later prepare
    // (or a shorter duration) finds it; nothing else reads a ring that is not there.
    try
    {
        const int capacity = capacityFor (sampleRate, recordDurationSeconds);

        if (beforeRingAllocation)
            beforeRingAllocation (capacity);

        captureBuffer = std::make_unique<varrow::CircularBuffer> (capacity);
        previewPosition = std::fmod (previewPosition, (double) captureBuffer->capacity);
        prepareSnippetStorage (capacity);
    }
    catch (const std::bad_alloc&)
    {
        captureBuffer.reset();
    }

    const int columns = prepared ? displayWidth.load() : getDisplaySize().first - 10;
    displayBuffer.pushBack (columns);
    refillProgress = 0.0;

    previewFade = std::make_unique<Smoother> (Smoother::coefficientFor (0.015, sampleRate), 0.0, 0.0);

    outputGain.coefficient = Smoother::coefficientFor (0.1, sampleRate);

    if (! previewOnly)
    {
        outputGain.setTarget (1.0);
        outputGain.current = 1.0;
    }

    prepared = true;
    sampleRateHz = (int) juce::jlimit (1.0, 1.0e9, sampleRate);
}

//==============================================================================
void AudioPluginAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const int numSamples = buffer.getNumSamples();
    const int numInputs = std::min (getTotalNumInputChannels(), buffer.getNumChannels());

    for (int channel = numInputs; channel < buffer.getNumChannels(); ++channel)
        buffer.clear (channel, 0, numSamples);

    // No ring (prepareToPlay could not allocate one): the input passes through untouched, and
    // none of the steps below, which all work on the ring, runs.
    if (captureBuffer == nullptr)
        return;

    followTransport();

    mirrorFreezeParameter();
    applyRecordDurationRequest();
    applyPreviewSeek();
    applyViewRequests();
    refillColumns (numSamples);

    const bool isFrozen = frozen.load();
    const float* left = numInputs > 0 ? buffer.getReadPointer (0) : nullptr;
    const float* right = numInputs > 1 ? buffer.getReadPointer (1) : left;

    if (! isFrozen)
        feedLiveSamples (left, right, numSamples);

    captureAndOutput (buffer, left, right, numInputs, isFrozen);
}

void AudioPluginAudioProcessor::followTransport() noexcept
{
    auto* head = getPlayHead();

    if (head == nullptr)
        return;

    const auto position = head->getPosition();

    if (! position.hasValue())
        return;

    const bool playing = position->getIsPlaying() || position->getIsRecording();

    if (const auto bpm = position->getBpm())
        hostBpm.store (*bpm);

    if (frozen.load())
        return;

    if (playing != hostWasPlaying)
    {
        const auto p = (double) captureBuffer->writeIndex / (double) captureBuffer->capacity;

        if (playing)
        {
            takeStart.store (p);
            takeEnd.store (-2.0);
        }
        else
        {
            takeEnd.store (p);
        }
    }

    hostWasPlaying = playing;
}

void AudioPluginAudioProcessor::mirrorFreezeParameter() noexcept
{
    // Acting only on change lets the view freeze and unfreeze without the parameter
    // undoing it at the next block.
    const float value = freezeParameter->getValue();

    if (value != lastFreezeValue)
    {
        lastFreezeValue = value;
        frozen.store (value != 0.0f);
    }
}

void AudioPluginAudioProcessor::applyRecordDurationRequest() noexcept
{
    auto* parcel = restartMailbox.claim();

    if (parcel == nullptr)
        return;

    const int seconds = parcel->tag;
    recordDurationSeconds.store (seconds);
    captureBuffer->restart (parcel->capacity, parcel->channels);
    restartMailbox.giveBack (parcel);

    previewPosition = std::fmod (previewPosition, (double) captureBuffer->capacity);
    displayBuffer.pushBack (displayBuffer.columnCount);
    refillProgress = 0.0;
    displayRotation.store (0.0f);
    displayReady.store (true);

    int expected = seconds;
    pendingRecordDuration.compare_exchange_strong (expected, -1);
}

void AudioPluginAudioProcessor::applyPreviewSeek() noexcept
{
    const double seek = pendingPreviewSeek.exchange (noPreviewSeek);

    if (seek == noPreviewSeek)
        return;

    const auto capacity = (double) captureBuffer->capacity;
    const double fraction = seek - std::floor (seek);   // windows past the ring's end give positions above 1
    previewPosition = std::round (capacity * fraction);

    if (previewPosition >= capacity)
        previewPosition -= capacity;

    previewFraction.store (fraction);
}

void AudioPluginAudioProcessor::applyViewRequests() noexcept
{
    if (zoomRequestPending.exchange (false))
    {
        const double offset = requestedZoomOffset.load();
        const double width = requestedZoomWidth.load();

        if (std::isfinite (offset) && width > 0.0 && width <= 1.0)
        {
            zoom.offset.store (offset);
            zoom.width.store (width);
            zoomed.store (! (offset == 0.0 && width == 1.0));
        }

        displayBuffer.pushBack (displayWidth.load());
        refillProgress = 0.0;
        displayReady.store (true);
    }

    // The view stores a scroll before raising the reset that announces it, so the flag is
    // taken first: a reset seen here always comes with its scroll.
    const bool resetColumns = columnsResetRequested.exchange (false);

    if (const double scroll = scrollRequest.exchange (-2.0); scroll != -2.0 && std::isfinite (scroll))
    {
        const double width = zoom.width.load();
        double offset = zoom.offset.load() + scroll * width;

        if (offset >= 2.0 || offset + width >= 2.0)
            offset -= 1.0;
        else if (offset < 0.0)
            offset += 1.0;

        zoom.offset.store (offset);
    }

    if (resetColumns)
    {
        displayBuffer.pushBack (displayBuffer.columnCount);
        refillProgress = 0.0;
    }

    const int width = std::clamp (displayWidth.load(), 0, varrow::DisplayBuffer::maxColumns);

    if (width != lastDisplayWidth)
    {
        displayBuffer.pushBack (width);
        refillProgress = 0.0;
        displayReady.store (true);
    }

    lastDisplayWidth = width;
}

void AudioPluginAudioProcessor::refillColumns (int numSamples) noexcept
{
    if (refillProgress == 1.0 || std::isnan (refillProgress))
        return;

    refillProgress = varrow::DisplayFeed::refill (displayBuffer, *captureBuffer, zoom.offset.load(),
                                                  zoom.width.load(), refillProgress, refillBudget (numSamples));
}

void AudioPluginAudioProcessor::feedLiveSamples (const float* left, const float* right, int numSamples) noexcept
{
    const auto& ring = *captureBuffer;
    varrow::DisplayFeed::mergeLive (displayBuffer, left, right, numSamples, ring.writeIndex, ring.capacity,
                                    zoom.offset.load(), zoom.width.load(), ring.wrapCount);
}

void AudioPluginAudioProcessor::captureAndOutput (juce::AudioBuffer<float>& buffer, const float* left,
                                                  const float* right, int numInputs, bool isFrozen) noexcept
{
    auto& ring = *captureBuffer;
    auto& fade = *previewFade;
    const int numSamples = buffer.getNumSamples();
    const auto capacity = (double) ring.capacity;
    const bool playing = previewPlaying.load();

    if (! playing && fade.getTarget() == 0.0 && fade.current <= previewSilence)
    {
        // No preview is heard in this block: capture and gain can run as whole-block passes.
        if (! isFrozen)
            ring.writeBlock (left, right, numSamples);

        applyOutputGain (buffer, numInputs);
        fade.current = 0.0;   // what remains of a finished fade is inaudible
        previewPosition = std::fmod (previewPosition + numSamples, capacity);
        previewFraction.store (previewPosition / capacity);
        return;
    }

    auto* out0 = numInputs > 0 ? buffer.getWritePointer (0) : nullptr;
    auto* out1 = numInputs > 1 ? buffer.getWritePointer (1) : nullptr;
    const auto* ringLeft = ring.left.getReadPointer (0);
    const auto* ringRight = ring.right.getReadPointer (0);

    for (int i = 0; i < numSamples; ++i)
    {
        fade.step();
        outputGain.step();

        const float l = left != nullptr ? left[i] : 0.0f;
        const float r = right != nullptr ? right[i] : l;

        if (! isFrozen)
            ring.write (l, r);

        previewPosition += 1.0;

        if (previewPosition >= capacity)
            previewPosition -= capacity;

        if (out0 != nullptr)
            out0[i] = (float) (out0[i] * outputGain.current);

        if (out1 != nullptr)
            out1[i] = (float) (out1[i] * outputGain.current);

        if (playing || fade.current > previewSilence)
        {
            const auto k = (size_t) previewPosition;

            if (out0 != nullptr)
                out0[i] += (float) (ringLeft[k] * fade.current);

            if (out1 != nullptr)
                out1[i] += (float) (ringRight[k] * fade.current);
        }

        outputGain.snap();
    }

    previewFraction.store (previewPosition / capacity);
}

void AudioPluginAudioProcessor::applyOutputGain (juce::AudioBuffer<float>& buffer, int numInputs) noexcept
{
    const int numSamples = buffer.getNumSamples();
    const int numChannels = std::min (numInputs, 2);

    if (outputGain.current == outputGain.getTarget())
    {
        // A settled gain stays constant through the block.
        const double gain = outputGain.current;

        if (gain != 1.0)
            for (int channel = 0; channel < numChannels; ++channel)
                for (auto* s = buffer.getWritePointer (channel), *end = s + numSamples; s != end; ++s)
                    *s = (float) (*s * gain);

        return;
    }

    auto* out0 = numChannels > 0 ? buffer.getWritePointer (0) : nullptr;
    auto* out1 = numChannels > 1 ? buffer.getWritePointer (1) : nullptr;

    for (int i = 0; i < numSamples; ++i)
    {
        outputGain.step();

        if (out0 != nullptr)
            out0[i] = (float) (out0[i] * outputGain.current);

        if (out1 != nullptr)
            out1[i] = (float) (out1[i] * outputGain.current);

        outputGain.snap();
    }
}

//==============================================================================
void AudioPluginAudioProcessor::requestRecordDuration (int seconds)
{
    JUCE_ASSERT_MESSAGE_THREAD
    jassert (isAllowedRecordDuration (seconds));

    if (! prepared || captureBuffer == nullptr)
    {
        // No sample rate yet, or no ring to restart: prepareToPlay builds the ring at this length.
        displayReady.store (false);
        restartMailbox.withdraw();
        pendingRecordDuration.store (seconds);
        return;
    }

    // The memory first: when it cannot be had (std::bad_alloc), nothing has been marked, so
    // no duration that never took effect is saved with the state or retried by a prepare.
    const int capacity = capacityFor (sampleRateHz, seconds);

    if (beforeRingAllocation)
        beforeRingAllocation (capacity);

    auto parcel = std::make_unique<varrow::RestartMailbox::Parcel> (capacity, seconds);
    displayReady.store (false);

    // Marked pending before posting, so the audio thread's clearing of the mark always
    // finds it once it has taken the parcel.
    pendingRecordDuration.store (seconds);
    restartMailbox.post (std::move (parcel));
    storageReleaser->watch();
    prepareSnippetStorage (capacity);
}

void AudioPluginAudioProcessor::prepareSnippetStorage (int capacity)
{
    // Exports copy into this buffer, sized with the ring and touched here: memory first touched
    // during an export, or freed after it, can hold up the audio thread on some systems.
    try
    {
        snippetStorage.setSize (2, capacity, false, false, false);

        for (int channel = 0; channel < 2; ++channel)
            juce::FloatVectorOperations::clear (snippetStorage.getWritePointer (channel), capacity);
    }
    catch (const std::bad_alloc&)
    {
        snippetStorage.setSize (0, 0);   // an export then asks for the memory itself
    }
}

void AudioPluginAudioProcessor::requestPreviewSeek (double ringPosition)
{
    jassert (ringPosition >= 0.0 && std::isfinite (ringPosition));

    if (ringPosition >= 0.0 && std::isfinite (ringPosition))
    {
        previewFraction.store (ringPosition - std::floor (ringPosition));
        pendingPreviewSeek.store (ringPosition);
    }
}

varrow::CircularBuffer::CopyResult AudioPluginAudioProcessor::copyFromCapture (int first, int numSamples,
                                                                               float* destLeft, float* destRight) const
{
    if (captureBuffer == nullptr)
    {
        std::fill_n (destLeft, std::max (0, numSamples), 0.0f);
        std::fill_n (destRight, std::max (0, numSamples), 0.0f);
        return {};
    }

    return captureBuffer->copyRegion (first, numSamples, destLeft, destRight);
}

varrow::CircularBuffer::Snapshot AudioPluginAudioProcessor::captureSnapshot() const
{
    return captureBuffer != nullptr ? captureBuffer->snapshot() : varrow::CircularBuffer::Snapshot {};
}

varrow::CircularBuffer::CopyResult AudioPluginAudioProcessor::copyFromCapture (const varrow::CircularBuffer::Snapshot& since,
                                                                               int first, int numSamples,
                                                                               float* destLeft, float* destRight) const
{
    if (captureBuffer == nullptr)
    {
        std::fill_n (destLeft, std::max (0, numSamples), 0.0f);
        std::fill_n (destRight, std::max (0, numSamples), 0.0f);
        return {};
    }

    return captureBuffer->copyRegion (since, first, numSamples, destLeft, destRight);
}

//==============================================================================
void AudioPluginAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto sampler = parameters.state.getOrCreateChildWithName ("sampler", nullptr);
    const int pending = pendingRecordDuration.load();

    sampler.setProperty ("waveform-zoom", displayGain, nullptr);
    sampler.setProperty ("pause", frozen.load(), nullptr);
    sampler.setProperty ("record-duration", pending != -1 ? pending : recordDurationSeconds.load(), nullptr);
    sampler.setProperty ("noise-threshold", noiseThresholdDb, nullptr);
    sampler.setProperty ("channel-mode", channelMode, nullptr);
    sampler.setProperty ("preview-only", previewOnly, nullptr);

    // The tree takes the parameters' latest values only on its own timer; copying it brings them in first.
    juce::MemoryOutputStream stream (destData, false);
    parameters.copyState().writeToStream (stream);
}

void AudioPluginAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 0)
        return;

    const auto tree = readWholeTree (data, (size_t) sizeInBytes);

    // Anything but a parameter tree of ours (empty, damaged or another plug-in's data) is ignored.
    if (! tree.isValid() || ! tree.hasType (parameters.state.getType()))
        return;

    parameters.replaceState (tree);

    const auto sampler = tree.getChildWithName ("sampler");

    displayGain = std::max (0.0, ValueParsing::toFiniteDouble (sampler.getProperty ("waveform-zoom", 1.0), 1.0));
    frozen.store ((bool) sampler.getProperty ("pause", false));
    noiseThresholdDb = ValueParsing::toFiniteDouble (sampler.getProperty ("noise-threshold", -150.0), -150.0);

    const int mode = ValueParsing::toInt (sampler.getProperty ("channel-mode", 0));
    channelMode = juce::isPositiveAndNotGreaterThan (mode, 2) ? mode : 0;

    previewOnly = (bool) sampler.getProperty ("preview-only", false);

    // The project reopens with the buffer length the user chose.
    const int stored = ValueParsing::toInt (sampler.getProperty ("record-duration", defaultRecordDuration));
    const int seconds = isAllowedRecordDuration (stored) ? stored : defaultRecordDuration;
    const int pending = pendingRecordDuration.load();

    if (seconds != (pending != -1 ? pending : recordDurationSeconds.load()))
        requestRecordDuration (seconds);

    outputGain.setTarget (previewOnly ? 0.0 : 1.0);
}

//==============================================================================
juce::PropertiesFile::Options AudioPluginAudioProcessor::preferencesFileOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Quorvel";
    options.folderName = "~/.config/Varrow's/" + options.applicationName;
    options.filenameSuffix = ".vasettings";
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.processLock = nullptr;
    return options;
}

std::unique_ptr<juce::PropertiesFile> AudioPluginAudioProcessor::openPreferences() const
{
    if (! setAsideIfUnreadable (propertiesOptions->getDefaultFile()))
        return std::make_unique<juce::PropertiesFile> (juce::File(), *propertiesOptions);   // defaults; saving fails quietly

    return std::make_unique<juce::PropertiesFile> (*propertiesOptions);
}

void AudioPluginAudioProcessor::readPreferences()
{
    {
        auto prefs = openPreferences();
        prefs->save();   // creates the folder and the file on the first start

        appendBpm = readBool (*prefs, "Append BPM", true);

        // A frame rate below one would stop (or never pace) the waveform's refresh.
        targetFps = readInt (*prefs, "Target FPS", 20);
        targetFps = targetFps >= 1 ? targetFps : 20;

        pinOnTop = readBool (*prefs, "Pin", false);
        trimSilence = readBool (*prefs, "Trim Silence", true);
        noiseThresholdDb = readDouble (*prefs, "Noise Threshold", -125.0);
        displayGain = std::max (0.0, readDouble (*prefs, "Display Gain", 1.0));
        legacyDisplay = readBool (*prefs, "Legacy Display", true);
        snapFileLength = readBool (*prefs, "Snap File Length", false);
        useOpenGL = readInt (*prefs, "OpenGL", 1) != 0;
        borderlessWindow = readBool (*prefs, "Borderless Window", false);
        save24Bit = readBool (*prefs, "24 bit", false);
        showPauseButton = readBool (*prefs, "Pause Button", false);
        showContextButton = readBool (*prefs, "Context Button", true);
        legacyModifiers = readBool (*prefs, "Legacy Modifiers", false);
        capturePlayback = ! isStandalone && readBool (*prefs, "Capture Playback", false);

        // New instances start with the length the user stored as default.
        const int storedDuration = readInt (*prefs, "Record Duration", defaultRecordDuration);
        recordDurationSeconds = isAllowedRecordDuration (storedDuration) ? storedDuration : defaultRecordDuration;
    }

    std::tie (storedDisplayWidth, storedDisplayHeight) = getDisplaySize();
    displayWidth.store (storedDisplayWidth);

    recordingPathSet = openPreferences()->getValue ("Recording Path", "None") != "None";
}

juce::String AudioPluginAudioProcessor::displaySizeKeyPrefix() const
{
    return isStandalone ? "Standalone " : "";
}

std::pair<int, int> AudioPluginAudioProcessor::getDisplaySize() const
{
    const auto prefs = openPreferences();
    const auto prefix = displaySizeKeyPrefix();
    constexpr int largest = varrow::DisplayBuffer::maxColumns;

    return { std::clamp (readInt (*prefs, prefix + "Display Width", 1000), 0, largest),
             std::clamp (readInt (*prefs, prefix + "Display Height", 89), 0, largest) };
}

void AudioPluginAudioProcessor::saveDisplaySize (int width, int height)
{
    if (width == storedDisplayWidth && height == storedDisplayHeight)
        return;

    const auto prefs = openPreferences();
    prefs->setValue (displaySizeKeyPrefix() + "Display Width", width);
    prefs->setValue (displaySizeKeyPrefix() + "Display Height", height);
}

void AudioPluginAudioProcessor::saveSelectedTheme (int theme)
{
    savePreference ("Selected Theme", theme);
}

void AudioPluginAudioProcessor::toggleTrimSilence()
{
    trimSilence = ! trimSilence;
    savePreference ("Trim Silence", trimSilence);
}

void AudioPluginAudioProcessor::toggleDisplayContextButton()
{
    showContextButton = ! showContextButton;
    savePreference ("Context Button", showContextButton);
}

void AudioPluginAudioProcessor::toggleOpenGL()
{
    useOpenGL = ! useOpenGL;
    savePreference ("OpenGL", useOpenGL);
    notifyUser ("OpenGL - Success", juce::String ("OpenGL has been turned ") + (useOpenGL ? "on. " : "off. ")
                                        + productName + " has to be closed and re-opened for the changes to take effect.");
}

void AudioPluginAudioProcessor::savePreference (const juce::String& key, const juce::var& value)
{
    const auto prefs = openPreferences();
    prefs->setValue (key, value);
    prefs->save();
}

void AudioPluginAudioProcessor::notifyUser (const juce::String& title, const juce::String& text)
{
    userMessages->show (juce::MessageBoxIconType::InfoIcon, title, text);
}

void AudioPluginAudioProcessor::openManual()
{
    const auto page = manualOpener->findPage();

    if (! page.existsAsFile())
    {
        notifyUser ("Online Manual - Error",
                    productName + " could not find its manual. It is installed with the program as "
                                  "share/doc/quorvel/manual.html, or beside it as manual.html.");
        return;
    }

    manualOpener->open (page, [this, alive = std::weak_ptr<const int> (lifetime), page] (const juce::String& cause)
    {
        if (! alive.expired())
            notifyUser ("Online Manual - Error",
                        productName + " could not open its manual " + page.getFullPathName() + " in a web browser: " + cause + ".");
    });
}

//==============================================================================
void AudioPluginAudioProcessor::saveCropRegionToFile (bool usePlaybackRegion, bool forDrag)
{
    JUCE_ASSERT_MESSAGE_THREAD

    const auto path = openPreferences()->getValue ("Recording Path", "None");

    if (path == "None")
    {
        recordingPathSet = false;
        return;
    }

    const auto folder = juce::File::isAbsolutePath (path) ? juce::File (path) : juce::File();

    if (! folder.isDirectory())
    {
        userMessages->show (juce::MessageBoxIconType::InfoIcon, "Recording Directory - Error",
                            "It appears that the recording directory used for placing files has been relocated. "
                            "Please select a new path through settings.");
        recordingPathSet = false;
        return;
    }

    recordingPathSet = true;

    // The region is worked out from the ring the copy then reads, and from nothing else.
    const auto since = captureSnapshot();
    const auto region = usePlaybackRegion
                          ? SnippetRegion::forPlayback (takeStart.load(), takeEnd.load(), since.writeIndex, since.capacity)
                          : SnippetRegion::forSelection (selectionStart, selectionLength, displayRotation.load(), zoomed.load(),
                                                         zoom.offset.load(), zoom.width.load(), since.capacity);

    SnippetExport::Options options;
    options.channelMode = channelMode;
    options.keepStart = usePlaybackRegion;
    options.trimSilence = trimSilence;
    options.thresholdDb = noiseThresholdDb;
    options.snapToBars = BarSnapping::applies (snapFileLength, isStandalone, hostIsAbletonLive);
    options.bpm = hostBpm.load();
    options.appendBpm = appendBpm;
    options.sampleRate = sampleRateHz;
    options.save24Bit = save24Bit;

    SnippetFileWriter::Result written;

    try
    {
        written = SnippetExport::write (folder, exportClock->now(), copyFunction(), since, region, options, snippetStorage);
    }
    catch (const std::bad_alloc&)
    {
        written.error = "there is not enough memory for it";
    }

    if (! written.succeeded())
    {
        showExportError (folder, written.error);
        return;
    }

    if (forDrag && written.file.existsAsFile())
    {
        lastWrittenFile = written.file.getFullPathName();
        fileReadyForDrag = true;
        dragPending = true;
    }
}

void AudioPluginAudioProcessor::showExportError (const juce::File& folder, const juce::String& cause)
{
    const auto reason = cause.substring (0, 1).toLowerCase() + cause.substring (1);
    userMessages->show (juce::MessageBoxIconType::InfoIcon, "Export - Error",
                        productName + " could not save the snippet into " + folder.getFullPathName() + ": " + reason + ".");
}

void AudioPluginAudioProcessor::launchRecordPathDialogue()
{
    userMessages->show (juce::MessageBoxIconType::InfoIcon, "Set Recording Directory",
                        productName + " requires a recording directory to save the dragged audio snippets. "
                                      "You can press 'OK' to set it.",
                        [this, alive = std::weak_ptr<const int> (lifetime)]
                        {
                            // The message box can outlive a plug-in its host has removed.
                            if (! alive.expired())
                                browseForRecordingPath();
                        });
}

void AudioPluginAudioProcessor::browseForRecordingPath()
{
    recordPathChooser->browse ([this] (const juce::File& result) { recordingFolderChosen (result); });
}

void AudioPluginAudioProcessor::recordingFolderChosen (const juce::File& result)
{
    if (result != juce::File() && result.isDirectory())
    {
        // The framework takes the superuser to write anywhere; the system is asked as well, so a
        // read-only file system or a folder of /proc is refused even then.
        if (result.hasWriteAccess() && ::access (result.getFullPathName().toRawUTF8(), W_OK) == 0)
        {
            savePreference ("Recording Path", result.getFullPathName());
            recordingPathSet = true;
            userMessages->show (juce::MessageBoxIconType::InfoIcon, "Recording Directory - Success",
                                "Recording directory has been successfully set to:\n" + result.getFullPathName()
                                    + "\n\nYou can change this folder later through the settings (Right Click/Downwards Arrow) of Quorvel.");
        }
        else
        {
            userMessages->show (juce::MessageBoxIconType::InfoIcon, "Recording Directory - Error",
                                "Quorvel does not have enough permissions to save files into the selected directory. \n"
                                "Please make sure that you haven't selected a directory that is used for system files, or is being protected.");
        }

        return;
    }

    const auto stored = openPreferences()->getValue ("Recording Path", "None");
    const auto text = stored == "None"
                        ? juce::String ("Recording directory is not selected or is invalid. You can set it again through the settings (Right Click/Downwards Arrow) of Quorvel.")
                        : "Invalid directory selected, " + getName() + " will keep using the old recording path:\n" + stored;

    userMessages->show (juce::MessageBoxIconType::WarningIcon, "Invalid Recording Directory", text);
}

void AudioPluginAudioProcessor::setNoiseThreshold (double dB, bool notify)
{
    noiseThresholdDb = dB;

    if (notify)
        userMessages->show (juce::MessageBoxIconType::InfoIcon, "Silence Threshold - Success",
                            "Silence threshold has successfully been set to: " + NumberText::twoDecimals (dB)
                                + "dBs. \nThreshold values are kept per instance, however you can save them as default through the same context menu.");
}

void AudioPluginAudioProcessor::saveDefaultNoiseThreshold (double dB)
{
    savePreference ("Noise Threshold", dB);
    notifyUser ("Silence Threshold - Success",
                "Default silence threshold has successfully been set to: " + NumberText::twoDecimals (dB) + "dBs.");
}

void AudioPluginAudioProcessor::calibrateFromSelection()
{
    if (! (selectionLength > 0.0001f))
        return;

    const auto since = captureSnapshot();
    const auto region = SnippetRegion::forSelection (selectionStart, selectionLength, displayRotation.load(), zoomed.load(),
                                                     zoom.offset.load(), zoom.width.load(), since.capacity);
    setNoiseThreshold (SnippetExport::loudestLevel (copyFunction(), since, region), true);
}

SnippetExport::Copy AudioPluginAudioProcessor::copyFunction() const
{
    return [this] (const varrow::CircularBuffer::Snapshot& since, int first, int n, float* l, float* r)
    {
        return copyFromCapture (since, first, n, l, r);
    };
}

bool AudioPluginAudioProcessor::getDragAllowed() const
{
    const double start = takeStart.load();
    return start != -1.0 && start != takeEnd.load();
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new AudioPluginAudioProcessor();
}
