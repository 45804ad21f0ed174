#include "effect/Ambrel.h"

#include "BuildVersion.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr float kMinRate = 22050.0f;
constexpr float kMaxRate = 192000.0f;
constexpr float kFallbackRate = 44100.0f;

void copyText(char* out, const char* text, size_t capacity)
{
    if (!out)
        return;
    std::snprintf(out, capacity, "%s", text);
}

Engine::Config engineConfig(const Variant& variant)
{
    Engine::Config c;
    c.hasFat = variant.hasFat;
    c.ringDivisor = variant.ringDivisor;
    c.passedChannelGain = variant.passedChannelGain;
    return c;
}

} // namespace

Ambrel::Ambrel(audioMasterCallback audioMaster, const Variant& variant, EditorFactory makeEditor)
    : CPresetSystemEffect(audioMaster, variant), params_(variant), engine_(std::make_unique<Engine>(engineConfig(variant)))
{
    // Meter and knob settings kept per machine (the engine already holds its
    // initial values, so these are not overridden later).
    applyEditorSettings();

    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing();
    canDoubleReplacing();
    setUniqueID(variant.uniqueId);
    setInitialDelay(getLatencySamples());

    sampleRate = clampSampleRate(sampleRate);

    // FAT starts off, and the host hears of it. The slots keep the factory
    // table the program store filled them with: FAT is 0 in every preset, and
    // the editor settings lie beyond the program values.
    if (variant.hasFat)
        setParameterAutomated(variant.index(ParamId::Fat), 0.0f);

    selectPreset(0);

    // The lifecycle sequence below is what hosts and the editor see: latency
    // reports, the editor's notices, the knob mode re-applied, the suspended
    // flag. Its engine resets are not seen: nothing is processed in between,
    // and each one recomputes the whole engine from the parameters and the
    // rate. Only the last counts, so it alone runs, once the sequence is done.
    engineResetDeferred_ = true;
    suspend();
    resume();

    // The editor attaches itself (which announces it to the host). Without
    // one, or when it cannot be made, the effect runs without a window.
    if (makeEditor) {
        try {
            makeEditor(*this);
        } catch (...) {
            // A half-made editor may have registered itself; its memory is
            // gone already, so it is forgotten, not deleted.
            editor = nullptr;
            setFlag(effFlagsHasEditor, false);
        }
    }

    suspend();
    resume();
    suspend();
    engineResetDeferred_ = false;
    resetEngine(true);
}

Ambrel::~Ambrel()
{
    // The meter and knob settings outlive the instance; a failed save is silent.
    saveEditorSettings();
    // The editor points into the engine and the programs: it goes first.
    setEditor(nullptr);
}

AmbrelEditorEvents* Ambrel::editorEvents() const { return dynamic_cast<AmbrelEditorEvents*>(editor); }

int Ambrel::getMeterScale() { return getParameter(variant_.index(ParamId::MeterScale)) >= 0.5f ? 1 : 0; }

void Ambrel::applyEditorSettings()
{
    // One read of the store for all six.
    const std::vector<ParamId> ids = {ParamId::VuIntegr,  ParamId::VuRefer,   ParamId::PpmIntegr,
                                      ParamId::PpmReturn, ParamId::OverIndic, ParamId::KnobMode};
    const std::vector<float> values = readEditorSettings(ids);
    for (size_t i = 0; i < ids.size(); ++i)
        setParameter(variant_.index(ids[i]), values[i]);
}

float Ambrel::clampSampleRate(float rate)
{
    if (!(rate >= kMinRate))
        return kMinRate;
    return rate > kMaxRate ? kMaxRate : rate;
}

bool Ambrel::getEffectName(char* name)
{
    copyText(name, variant_.effectName, kVstMaxEffectNameLen);
    return true;
}

bool Ambrel::getVendorString(char* text)
{
    copyText(text, "Nurwerk", kVstMaxVendorStrLen);
    return true;
}

bool Ambrel::getProductString(char* text)
{
    copyText(text, variant_.productString, kVstMaxProductStrLen);
    return true;
}

VstInt32 Ambrel::getVendorVersion()
{
    return build_version::kVendorVersion;
}

static bool pinProperties(VstInt32 index, VstPinProperties* properties, const char* format)
{
    if (!properties || index < 0 || index > 1)
        return false;
    std::snprintf(properties->label, sizeof(properties->label), format, index + 1);
    properties->flags = index == 0 ? (kVstPinIsActive | kVstPinIsStereo) : kVstPinIsActive;
    return true;
}

bool Ambrel::getInputProperties(VstInt32 index, VstPinProperties* properties)
{
    return pinProperties(index, properties, "My %1d In");
}

bool Ambrel::getOutputProperties(VstInt32 index, VstPinProperties* properties)
{
    return pinProperties(index, properties, "My %1d Out");
}

VstInt32 Ambrel::getDelayRingSize()
{
    return variant_.delayRingSize(sampleRate);
}

VstInt32 Ambrel::getDetectorRingSize()
{
    return variant_.detectorRingSize(sampleRate);
}

VstInt32 Ambrel::getLatencySamples()
{
    return variant_.latencySamples(sampleRate);
}

double Ambrel::getLatencyMs()
{
    double fs = sampleRate;
    if (fs > 200000.0 || fs < 20000.0)
        fs = 44100.0;
    return getLatencySamples() * 1000.0 / fs;
}

void Ambrel::resetEngine(bool clearMeters)
{
    if (!engineResetDeferred_)
        engine_->reset(sampleRate, clearMeters);
}

void Ambrel::setSampleRate(float rate)
{
    sampleRate = rate;
    suspend();
    resume();
}

void Ambrel::resume()
{
    if (!suspended_)
        suspend();
    if (!(sampleRate >= kMinRate && sampleRate <= kMaxRate))
        sampleRate = kFallbackRate;
    setInitialDelay(getLatencySamples());
    resetEngine(false);
    if (AmbrelEditorEvents* events = editorEvents())
        events->latencyChanged();
    suspended_ = false;
}

void Ambrel::suspend()
{
    sampleRate = clampSampleRate(sampleRate);
    resetEngine(true);
    // Re-apply the knob mode so the editor picks it up again.
    const VstInt32 knobMode = variant_.index(ParamId::KnobMode);
    setParameter(knobMode, getParameter(knobMode));
    if (AmbrelEditorEvents* events = editorEvents())
        events->metersReset();
    suspended_ = true;
    resume();
    suspended_ = true;
}
