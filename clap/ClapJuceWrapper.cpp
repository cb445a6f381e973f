#include "ClapJuceWrapper.h"
#include "ClapAudioPortsConfig.h"
#include "ClapStreams.h"
#include "ValueTreeStreamCheck.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace
{
/** The event as a parameter value change of the core event space, or nullptr for any other. */
const clap_event_param_value_t* asParameterValue (const clap_event_header_t* header) noexcept
{
    if (header == nullptr || header->space_id != CLAP_CORE_EVENT_SPACE_ID
        || header->type != CLAP_EVENT_PARAM_VALUE || header->size < sizeof (clap_event_param_value_t))
        return nullptr;

    return reinterpret_cast<const clap_event_param_value_t*> (header);
}

// True while the wrapper itself hands a value to the framework's listeners, so that our own
// listener does not send it back to the host.
thread_local bool applyingHostChange = false;

void copyText (char* destination, size_t size, const juce::String& text)
{
    if (size == 0)
        return;

    text.copyToUTF8 (destination, size);
}

struct PortsConfig
{
    clap_id id;
    const char* name;
    uint32_t numChannels;
    const char* portType;
};

constexpr PortsConfig portsConfigs[] { { 0, "Stereo", 2, CLAP_PORT_STEREO },
                                       { 1, "Mono", 1, CLAP_PORT_MONO } };
} // namespace

//==============================================================================
/** The C entry points CLAP calls, each forwarding to its instance. */
struct ClapJuceWrapperCallbacks
{
    static bool init (const clap_plugin_t* p)          { return ClapJuceWrapper::from (p).init(); }
    static void destroy (const clap_plugin_t* p)       { ClapJuceWrapper::from (p).destroy(); }
    static void deactivate (const clap_plugin_t* p)    { ClapJuceWrapper::from (p).deactivate(); }
    static bool startProcessing (const clap_plugin_t*) { return true; }
    static void stopProcessing (const clap_plugin_t*)  {}
    static void reset (const clap_plugin_t* p)         { ClapJuceWrapper::from (p).reset(); }
    static void onMainThread (const clap_plugin_t* p)  { ClapJuceWrapper::from (p).onMainThread(); }

    static bool activate (const clap_plugin_t* p, double sampleRate, uint32_t, uint32_t maxFrames)
    {
        return ClapJuceWrapper::from (p).activate (sampleRate, maxFrames);
    }

    static clap_process_status process (const clap_plugin_t* p, const clap_process_t* process)
    {
        return process != nullptr ? ClapJuceWrapper::from (p).process (*process) : CLAP_PROCESS_ERROR;
    }

    static const void* getExtension (const clap_plugin_t* p, const char* id)
    {
        return id != nullptr ? ClapJuceWrapper::from (p).getExtension (id) : nullptr;
    }

    //==============================================================================
    static uint32_t audioPortsCount (const clap_plugin_t* p, bool isInput)
    {
        auto& w = ClapJuceWrapper::from (p);
        return w.processor != nullptr && w.processor->getBusCount (isInput) > 0 ? 1 : 0;
    }

    static bool audioPortsGet (const clap_plugin_t* p, uint32_t index, bool isInput, clap_audio_port_info_t* info)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (info == nullptr || index != 0 || w.processor == nullptr || w.processor->getBusCount (isInput) == 0)
            return false;

