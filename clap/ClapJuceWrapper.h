#pragma once

#include "ClapEditorHost.h"
#include "ClapEventLoop.h"
#include "ClapParameterQueue.h"
#include "ClapPlayHead.h"

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/plugin.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

/** One CLAP plug-in instance: the processor and its editor behind CLAP's C interface.

    Threads: the host's main thread is the framework's message thread (construction, state,
    editor, timers); `process` runs on the host's audio thread and takes no lock and no heap.
    CLAP never runs activation and processing at the same time, so `process` only checks that
    the processor is prepared.

    Parameters travel both ways without echo: values the host sends are set on the parameter
    at their sample and announced to the framework's listeners later, on the main thread, with
    our own listener deaf to them; values the editor sets are queued with their gestures and
    sent to the host from the next `process` or parameter flush.
*/
class ClapJuceWrapper final : private juce::AudioProcessorListener
{
public:
    ClapJuceWrapper (const clap_host_t& host, const clap_plugin_descriptor_t& descriptor);
    ~ClapJuceWrapper() override;

    const clap_plugin_t* getClapPlugin() const noexcept   { return &plugin; }

    static constexpr int maxChannels = 2;

private:
    struct Parameter
    {
        juce::AudioProcessorParameter* parameter = nullptr;
        clap_id id = 0;
        int numSteps = 0;   // > 1 for a stepped parameter, whose plain values are 0 … numSteps - 1
        bool gestureOpen = false;
        std::atomic<bool> changedByHost { false };
    };

    static ClapJuceWrapper& from (const clap_plugin_t* plugin) noexcept;

    // clap_plugin
    bool init();
    void destroy();
    bool activate (double sampleRate, uint32_t maxFrames);
    void deactivate();
    void reset();
    clap_process_status process (const clap_process_t& process) noexcept;
    const void* getExtension (const char* id) const;
    void onMainThread();

    // Audio
    void processSubBlock (std::array<float*, maxChannels>& channels, int numChannels, uint32_t start, uint32_t length) noexcept;
    void applyInputEvents (const clap_input_events_t* in) noexcept;
    void applyHostValue (const clap_event_param_value_t& event) noexcept;
    juce::AudioProcessor::BusesLayout layoutFor (int numChannels) const;

    // Parameters
    Parameter* findParameter (clap_id id) noexcept;
    double toPlain (const Parameter& p, float normalised) const noexcept;
    float toNormalised (const Parameter& p, double plain) const noexcept;
    void announceHostChanges();
    void queueForHost (const ClapParameterQueue::Change& change);
    bool valueToText (clap_id id, double value, char* display, uint32_t size);
    bool textToValue (clap_id id, const char* display, double* value);
    void flushParameters (const clap_input_events_t* in, const clap_output_events_t* out);

    // State
    bool saveState (const clap_ostream_t& stream);
    bool loadState (const clap_istream_t& stream);

    // Editor
    bool isGuiApiSupported (const char* api, bool isFloating) const;
    bool createGui (const char* api, bool isFloating);
    bool setGuiParent (const clap_window_t& window);
    bool requestHostResize (int width, int height);

    bool isMainThread() const noexcept;

    // juce::AudioProcessorListener
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override;
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override;
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override;
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override;

    // The framework's initialiser goes last.
    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    const clap_host_t& host;
    clap_plugin_t plugin {};

    const clap_host_thread_check_t* hostThreadCheck = nullptr;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_state_t* hostState = nullptr;
    const clap_host_gui_t* hostGui = nullptr;
    const clap_host_latency_t* hostLatency = nullptr;

    std::unique_ptr<ClapEventLoop> eventLoop;
    std::unique_ptr<juce::AudioProcessor> processor;
    std::unique_ptr<ClapEditorHost> editorHost;
    std::vector<std::unique_ptr<Parameter>> parameters;

    ClapPlayHead playHead;
    ClapParameterQueue toHost;
    juce::MidiBuffer midi;
    std::atomic<bool> active { false };
    std::atomic<bool> hostChangesPending { false };
    uint32_t maxBlockSize = 0;

    friend struct ClapJuceWrapperCallbacks;

    JUCE_DECLARE_NON_COPYABLE (ClapJuceWrapper)
};
