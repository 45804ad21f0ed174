// Parameter requests of the effect: storing, converting and routing a value
// to the engine, the program store and the editor, and the texts the host
// shows for each index.
#include "effect/Ambrel.h"

#include <array>
#include <cmath>

void Ambrel::setParameter(VstInt32 index, float value)
{
    const ParamId id = variant_.paramAt(index);
    // A NaN from a host or a file would poison every gain derived from it;
    // it changes nothing. Values outside the normalized range are limited to it.
    if (std::isnan(value))
        return;
    value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);

    if (id == ParamId::StereoSelector) {
        setStereoSelector(value);
        return;
    }
    if (id != ParamId::None) {
        const float kept = params_.store(id, value);
        // The FAT position of a build without FAT holds 0 whatever it is sent,
        // and the programs keep what the parameter holds.
        if (id == ParamId::Fat)
            value = kept;
        applyToEngine(id, value);
        if (id == ParamId::KnobMode)
            knobModeChanged_.store(true, std::memory_order_relaxed);
        if (id == ParamId::FineTune) {
            // The dB ranges follow the new scale: re-apply what depends on it.
            for (ParamId dependent :
                 {ParamId::Ceiling, ParamId::Drive, ParamId::HighAdjust, ParamId::LowAdjust, ParamId::Output}) {
                const VstInt32 i = variant_.index(dependent);
                setParameter(i, params_.stored(dependent));
            }
        }
    }

    CPresetSystemEffect::setParameter(index, value);
    if (id != ParamId::None && variant_.isGlobal(id))
        storeInAllSlots(index, value);
    if (editor)
        editor->setParameter(index, value);
}

namespace {

// What each parameter sets in the engine: the normalized value x where the
// engine derives its own values from it, else the value in user units u
// from the parameter table. Editor-only values set nothing.
using EngineInput = void (*)(Engine& e, float x, double u);

constexpr std::array<EngineInput, kParamIdCount> engineInputs()
{
    std::array<EngineInput, kParamIdCount> in{};
    for (EngineInput& f : in)
        f = [](Engine&, float, double) {};
    auto at = [&in](ParamId id) -> EngineInput& { return in[static_cast<size_t>(id)]; };
    using enum ParamId;
    at(Process) = [](Engine& e, float x, double) { e.setProcess(x); };
    at(Mode) = [](Engine& e, float x, double) { e.setMode(x); };
    at(MonoStereo) = [](Engine& e, float x, double) { e.setMonoStereo(x); };
    at(Link) = [](Engine& e, float x, double) { e.setLink(x); };
    at(Drive) = [](Engine& e, float x, double) { e.setDrive(x); };
    at(Knee) = [](Engine& e, float x, double) { e.setKnee(x); };
    at(Speed) = [](Engine& e, float x, double) { e.setSpeed(x); };
    at(Release) = [](Engine& e, float, double u) { e.setRelease(u); };
    at(HighAdjust) = [](Engine& e, float x, double) { e.setHighAdjust(x); };
    at(LowAdjust) = [](Engine& e, float x, double) { e.setLowAdjust(x); };
    at(HighFreq) = [](Engine& e, float, double u) { e.setHighFreq(u); };
    at(LowFreq) = [](Engine& e, float, double u) { e.setLowFreq(u); };
    at(Mix) = [](Engine& e, float x, double) { e.setMix(x); };
    at(Ceiling) = [](Engine& e, float x, double) { e.setCeiling(x); };
    at(Output) = [](Engine& e, float x, double) { e.setOutput(x); };
    at(LowSat) = [](Engine& e, float, double u) { e.setBandSaturation(0, u); };
    at(MidSat) = [](Engine& e, float, double u) { e.setBandSaturation(1, u); };
    at(HighSat) = [](Engine& e, float, double u) { e.setBandSaturation(2, u); };
    at(LowRel) = [](Engine& e, float, double u) { e.setBandRelease(0, u); };
    at(MidRel) = [](Engine& e, float, double u) { e.setBandRelease(1, u); };
    at(HighRel) = [](Engine& e, float, double u) { e.setBandRelease(2, u); };
    at(Meters) = [](Engine& e, float x, double) { e.setMeters(x); };
    at(MeterType) = [](Engine& e, float x, double) { e.setMeterType(x); };
    at(FineTune) = [](Engine& e, float, double u) { e.setFineScale(u); };
    at(Fat) = [](Engine& e, float x, double) { e.setFat(x); };
    at(Long) = [](Engine& e, float x, double) { e.setLong(x); };
    at(Auto) = [](Engine& e, float x, double) { e.setAuto(x); };
    at(Brickwall) = [](Engine& e, float x, double) { e.setBrickwall(x); };
    at(LR) = [](Engine& e, float x, double) { e.setLR(x); };
    at(VuIntegr) = [](Engine& e, float, double u) { e.setVuIntegration(u); };
    at(VuRefer) = [](Engine& e, float, double u) { e.setVuReference(u); };
    at(PpmIntegr) = [](Engine& e, float, double u) { e.setPpmIntegration(u); };
    at(PpmReturn) = [](Engine& e, float, double u) { e.setPpmReturn(u); };
    at(OverIndic) = [](Engine& e, float, double u) { e.setOverCount(u); };
    return in;
}

constexpr std::array<EngineInput, kParamIdCount> kEngineInputs = engineInputs();

} // namespace

void Ambrel::applyToEngine(ParamId id, float v)
{
    kEngineInputs[static_cast<size_t>(id)](*engine_, v, params_.engineValue(id));
}

void Ambrel::setStereoSelector(float value)
{
    float monoStereo = 1.0f;
    float lr = 0.0f;
    if (value < 0.25f) {
        monoStereo = 0.0f;
    } else if (value < 0.5f) {
        monoStereo = 0.0f;
        lr = 0.5f;
    } else if (value < 0.75f) {
        monoStereo = 0.0f;
        lr = 1.0f;
    }
    // A change of the channel layout must not let samples of the old one
    // through: rings, filter states and resamplers start afresh.
    const float previous = stereoSelectorValue_.exchange(value, std::memory_order_relaxed);
    if (static_cast<int>(value * 100.0) != static_cast<int>(previous * 100.0))
        engine_->resetChannels();
    // Both parameters go through the full path so the host-visible values,
    // the programs and the editor follow the selector.
    setParameter(variant_.index(ParamId::MonoStereo), monoStereo);
    setParameter(variant_.index(ParamId::LR), lr);
}

float Ambrel::getParameter(VstInt32 index)
{
    const ParamId id = variant_.paramAt(index);
    return id == ParamId::None ? 0.0f : params_.stored(id);
}

void Ambrel::getParameterName(VstInt32 index, char* text)
{
    params_.name(variant_.paramAt(index), text);
}

void Ambrel::getParameterLabel(VstInt32 index, char* text)
{
    params_.label(variant_.paramAt(index), text);
}

void Ambrel::getParameterDisplay(VstInt32 index, char* text)
{
    params_.display(variant_.paramAt(index), text);
}

bool Ambrel::getParameterProperties(VstInt32 index, VstParameterProperties* props)
{
    return params_.properties(variant_.paramAt(index), props);
}

double Ambrel::getEngineValue(VstInt32 index)
{
    const ParamId id = variant_.paramAt(index);
    // FAT answers the switch in force, which a high sample rate holds off.
    if (id == ParamId::Fat)
        return engine_->controls().fat.load(std::memory_order_relaxed);
    return params_.engineValue(id);
}