        const auto* bus = w.processor->getBus (isInput, 0);
        const auto numChannels = bus->getNumberOfChannels();
        *info = {};
        info->id = 0;
        copyText (info->name, sizeof (info->name), bus->getName());
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = (uint32_t) numChannels;
        info->port_type = numChannels == 1 ? CLAP_PORT_MONO : numChannels == 2 ? CLAP_PORT_STEREO : nullptr;
        info->in_place_pair = 0;
        return true;
    }

    static uint32_t portsConfigCount (const clap_plugin_t*)
    {
        return (uint32_t) std::size (portsConfigs);
    }

    static bool portsConfigGet (const clap_plugin_t*, uint32_t index, clap_audio_ports_config_t* config)
    {
        if (config == nullptr || index >= std::size (portsConfigs))
            return false;

        const auto& c = portsConfigs[index];
        *config = {};
        config->id = c.id;
        copyText (config->name, sizeof (config->name), c.name);
        config->input_port_count = 1;
        config->output_port_count = 1;
        config->has_main_input = true;
        config->main_input_channel_count = c.numChannels;
        config->main_input_port_type = c.portType;
        config->has_main_output = true;
        config->main_output_channel_count = c.numChannels;
        config->main_output_port_type = c.portType;
        return true;
    }

    static bool portsConfigSelect (const clap_plugin_t* p, clap_id configId)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (w.processor == nullptr || w.active.load())
            return false;

        for (const auto& c : portsConfigs)
            if (c.id == configId)
                return w.processor->setBusesLayout (w.layoutFor ((int) c.numChannels));

        return false;
    }

    //==============================================================================
    static uint32_t paramsCount (const clap_plugin_t* p)
    {
        return (uint32_t) ClapJuceWrapper::from (p).parameters.size();
    }

    static bool paramsGetInfo (const clap_plugin_t* p, uint32_t index, clap_param_info_t* info)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (info == nullptr || index >= w.parameters.size())
            return false;

        const auto& slot = *w.parameters[index];
        auto& parameter = *slot.parameter;
        *info = {};
        info->id = slot.id;
        info->flags = (parameter.isAutomatable() ? (uint32_t) CLAP_PARAM_IS_AUTOMATABLE : 0u)
                    | (slot.numSteps > 1 ? (uint32_t) CLAP_PARAM_IS_STEPPED : 0u);
        info->cookie = nullptr;
        copyText (info->name, sizeof (info->name), parameter.getName (CLAP_NAME_SIZE - 1));
        info->module[0] = 0;
        info->min_value = 0.0;
        info->max_value = slot.numSteps > 1 ? (double) (slot.numSteps - 1) : 1.0;
        info->default_value = w.toPlain (slot, parameter.getDefaultValue());
        return true;
    }

    static bool paramsGetValue (const clap_plugin_t* p, clap_id id, double* value)
    {
        auto& w = ClapJuceWrapper::from (p);
        auto* slot = w.findParameter (id);

        if (slot == nullptr || value == nullptr)
            return false;

        *value = w.toPlain (*slot, slot->parameter->getValue());
        return true;
    }

    static bool paramsValueToText (const clap_plugin_t* p, clap_id id, double value, char* display, uint32_t size)
    {
        return ClapJuceWrapper::from (p).valueToText (id, value, display, size);
    }

    static bool paramsTextToValue (const clap_plugin_t* p, clap_id id, const char* display, double* value)
    {
        return ClapJuceWrapper::from (p).textToValue (id, display, value);
    }

    static void paramsFlush (const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out)
    {
        ClapJuceWrapper::from (p).flushParameters (in, out);
    }

    //==============================================================================
    static bool stateSave (const clap_plugin_t* p, const clap_ostream_t* stream)
    {
        return stream != nullptr && ClapJuceWrapper::from (p).saveState (*stream);
    }

    static bool stateLoad (const clap_plugin_t* p, const clap_istream_t* stream)
    {
        return stream != nullptr && ClapJuceWrapper::from (p).loadState (*stream);
    }

    static uint32_t latencyGet (const clap_plugin_t* p)
    {
        auto& w = ClapJuceWrapper::from (p);
        return w.processor != nullptr ? (uint32_t) juce::jmax (0, w.processor->getLatencySamples()) : 0;
    }

    //==============================================================================
    static bool guiIsApiSupported (const clap_plugin_t* p, const char* api, bool isFloating)
    {
        return ClapJuceWrapper::from (p).isGuiApiSupported (api, isFloating);
    }

    static bool guiGetPreferredApi (const clap_plugin_t*, const char** api, bool* isFloating)
    {
        if (api == nullptr || isFloating == nullptr)
            return false;

        *api = CLAP_WINDOW_API_X11;
        *isFloating = false;
        return true;
    }

    static bool guiCreate (const clap_plugin_t* p, const char* api, bool isFloating)
    {
        return ClapJuceWrapper::from (p).createGui (api, isFloating);
    }

    static void guiDestroy (const clap_plugin_t* p)
    {
        auto& w = ClapJuceWrapper::from (p);
        jassert (w.isMainThread());
        w.editorHost.reset();
    }

    static bool guiSetScale (const clap_plugin_t*, double)
    {
        // The framework follows the display's scale itself.
        return false;
    }

    static bool guiGetSize (const clap_plugin_t* p, uint32_t* width, uint32_t* height)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (w.editorHost == nullptr || width == nullptr || height == nullptr)
            return false;

        *width = (uint32_t) w.editorHost->getWidth();
        *height = (uint32_t) w.editorHost->getHeight();
        return true;
    }

    static bool guiCanResize (const clap_plugin_t* p)
    {
        auto& w = ClapJuceWrapper::from (p);
        return w.editorHost != nullptr && w.editorHost->isEditorResizable();
    }

    static bool guiGetResizeHints (const clap_plugin_t* p, clap_gui_resize_hints_t* hints)
    {
        if (hints == nullptr || ! guiCanResize (p))
            return false;

        *hints = {};
        hints->can_resize_horizontally = true;
        hints->can_resize_vertically = true;
        hints->preserve_aspect_ratio = false;
        return true;
    }

    static bool guiAdjustSize (const clap_plugin_t* p, uint32_t* width, uint32_t* height)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (w.editorHost == nullptr || width == nullptr || height == nullptr)
            return false;

        const auto size = w.editorHost->adjustedSize ((int) juce::jmin (*width, (uint32_t) 1 << 16),
                                                      (int) juce::jmin (*height, (uint32_t) 1 << 16));
        *width = (uint32_t) size.getWidth();
        *height = (uint32_t) size.getHeight();
        return true;
    }

    static bool guiSetSize (const clap_plugin_t* p, uint32_t width, uint32_t height)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (w.editorHost == nullptr)
            return false;

        const auto size = w.editorHost->adjustedSize ((int) juce::jmin (width, (uint32_t) 1 << 16),
                                                      (int) juce::jmin (height, (uint32_t) 1 << 16));
        w.editorHost->setSize (size.getWidth(), size.getHeight());
        return true;
    }

    static bool guiSetParent (const clap_plugin_t* p, const clap_window_t* window)
    {
        return window != nullptr && ClapJuceWrapper::from (p).setGuiParent (*window);
    }

    static bool guiSetTransient (const clap_plugin_t*, const clap_window_t*)   { return false; }
    static void guiSuggestTitle (const clap_plugin_t*, const char*)            {}

    static bool setGuiVisible (const clap_plugin_t* p, bool visible)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (w.editorHost == nullptr)
            return false;

        w.editorHost->setVisible (visible);
        return true;
    }

    static bool guiShow (const clap_plugin_t* p)   { return setGuiVisible (p, true); }
    static bool guiHide (const clap_plugin_t* p)   { return setGuiVisible (p, false); }

    //==============================================================================
    static void onTimer (const clap_plugin_t* p, clap_id timerId)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (w.eventLoop != nullptr)
            w.eventLoop->onTimer (timerId);
    }

    static void onFd (const clap_plugin_t* p, int fd, clap_posix_fd_flags_t flags)
    {
        auto& w = ClapJuceWrapper::from (p);

        if (w.eventLoop != nullptr)
            w.eventLoop->onFd (fd, flags);
    }

    //==============================================================================
    static constexpr clap_plugin_audio_ports_t audioPorts { audioPortsCount, audioPortsGet };
    static constexpr clap_plugin_audio_ports_config_t audioPortsConfig { portsConfigCount, portsConfigGet, portsConfigSelect };
    static constexpr clap_plugin_params_t params { paramsCount, paramsGetInfo, paramsGetValue,
                                                   paramsValueToText, paramsTextToValue, paramsFlush };
    static constexpr clap_plugin_state_t state { stateSave, stateLoad };
    static constexpr clap_plugin_latency_t latency { latencyGet };
    static constexpr clap_plugin_gui_t gui { guiIsApiSupported, guiGetPreferredApi, guiCreate, guiDestroy,
                                             guiSetScale, guiGetSize, guiCanResize, guiGetResizeHints,
                                             guiAdjustSize, guiSetSize, guiSetParent, guiSetTransient,
                                             guiSuggestTitle, guiShow, guiHide };
    static constexpr clap_plugin_timer_support_t timerSupport { onTimer };
    static constexpr clap_plugin_posix_fd_support_t posixFdSupport { onFd };
};

