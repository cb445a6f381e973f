#pragma once

#include "ManualOpener.h"
#include "RecordPathChooser.h"
#include "SnippetExport.h"
#include "Smoother.h"
#include "UserMessages.h"
#include "varrow/CircularBuffer.h"
#include "varrow/Clock.h"
#include "varrow/DisplayBuffer.h"
#include "varrow/RestartMailbox.h"
#include "varrow/Zoom.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <memory>
#include <tuple>
#include <utility>

/** Quorvel's audio processor: records its input into a rolling capture, passes it through,
    and holds the state the editor, the waveform view and the exporter share.

    The audio thread only runs processBlock(); everything else runs on the message thread.
    Values the message thread hands to the audio thread are atomics or requests that the
    audio thread applies at the start of its next block.
*/
class AudioPluginAudioProcessor final : public juce::AudioProcessor
{
public:
    /** `messages` receives everything shown to the user; by default message boxes. */
    explicit AudioPluginAudioProcessor (std::unique_ptr<UserMessages> messages = {});
    ~AudioPluginAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int) override;
    const juce::String getProgramName (int) override;
    void changeProgramName (int, const juce::String&) override;
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    //==============================================================================
    /** Where the preferences file lives, shared by every instance and the standalone program. */
    static juce::PropertiesFile::Options preferencesFileOptions();

    /** Opens the preferences file afresh; it saves pending changes when destroyed. */
    std::unique_ptr<juce::PropertiesFile> openPreferences() const;

    /** Reads every preference into the cached members (the recording path last). */
    void readPreferences();

    std::pair<int, int> getDisplaySize() const;
    void saveDisplaySize (int width, int height);
    void saveSelectedTheme (int theme);
    void toggleTrimSilence();
    void toggleDisplayContextButton();

    /** Flips the stored OpenGL setting; an open editor keeps its rendering until reopened. */
    void toggleOpenGL();

    /** Writes one preference and saves the file at once. */
    void savePreference (const juce::String& key, const juce::var& value);

    /** Shows an information message with an "OK" button. */
    void notifyUser (const juce::String& title, const juce::String& text);

    /** Opens the manual installed with Quorvel in the default web browser; says so when it
        cannot be found or opened. */
    void openManual();

    //==============================================================================
    /** Writes the selection (or the playback region) as a WAV file into the recording folder;
        with forDrag the file is published for the drag-out. Failures are told to the user. */
    void saveCropRegionToFile (bool usePlaybackRegion, bool forDrag);

    /** Asks for the recording folder: a message first, then the folder chooser. */
    void launchRecordPathDialogue();
    void browseForRecordingPath();

    /** The folder chooser's answer: stores a writable folder, or tells why it was not taken. */
    void recordingFolderChosen (const juce::File& result);

    bool getDragAllowed() const;

    void setNoiseThreshold (double dB, bool notify);
    void saveDefaultNoiseThreshold (double dB);

    /** Sets the threshold to the loudest level in the selection. */
    void calibrateFromSelection();

    //==============================================================================
    /** Asks for a new capture length. The memory for it is prepared here, so the audio
        thread only swaps it in at its next block (which discards the recorded audio). */
    void requestRecordDuration (int seconds);

    /** Moves the preview to a ring position at the start of the next audio block. */
    void requestPreviewSeek (double ringPosition);

    /** Copies a region of the capture without holding up the audio thread. Samples outside
        the result's valid range were overwritten during the copy and read as silence. */
    varrow::CircularBuffer::CopyResult copyFromCapture (int first, int numSamples,
                                                         float* destLeft, float* destRight) const;

    /** The ring and its write head now: the reference of the copies below. */
    varrow::CircularBuffer::Snapshot captureSnapshot() const;

    /** As above, but only from the ring `since` saw, with overwrites counted from it. */
    varrow::CircularBuffer::CopyResult copyFromCapture (const varrow::CircularBuffer::Snapshot& since, int first,
                                                         int numSamples, float* destLeft, float* destRight) const;

    static bool isAllowedRecordDuration (int seconds) noexcept;
    static int capacityFor (double sampleRate, int seconds) noexcept;

    //==============================================================================
    juce::AudioProcessorValueTreeState parameters;

    // Capture core
    std::unique_ptr<varrow::CircularBuffer> captureBuffer;
    varrow::DisplayBuffer displayBuffer;
    int sampleRateHz = 44100;
    bool prepared = false;
    std::atomic<int> recordDurationSeconds { 30 };
    std::atomic<int> pendingRecordDuration { -1 };
    std::atomic<bool> frozen { false };
    float lastFreezeValue = 0.0f;

    /** Called with the sample count before ring storage of that size is allocated (in
        prepareToPlay and requestRecordDuration). Empty by default; a test makes it throw
        std::bad_alloc to stand for memory that cannot be had. */
    std::function<void (int numSamples)> beforeRingAllocation;

    // Host transport and tempo
    std::atomic<double> hostBpm { -1.0 };
    bool hostWasPlaying = false;
    std::atomic<double> takeStart { -2.0 };
    std::atomic<double> takeEnd { -2.0 };

    // Output and preview
    Smoother outputGain { Smoother::coefficientFor (0.1, 44100.0), 0.0, 0.0 };
    bool previewOnly = false;
    std::unique_ptr<Smoother> previewFade;
    std::atomic<bool> previewPlaying { false };
    double previewPosition = 0.0;
    std::atomic<double> previewFraction { 0.0 };

    // State shared with the view
    varrow::Zoom zoom;
    std::atomic<bool> zoomed { false };
    std::atomic<bool> zoomRequestPending { false };
    std::atomic<double> requestedZoomOffset { 0.0 };
    std::atomic<double> requestedZoomWidth { 1.0 };
    std::atomic<double> scrollRequest { -2.0 };
    std::atomic<bool> columnsResetRequested { false };
    std::atomic<int> displayWidth { 1000 };
    int lastDisplayWidth = noWidthSeen;
    double refillProgress = 0.0;
    std::atomic<bool> displayReady { true };
    std::atomic<float> displayRotation { 0.0f };
    float selectionStart = 0.0f;
    float selectionLength = 0.0f;
    double displayGain = 1.0;
    bool legacyDisplay = true;

    // Export and drag state
    int channelMode = 0;
    double noiseThresholdDb = -125.0;
    bool recordingPathSet = false;
    std::unique_ptr<RecordPathChooser> recordPathChooser { RecordPathChooser::createDefault() };
    varrow::Clock* exportClock = &varrow::Clock::system();   // the time in a snippet's name
    std::unique_ptr<ManualOpener> manualOpener { ManualOpener::createDefault() };
    bool fileReadyForDrag = false;
    bool dragPending = false;
    juce::String lastWrittenFile;
    const juce::String productName { "Quorvel" };

    // Cached preferences
    bool appendBpm = true;
    int targetFps = 20;
    bool pinOnTop = false;
    bool trimSilence = true;
    bool snapFileLength = false;
    bool useOpenGL = true;
    bool borderlessWindow = false;
    bool save24Bit = false;
    bool showPauseButton = false;
    bool showContextButton = true;
    bool legacyModifiers = false;
    bool capturePlayback = false;
    int storedDisplayWidth = 1000;
    int storedDisplayHeight = 89;
    std::unique_ptr<juce::PropertiesFile::Options> propertiesOptions;

    // Environment
    const bool isStandalone;
    bool hostIsAbletonLive;   // detected at construction; a test may stand in for Live
    const bool hostIsAppleHost;

    static constexpr int noWidthSeen = -1;
    static constexpr int defaultRecordDuration = 30;