//==============================================================================
ClapJuceWrapper::ClapJuceWrapper (const clap_host_t& hostToUse, const clap_plugin_descriptor_t& descriptor)
    : host (hostToUse)
{
    plugin.desc = &descriptor;
    plugin.plugin_data = this;
    plugin.init = ClapJuceWrapperCallbacks::init;
    plugin.destroy = ClapJuceWrapperCallbacks::destroy;
    plugin.activate = ClapJuceWrapperCallbacks::activate;
    plugin.deactivate = ClapJuceWrapperCallbacks::deactivate;
    plugin.start_processing = ClapJuceWrapperCallbacks::startProcessing;
    plugin.stop_processing = ClapJuceWrapperCallbacks::stopProcessing;
    plugin.reset = ClapJuceWrapperCallbacks::reset;
    plugin.process = ClapJuceWrapperCallbacks::process;
    plugin.get_extension = ClapJuceWrapperCallbacks::getExtension;
    plugin.on_main_thread = ClapJuceWrapperCallbacks::onMainThread;

    // The host's main thread is the framework's message thread from now on.
    juce::MessageManager::getInstance()->setCurrentThreadAsMessageThread();
}

ClapJuceWrapper::~ClapJuceWrapper()
{
    // Timers and descriptors go first, so no host callback can reach what follows.
    if (eventLoop != nullptr)
        eventLoop->detach();

    editorHost.reset();

    if (processor != nullptr)
    {
        processor->removeListener (this);
        processor->setPlayHead (nullptr);
        processor.reset();
    }

    eventLoop.reset();
}

ClapJuceWrapper& ClapJuceWrapper::from (const clap_plugin_t* p) noexcept
{
    jassert (p != nullptr && p->plugin_data != nullptr);
    return *static_cast<ClapJuceWrapper*> (p->plugin_data);
}

bool ClapJuceWrapper::isMainThread() const noexcept
{
    return hostThreadCheck == nullptr || hostThreadCheck->is_main_thread == nullptr
        || hostThreadCheck->is_main_thread (&host);
}

//==============================================================================
bool ClapJuceWrapper::init()
{
    if (processor != nullptr)
        return true;

    auto extension = [this] (const char* id) { return host.get_extension != nullptr ? host.get_extension (&host, id) : nullptr; };
    hostThreadCheck = static_cast<const clap_host_thread_check_t*> (extension (CLAP_EXT_THREAD_CHECK));
    hostParams = static_cast<const clap_host_params_t*> (extension (CLAP_EXT_PARAMS));
    hostState = static_cast<const clap_host_state_t*> (extension (CLAP_EXT_STATE));
    hostGui = static_cast<const clap_host_gui_t*> (extension (CLAP_EXT_GUI));
    hostLatency = static_cast<const clap_host_latency_t*> (extension (CLAP_EXT_LATENCY));
    jassert (isMainThread());

    // The framework's events run from the host's loop before the processor exists: constructing
    // it may already show a message.
    eventLoop = std::make_unique<ClapEventLoop> (host);
    eventLoop->attach();

    juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
    processor.reset (createPluginFilter());

    if (processor == nullptr)
        return false;

    processor->setPlayHead (&playHead);
    processor->setRateAndBufferSizeDetails (44100.0, 512);

    const auto& all = processor->getParameters();

    for (auto* parameter : all)
    {
        auto slot = std::make_unique<Parameter>();
        slot->parameter = parameter;
        slot->numSteps = parameter->isDiscrete() && parameter->getNumSteps() > 1
                             && parameter->getNumSteps() < 0x10000 ? parameter->getNumSteps() : 0;

        // Ids follow the framework's parameter id, so automation survives parameters added later.
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (parameter))
            slot->id = (clap_id) hosted->getParameterID().hashCode();
        else
            slot->id = (clap_id) parameter->getParameterIndex();

        if (slot->id == CLAP_INVALID_ID)
            --slot->id;

        jassert (findParameter (slot->id) == nullptr);
        parameters.push_back (std::move (slot));
    }

    processor->addListener (this);
    return true;
}

void ClapJuceWrapper::destroy()
{
    delete this;
}

bool ClapJuceWrapper::activate (double sampleRate, uint32_t maxFrames)
{
    jassert (isMainThread());

    if (processor == nullptr || sampleRate <= 0.0 || maxFrames == 0 || maxFrames > (uint32_t) std::numeric_limits<int>::max())
        return false;

    active = false;
    maxBlockSize = maxFrames;
    processor->setRateAndBufferSizeDetails (sampleRate, (int) maxFrames);
    processor->prepareToPlay (sampleRate, (int) maxFrames);
    midi.ensureSize (256);
    active = true;
    return true;
}