private:
    class StorageReleaser;

    juce::String displaySizeKeyPrefix() const;
    void showExportError (const juce::File& folder, const juce::String& cause);
    void prepareSnippetStorage (int capacity);
    SnippetExport::Copy copyFunction() const;
    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

    // Block processing steps, in the order processBlock runs them.
    void followTransport() noexcept;
    void mirrorFreezeParameter() noexcept;
    void applyRecordDurationRequest() noexcept;
    void applyPreviewSeek() noexcept;
    void applyViewRequests() noexcept;
    void refillColumns (int numSamples) noexcept;
    void feedLiveSamples (const float* left, const float* right, int numSamples) noexcept;
    void captureAndOutput (juce::AudioBuffer<float>& buffer, const float* left, const float* right,
                           int numInputs, bool isFrozen) noexcept;
    void applyOutputGain (juce::AudioBuffer<float>& buffer, int numInputs) noexcept;

    std::unique_ptr<UserMessages> userMessages;
    juce::AudioBuffer<float> snippetStorage;   // the exports' copy of a region; message thread
    const std::shared_ptr<const int> lifetime = std::make_shared<const int> (0);   // watched by callbacks that may outlive us
    // Read from the parameter itself: a plug-in shell sets its value from the audio thread with
    // no listener call, and the change must count from that sample on.
    juce::RangedAudioParameter* freezeParameter = nullptr;
    varrow::RestartMailbox restartMailbox;
    std::unique_ptr<StorageReleaser> storageReleaser;
    std::atomic<double> pendingPreviewSeek { noPreviewSeek };

    static constexpr double noPreviewSeek = -1.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioPluginAudioProcessor)
};