void ClapJuceWrapper::deactivate()
{
    jassert (isMainThread());

    if (processor == nullptr || ! active.exchange (false))
        return;

    processor->releaseResources();
}

void ClapJuceWrapper::reset()
{
    if (processor != nullptr)
        processor->reset();
}

void ClapJuceWrapper::onMainThread()
{
    announceHostChanges();
}

const void* ClapJuceWrapper::getExtension (const char* id) const
{
    using C = ClapJuceWrapperCallbacks;

    if (std::strcmp (id, CLAP_EXT_AUDIO_PORTS) == 0)           return &C::audioPorts;
    if (std::strcmp (id, CLAP_EXT_AUDIO_PORTS_CONFIG) == 0)    return &C::audioPortsConfig;
    if (std::strcmp (id, CLAP_EXT_PARAMS) == 0)                return &C::params;
    if (std::strcmp (id, CLAP_EXT_STATE) == 0)                 return &C::state;
    if (std::strcmp (id, CLAP_EXT_LATENCY) == 0)               return &C::latency;
    if (std::strcmp (id, CLAP_EXT_TIMER_SUPPORT) == 0)         return &C::timerSupport;
    if (std::strcmp (id, CLAP_EXT_POSIX_FD_SUPPORT) == 0)      return &C::posixFdSupport;

    // Offered even to a host that cannot run the framework's events: hosts such as Qtractor
    // decide whether a plug-in has an editor while scanning, with a host that offers nothing.
    // Creating the editor is what such a host is refused.
    if (std::strcmp (id, CLAP_EXT_GUI) == 0 && (processor == nullptr || processor->hasEditor()))
        return &C::gui;

    return nullptr;
}

//==============================================================================
clap_process_status ClapJuceWrapper::process (const clap_process_t& p) noexcept
{
    if (! active.load() || processor == nullptr)
        return CLAP_PROCESS_ERROR;

    const juce::ScopedNoDenormals noDenormals;
    playHead.update (p.transport);

    if (p.out_events != nullptr)
        toHost.sendTo (*p.out_events);

    std::array<float*, maxChannels> channels {};
    int numChannels = 0;

    if (p.audio_outputs_count > 0 && p.audio_outputs != nullptr && p.audio_outputs[0].data32 != nullptr)
    {
        const auto& out = p.audio_outputs[0];
        const auto* in = p.audio_inputs_count > 0 && p.audio_inputs != nullptr ? &p.audio_inputs[0] : nullptr;
        const auto inChannels = in != nullptr && in->data32 != nullptr ? in->channel_count : 0u;
        numChannels = juce::jmin ((int) out.channel_count, processor->getTotalNumOutputChannels(), maxChannels);

        // The processor works in place on the output, so a separate input is copied there first.
        for (int ch = 0; ch < numChannels; ++ch)
        {
            channels[(size_t) ch] = out.data32[ch];
            const float* source = (uint32_t) ch < inChannels ? in->data32[ch] : nullptr;

            if (source == nullptr)
                juce::FloatVectorOperations::clear (channels[(size_t) ch], (int) p.frames_count);
            else if (source != channels[(size_t) ch])
                std::memmove (channels[(size_t) ch], source, sizeof (float) * p.frames_count);
        }
    }

    // Split the block at each parameter change, so that it acts from its own sample on.
    uint32_t done = 0;
    const auto numEvents = p.in_events != nullptr && p.in_events->size != nullptr ? p.in_events->size (p.in_events) : 0u;

    for (uint32_t i = 0; i < numEvents; ++i)
    {
        const auto* event = asParameterValue (p.in_events->get (p.in_events, i));

        if (event == nullptr)
            continue;

        const auto at = juce::jmin (event->header.time, p.frames_count);

        if (at > done)
        {
            processSubBlock (channels, numChannels, done, at - done);
            done = at;
        }

        applyHostValue (*event);
    }

    if (done < p.frames_count)
        processSubBlock (channels, numChannels, done, p.frames_count - done);

    if (hostChangesPending.load() && host.request_callback != nullptr)
        host.request_callback (&host);

    return CLAP_PROCESS_CONTINUE;
}

void ClapJuceWrapper::processSubBlock (std::array<float*, maxChannels>& channels, int numChannels,
                                       uint32_t start, uint32_t length) noexcept
{
    // With no audio to give (a host that sends events only) the processor is not called.
    if (numChannels == 0)
        return;

    // Blocks beyond the prepared size (a host mistake) are taken in prepared-size pieces.
    while (length > 0)
    {
        const auto piece = juce::jmin (length, maxBlockSize);
        juce::AudioBuffer<float> buffer (channels.data(), numChannels, (int) start, (int) piece);
        midi.clear();
        processor->processBlock (buffer, midi);
        start += piece;
        length -= piece;
    }
}

void ClapJuceWrapper::applyHostValue (const clap_event_param_value_t& event) noexcept
{
    auto* slot = findParameter (event.param_id);

    if (slot == nullptr || ! std::isfinite (event.value))
        return;

    slot->parameter->setValue (toNormalised (*slot, event.value));
    slot->changedByHost.store (true);
    hostChangesPending.store (true);
}

void ClapJuceWrapper::applyInputEvents (const clap_input_events_t* in) noexcept
{
    if (in == nullptr || in->size == nullptr || in->get == nullptr)
        return;

    const auto numEvents = in->size (in);

    for (uint32_t i = 0; i < numEvents; ++i)
        if (const auto* event = asParameterValue (in->get (in, i)))
            applyHostValue (*event);
}

juce::AudioProcessor::BusesLayout ClapJuceWrapper::layoutFor (int numChannels) const
{
    const auto set = juce::AudioChannelSet::canonicalChannelSet (numChannels);
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    return layout;
}

//==============================================================================
ClapJuceWrapper::Parameter* ClapJuceWrapper::findParameter (clap_id id) noexcept
{
    for (auto& slot : parameters)
        if (slot->id == id)
            return slot.get();

    return nullptr;
}

double ClapJuceWrapper::toPlain (const Parameter& p, float normalised) const noexcept
{
    if (p.numSteps > 1)
        return std::round ((double) normalised * (p.numSteps - 1));

    return (double) normalised;
}

float ClapJuceWrapper::toNormalised (const Parameter& p, double plain) const noexcept
{
    if (p.numSteps > 1)
        return (float) (juce::jlimit (0.0, (double) (p.numSteps - 1), std::round (plain)) / (p.numSteps - 1));

    return (float) juce::jlimit (0.0, 1.0, plain);
}

void ClapJuceWrapper::announceHostChanges()
{
    if (! hostChangesPending.exchange (false))
        return;

    const juce::ScopedValueSetter<bool> fromHost (applyingHostChange, true);

    for (auto& slot : parameters)
        if (slot->changedByHost.exchange (false))
            slot->parameter->sendValueChangedMessageToListeners (slot->parameter->getValue());
}

void ClapJuceWrapper::queueForHost (const ClapParameterQueue::Change& change)
{
    toHost.push (change);

    if (hostParams != nullptr && hostParams->request_flush != nullptr)
        hostParams->request_flush (&host);
}

bool ClapJuceWrapper::valueToText (clap_id id, double value, char* display, uint32_t size)
{
    auto* slot = findParameter (id);

    if (slot == nullptr || display == nullptr || size == 0 || ! std::isfinite (value))
        return false;

    copyText (display, size, slot->parameter->getText (toNormalised (*slot, value), (int) size - 1));
    return true;
}

bool ClapJuceWrapper::textToValue (clap_id id, const char* display, double* value)
{
    auto* slot = findParameter (id);

    if (slot == nullptr || display == nullptr || value == nullptr)
        return false;

    const auto text = juce::String::fromUTF8 (display);
    const auto normalised = slot->parameter->getValueForText (text);

    // The framework maps unknown text to some value; only text that reads back as itself counts.
    if (slot->numSteps > 1 && slot->parameter->getText (normalised, 1024) != text)
        return false;

    *value = toPlain (*slot, normalised);
    return true;
}

void ClapJuceWrapper::flushParameters (const clap_input_events_t* in, const clap_output_events_t* out)
{
    applyInputEvents (in);

    if (out != nullptr)
        toHost.sendTo (*out);

    // While active the flush runs on the audio thread: the listeners hear of it on the main one.
    if (! active.load())
        announceHostChanges();
    else if (hostChangesPending.load() && host.request_callback != nullptr)
        host.request_callback (&host);
}

//==============================================================================
bool ClapJuceWrapper::saveState (const clap_ostream_t& stream)
{
    jassert (isMainThread());

    if (processor == nullptr)
        return false;

    announceHostChanges();
    juce::MemoryBlock block;
    processor->getStateInformation (block);
    return block.getSize() > 0 && ClapStreams::writeAll (stream, block.getData(), block.getSize());
}

bool ClapJuceWrapper::loadState (const clap_istream_t& stream)
{
    jassert (isMainThread());
    juce::MemoryBlock block;

    if (processor == nullptr || ! ClapStreams::readAll (stream, block) || block.getSize() == 0
        || ! ValueTreeStreamCheck::isWellFormed (block.getData(), block.getSize()))
        return false;

    {
        const juce::ScopedValueSetter<bool> fromHost (applyingHostChange, true);
        processor->setStateInformation (block.getData(), (int) block.getSize());
    }

    if (hostParams != nullptr && hostParams->rescan != nullptr)
        hostParams->rescan (&host, CLAP_PARAM_RESCAN_VALUES);

    return true;
}

//==============================================================================
bool ClapJuceWrapper::isGuiApiSupported (const char* api, bool isFloating) const
{
    return api != nullptr && ! isFloating && std::strcmp (api, CLAP_WINDOW_API_X11) == 0
        && processor != nullptr && processor->hasEditor();
}

bool ClapJuceWrapper::createGui (const char* api, bool isFloating)
{
    jassert (isMainThread());

    // An editor needs the host to run the framework's events (timer or file descriptor support).
    if (editorHost != nullptr || ! isGuiApiSupported (api, isFloating)
        || eventLoop == nullptr || ! eventLoop->canDriveEvents())
        return false;

    editorHost = std::make_unique<ClapEditorHost> (*processor, [this] (int w, int h) { return requestHostResize (w, h); });
    return true;
}

bool ClapJuceWrapper::setGuiParent (const clap_window_t& window)
{
    jassert (isMainThread());

    if (editorHost == nullptr || window.api == nullptr || std::strcmp (window.api, CLAP_WINDOW_API_X11) != 0
        || window.x11 == 0)
        return false;

    editorHost->attachTo (window.x11);
    return true;
}

bool ClapJuceWrapper::requestHostResize (int width, int height)
{
    return hostGui != nullptr && hostGui->request_resize != nullptr
        && hostGui->request_resize (&host, (uint32_t) width, (uint32_t) height);
}

//==============================================================================
void ClapJuceWrapper::audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value)
{
    if (applyingHostChange || ! juce::isPositiveAndBelow (index, (int) parameters.size()))
        return;

    auto& slot = *parameters[(size_t) index];
    const auto plain = toPlain (slot, value);

    // A change with no gesture of its own is sent as a complete gesture.
    if (slot.gestureOpen)
    {
        queueForHost ({ ClapParameterQueue::Kind::value, slot.id, plain });
        return;
    }

    toHost.push ({ ClapParameterQueue::Kind::gestureBegin, slot.id, 0.0 });
    toHost.push ({ ClapParameterQueue::Kind::value, slot.id, plain });
    queueForHost ({ ClapParameterQueue::Kind::gestureEnd, slot.id, 0.0 });
}

void ClapJuceWrapper::audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index)
{
    if (applyingHostChange || ! juce::isPositiveAndBelow (index, (int) parameters.size()))
        return;

    auto& slot = *parameters[(size_t) index];

    if (! slot.gestureOpen)
    {
        slot.gestureOpen = true;
        queueForHost ({ ClapParameterQueue::Kind::gestureBegin, slot.id, 0.0 });
    }
}

void ClapJuceWrapper::audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index)
{
    if (applyingHostChange || ! juce::isPositiveAndBelow (index, (int) parameters.size()))
        return;

    auto& slot = *parameters[(size_t) index];

    if (slot.gestureOpen)
    {
        slot.gestureOpen = false;
        queueForHost ({ ClapParameterQueue::Kind::gestureEnd, slot.id, 0.0 });
    }
}

void ClapJuceWrapper::audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details)
{
    // Only the main thread may talk to the host here.
    if (! juce::MessageManager::existsAndIsCurrentThread())
        return;

    if (details.latencyChanged && hostLatency != nullptr && hostLatency->changed != nullptr && active.load())
        hostLatency->changed (&host);

    if (details.nonParameterStateChanged && hostState != nullptr && hostState->mark_dirty != nullptr)
        hostState->mark_dirty (&host);
}
